#pragma once

#include "core/error.h"
#include "i18n/control_property.h"
#include "i18n/language_store.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

namespace tvq52 {

class Prompter;

// The translation engine: looks native (Spanish) texts up in the language
// database and translates windows and catalogue messages. It also exports the
// native texts back into the database for the translators.
class Translator {
public:
    // The database kind: an SQL language database (table "LocGuru") or the
    // read-only text language file.
    enum DbType { SqlDb = 0, TextFile = 1 };

    Translator();
    ~Translator();
    Translator(const Translator&) = delete;
    Translator& operator=(const Translator&) = delete;

    bool enabled = true;
    bool testingWidths = false;
    qint32 localeId() const;
    QString languageDatabase() const { return languageDb_; }
    QString padCharacter() const { return padChar_; }
    void setPadCharacter(const QString& pad);
    QString propertyList() const { return propertyNames_.join(QLatin1Char(',')); }
    void setPropertyList(const QString& list);
    QString widthTestFactors = QStringLiteral("4:100,10:80,20:60,30:40,50:20,9999:10");
    QString excludedTagPrefix = QStringLiteral("!");
    QString foreignColumnName = QStringLiteral("Foreign");
    QString unknownTextPrefix = QStringLiteral("GetS: Unknown String ID ");

    void closeLanguageDatabase();
    // Why the file could not be opened as a language database; nothing is open then.
    Status openLanguageDatabase(const QString& path, bool readOnly, DbType type);
    bool isOpen() const { return open_; }
    // The longest native text the open database can store.
    int maxNativeLength() const { return maxNativeLength_; }

    QString translate(const QString& text) const;
    QString text(int id, const QStringList& args = {}) const;
    static QString convertLineBreaks(const QString& text);
    static QString takeToken(QString& text, const QString& delimiter);

    // Translates a window: the window itself, then every object below it.
    // Composite widgets go through the special-control hook.
    void translateWindow(QObject* form) const;
    void translateObject(QObject* object) const;
    bool isExcludedByTag(const QObject* object) const;

    // Export into an SQL language database opened for writing. Each says
    // why when the database could not be written (the first failure of the
    // export; the texts after it are not written); over-long texts are
    // reported through the prompter and skipped.
    Status exportStrings();
    Status exportFormStrings(QObject* form);
    Status exportObjectStrings(QObject* object);
    Status exportOneString(const QString& text);
    // Over-long texts are reported here during an export.
    void setPrompter(Prompter* prompter) { prompter_ = prompter; }

    // A composite widget's texts (tab texts, column headings, series names)
    // are walked by the hook: it passes each non-empty text to `visit` and
    // stores what comes back when it differs. It returns true when it knows
    // the control.
    using TextVisitor = std::function<QString(const QString&)>;
    using SpecialControlHook = std::function<bool(QObject* control, const TextVisitor& visit)>;
    void setSpecialControlHook(SpecialControlHook hook) { specialControl_ = std::move(hook); }
    // Runs on each window translateWindow is given, after its texts are set
    // (also when no language database is open, but not during an export or
    // the width test): access keys and shortcuts depend on the texts of the
    // language shown.
    using FormHook = std::function<void(QObject* form)>;
    void setFormHook(FormHook hook) { formHook_ = std::move(hook); }
    bool translateSpecialControl(QObject* control) const;
    // A control the hook does not know has nothing to export.
    Status exportSpecialControl(QObject* control);

private:
    // What a lookup of one exact native text resolves to.
    struct Resolution {
        int translate = -1; // row whose translation is used, -1: text unchanged
        int exact = -1;     // first row with exactly this text, for the export
    };

    bool translating() const { return open_ && readOnly_; }
    // The objects below a window, in creation order, without the excluded.
    QList<QObject*> includedControls(QObject* form) const;
    Status loadSql(const QString& path, bool readOnly);
    Status loadTextFile(const QString& path);
    void buildIndex();
    int foreignColumn() const;
    QString widthTest(const QString& text) const;
    Status beginExport();
    Status commitExport();
    // Keeps the export's first failure: the rest of it is not written.
    Status exportFault(Error error);
    // Why nothing can be exported to what is open.
    Error notExportable() const;

    QString languageDb_;
    QString padChar_ = QStringLiteral("W");
    QStringList propertyNames_;
    QVector<ControlProperty> properties_;
    DbType dbType_ = SqlDb;
    bool open_ = false;
    bool readOnly_ = false;
    int maxNativeLength_ = 255;
    std::optional<Error> exportFailure_;
    LanguageStore store_; // its connection stays open only for an export
    QStringList columns_;
    int nativeColumn_ = -1;
    QVector<LanguageEntry> rows_;
    QHash<QString, Resolution> index_;
    mutable QString cachedColumnName_;
    mutable int cachedColumn_ = -1;
    // The text file: the native texts sorted, the foreign ones beside them.
    QStringList textNative_;
    QStringList textForeign_;
    Prompter* prompter_ = nullptr;
    SpecialControlHook specialControl_;
    FormHook formHook_;
};

} // namespace tvq52
