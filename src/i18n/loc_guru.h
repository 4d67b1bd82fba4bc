#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace tvq52 {

// The translation engine: looks native (Spanish) texts up in the language
// database and translates windows and catalogue messages.
class LocGuru {
public:
    enum DbType { AccessDb = 0, TextFile = 1 };

    LocGuru();
    ~LocGuru();
    LocGuru(const LocGuru&) = delete;
    LocGuru& operator=(const LocGuru&) = delete;

    // Properties.
    bool bEnabled = true;
    bool bTestStrWidth = false;
    qint32 LocaleID() const;
    QString sErrDescription() const { return errDescription_; }
    QString sLanguageDB() const { return languageDb_; }
    QString sPadChar() const { return padChar_; }
    void setSPadChar(const QString& pad);
    QString sProperties() const { return properties_.join(QLatin1Char(',')); }
    void setSProperties(const QString& list);
    QString sStrWidthFactors = QStringLiteral("4:100,10:80,20:60,30:40,50:20,9999:10");
    QString sTagExclude = QStringLiteral("!");
    QString sForeignColumnName = QStringLiteral("Foreign");
    QString sUnknownStrID = QStringLiteral("GetS: Unknown String ID ");

    void CloseLanguageDatabase();
    bool OpenLanguageDatabase(const QString& sDatabase, bool bReadOnly, DbType eDbType);
    bool isOpen() const { return open_; }

    QString GetTranslation(const QString& text) const;
    QString GetS(int id, const QStringList& args = {}) const;
    static QString ConvertCrLf(const QString& text);
    static QString GetToken(QString& text, const QString& delimiter);

    // Translates a window and its children. Composite widgets (tabs, tables,
    // charts) are handled by the special-control hook when one is installed.
    void TranslateForm(QObject* form) const;
    void TranslateObject(QObject* object) const;

    using SpecialControlHook = std::function<bool(const LocGuru&, QObject*)>;
    void setSpecialControlHook(SpecialControlHook hook) { specialTranslate_ = std::move(hook); }

private:
    bool translating() const { return open_ && readOnly_; }

    QString errDescription_;
    QString languageDb_;
    QString padChar_ = QStringLiteral("W");
    QStringList properties_;
    bool open_ = false;
    bool readOnly_ = false;
    bool convertLineBreaks_ = true;
    QHash<QString, QString> index_;
    SpecialControlHook specialTranslate_;
};

} // namespace tvq52
