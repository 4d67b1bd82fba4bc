#include "i18n/translator.h"

#include "core/own_words.h"
#include "core/prompter.h"
#include "i18n/native_catalogue.h"
#include "i18n/text_language_file.h"

#include <QFile>
#include <QLocale>
#include <algorithm>

namespace tvq52 {

Translator::Translator()
{
    setPropertyList(QStringLiteral("Caption,ToolTipText"));
}

Translator::~Translator()
{
    closeLanguageDatabase();
}

qint32 Translator::localeId() const
{
    switch (QLocale::system().language()) {
    case QLocale::Spanish:
        return 1034;
    case QLocale::Catalan:
        return 1027;
    case QLocale::English:
        return 1033;
    case QLocale::German:
        return 1031;
    case QLocale::French:
        return 1036;
    case QLocale::Italian:
        return 1040;
    case QLocale::Portuguese:
        return 2070;
    default:
        return 0;
    }
}

void Translator::setPadCharacter(const QString& pad)
{
    padChar_ = pad.isEmpty() ? QStringLiteral("W") : pad.left(1);
}

void Translator::setPropertyList(const QString& list)
{
    propertyNames_.clear();
    properties_.clear();
    for (const QString& name : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        propertyNames_.append(name.trimmed());
        // Names the engine does not know are kept for display but never read.
        if (const ControlProperty p = controlPropertyByName(name); p != ControlProperty::Unknown)
            properties_.append(p);
    }
}

void Translator::closeLanguageDatabase()
{
    store_.close();
    columns_.clear();
    nativeColumn_ = -1;
    rows_.clear();
    index_.clear();
    textNative_.clear();
    textForeign_.clear();
    cachedColumnName_.clear();
    cachedColumn_ = -1;
    languageDb_.clear();
    open_ = false;
    readOnly_ = false;
}

Status Translator::openLanguageDatabase(const QString& path, bool readOnly, DbType type)
{
    closeLanguageDatabase();
    dbType_ = type;
    if (Status loaded = type == SqlDb ? loadSql(path, readOnly) : loadTextFile(path); !loaded) {
        closeLanguageDatabase();
        return loaded;
    }
    // The text file is always read-only, so it always translates.
    readOnly_ = type == TextFile || readOnly;
    languageDb_ = path;
    open_ = true;
    return {};
}

Status Translator::loadSql(const QString& path, bool readOnly)
{
    Result<LanguageTable> table = store_.open(path, readOnly);
    if (!table)
        return table.error();
    columns_ = std::move(table->columns);
    nativeColumn_ = table->nativeColumn;
    rows_ = std::move(table->rows);
    maxNativeLength_ = table->maxNativeLength;
    buildIndex();
    return {};
}

void Translator::buildIndex()
{
    // A lookup walks the rows that match without regard to case, in order: a
    // "bSkip" row ends it with no translation, the exact row gives its
    // translation. The walk's outcome is worked out here once per text.
    QHash<QString, QVector<int>> variants;
    for (int i = 0; i < rows_.size(); ++i)
        variants[rows_[i].native.toCaseFolded()].append(i);
    index_.reserve(rows_.size());
    for (const QVector<int>& group : std::as_const(variants)) {
        for (int candidate : group) {
            const QString& text = rows_[candidate].native;
            if (index_.contains(text))
                continue;
            Resolution r;
            bool stopped = false;
            for (int i : group) {
                const LanguageEntry& row = rows_[i];
                if (!stopped && row.skip)
                    stopped = true;
                if (row.native != text)
                    continue;
                if (!stopped && r.translate < 0) {
                    r.translate = i;
                    stopped = true;
                }
                if (r.exact < 0)
                    r.exact = i;
            }
            index_.insert(text, r);
        }
    }
}

Status Translator::loadTextFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return finalText(file.errorString());
    const auto table = parseTextLanguageFile(QString::fromUtf8(file.readAll()), foreignColumnName);
    if (!table)
        return finalText(QStringLiteral("Not a valid Text Language Database"));
    textNative_ = table->native;
    textForeign_ = table->foreign;
    return {};
}

int Translator::foreignColumn() const
{
    if (cachedColumn_ < 0 || cachedColumnName_ != foreignColumnName) {
        cachedColumnName_ = foreignColumnName;
        cachedColumn_ = findLanguageColumn(columns_, foreignColumnName);
    }
    return cachedColumn_;
}

QString Translator::widthTest(const QString& text) const
{
    const int length = int(text.size());
    double factor = 1.0;
    for (const QString& pair : widthTestFactors.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool lengthOk = false;
        bool percentOk = false;
        const int upTo = pair.section(QLatin1Char(':'), 0, 0).trimmed().toInt(&lengthOk);
        const double percent = pair.section(QLatin1Char(':'), 1, 1).trimmed().toDouble(&percentOk);
        if (lengthOk && percentOk && upTo >= length) {
            factor = 1.0 + percent / 100.0;
            break;
        }
    }
    const int pads = qRound(length * factor) - length;
    return text + QString(std::max(pads, 0), padChar_.at(0));
}

QString Translator::translate(const QString& text) const
{
    if (testingWidths)
        return widthTest(text);
    if (text.isEmpty() || !enabled || !translating())
        return text;
    if (dbType_ == TextFile) {
        const auto it = std::lower_bound(textNative_.begin(), textNative_.end(), text,
                                         [](const QString& a, const QString& b) { return a < b; });
        if (it == textNative_.end() || *it != text)
            return text;
        return textForeign_[int(it - textNative_.begin())];
    }
    const auto found = index_.constFind(text);
    if (found == index_.constEnd() || found->translate < 0)
        return text;
    const int column = foreignColumn();
    if (column < 0)
        return text;
    // A row the translators have not filled in yet keeps the native text
    // rather than blanking the control.
    const QString& translation = rows_[found->translate].values[column];
    return translation.isEmpty() ? text : translation;
}

QString Translator::text(int id, const QStringList& args) const
{
    QString s = nativeCatalogueText(id).value_or(unknownTextPrefix + QString::number(id));
    // Line-break markers are turned before the arguments go in, so that a
    // user's text is never rewritten.
    s = convertLineBreaks(translate(s));
    qsizetype from = 0;
    for (const QString& arg : args) {
        const qsizetype at = s.indexOf(QLatin1String("%s"), from);
        if (at < 0)
            break;
        s.replace(at, 2, arg);
        from = at + arg.size();
    }
    return s;
}

QString Translator::convertLineBreaks(const QString& text)
{
    QString s = text;
    s.replace(QLatin1String("{\\r}"), QStringLiteral("\r"));
    s.replace(QLatin1String("{\\n}"), QStringLiteral("\n"));
    return s;
}

QString Translator::takeToken(QString& text, const QString& delimiter)
{
    qsizetype start = 0;
    while (start < text.size() && text.at(start) == QLatin1Char(' '))
        ++start;
    QString rest = text.mid(start);
    QString token;
    if (rest.startsWith(QLatin1Char('"')) || rest.startsWith(QLatin1Char('\''))) {
        const QChar quote = rest.at(0);
        const qsizetype end = rest.indexOf(quote, 1);
        if (end < 0) {
            token = rest.mid(1);
            rest.clear();
        } else {
            token = rest.mid(1, end - 1);
            rest = rest.mid(end + 1);
            if (!delimiter.isEmpty() && rest.startsWith(delimiter))
                rest = rest.mid(delimiter.size());
        }
    } else {
        const qsizetype end = delimiter.isEmpty() ? -1 : rest.indexOf(delimiter);
        if (end < 0) {
            token = rest;
            rest.clear();
        } else {
            token = rest.left(end);
            rest = rest.mid(end + delimiter.size());
        }
    }
    text = rest;
    return token;
}

bool Translator::isExcludedByTag(const QObject* object) const
{
    return !excludedTagPrefix.isEmpty() && controlTag(object).startsWith(excludedTagPrefix);
}

QList<QObject*> Translator::includedControls(QObject* form) const
{
    QList<QObject*> controls = form->findChildren<QObject*>();
    controls.removeIf([this](const QObject* c) { return isExcludedByTag(c); });
    return controls;
}

void Translator::translateWindow(QObject* form) const
{
    if (!form)
        return;
    if (testingWidths || translating()) {
        translateObject(form);
        // A composite widget's own tool tip is translated too, beside its items.
        for (QObject* control : includedControls(form)) {
            translateSpecialControl(control);
            translateObject(control);
        }
    }
    // Not while the texts are being exported or their widths tried: what is
    // read or padded then is the native text itself.
    if (formHook_ && !testingWidths && !(open_ && !readOnly_))
        formHook_(form);
}

void Translator::translateObject(QObject* object) const
{
    if (!object || isExcludedByTag(object))
        return;
    for (ControlProperty property : properties_) {
        const QString text = readControlText(object, property);
        if (text.isEmpty())
            continue;
        const QString translated = translate(text);
        if (translated != text)
            writeControlText(object, property, translated);
    }
}

bool Translator::translateSpecialControl(QObject* control) const
{
    if (!specialControl_ || !control)
        return false;
    return specialControl_(control, [this](const QString& text) { return translate(text); });
}

Status Translator::exportSpecialControl(QObject* control)
{
    if (!specialControl_ || !control)
        return {};
    Status status;
    specialControl_(control, [this, &status](const QString& text) {
        if (status)
            status = exportOneString(text);
        return text;
    });
    return status;
}

Error Translator::notExportable() const
{
    return finalText(dbType_ == TextFile && open_
                         ? QStringLiteral("Text can only be exported to an SQL Language Database")
                         : QStringLiteral("The language database is not open for export"));
}

Status Translator::beginExport()
{
    if (!open_ || !store_.isWritable())
        return notExportable();
    exportFailure_.reset();
    store_.beginExport();
    return {};
}

Status Translator::commitExport()
{
    // What was written before a failure is kept: the texts are marked used
    // one by one and a later export goes on from there.
    const Status committed = store_.commitExport();
    if (exportFailure_)
        return *exportFailure_;
    return committed;
}

Status Translator::exportFault(Error error)
{
    if (!exportFailure_)
        exportFailure_ = error;
    return error;
}

Status Translator::exportStrings()
{
    if (Status begun = beginExport(); !begun)
        return begun;
    if (const Status cleared = store_.clearUsedMarks(); !cleared)
        (void)exportFault(cleared.error());
    // The stored texts are the native ones with their own line breaks; the
    // numbers past the catalogue have no text and are left out.
    for (int id = 1; !exportFailure_ && id <= nativeCatalogueSize() + 1; ++id)
        if (const auto text = nativeCatalogueText(id))
            (void)exportOneString(*text);
    return commitExport();
}

Status Translator::exportFormStrings(QObject* form)
{
    if (!form)
        return {};
    if (Status begun = beginExport(); !begun)
        return begun;
    (void)exportObjectStrings(form);
    for (QObject* control : includedControls(form)) {
        if (exportFailure_)
            break;
        (void)exportSpecialControl(control);
        (void)exportObjectStrings(control);
    }
    return commitExport();
}

Status Translator::exportObjectStrings(QObject* object)
{
    if (!object || isExcludedByTag(object))
        return {};
    for (ControlProperty property : properties_) {
        const QString text = readControlText(object, property);
        // A menu separator's "-" is no text to translate.
        if (!text.isEmpty() && text != QLatin1String("-"))
            if (Status one = exportOneString(text); !one)
                return one;
    }
    return {};
}

Status Translator::exportOneString(const QString& text)
{
    if (text.size() > maxNativeLength_) {
        const QString message = QStringLiteral(
                                    "The following string of %1 characters is longer than the maximum of %2 "
                                    "characters that can be stored in the language database:\r\r%3")
                                    .arg(text.size())
                                    .arg(maxNativeLength_)
                                    .arg(text);
        if (prompter_)
            prompter_->message(Message{message, {}, MessageStyle::Plain, 0, {}});
        return {};
    }
    if (text.isEmpty())
        return {};
    if ((dbType_ == TextFile && open_) || !store_.isWritable())
        return exportFault(notExportable());

    const auto found = index_.constFind(text);
    if (found != index_.constEnd() && found->exact >= 0) {
        if (const Status marked = store_.markUsed(rows_[found->exact].rowId); !marked)
            return exportFault(marked.error());
        return {};
    }
    const Result<qint64> rowId = store_.insertUsed(text);
    if (!rowId)
        return exportFault(rowId.error());
    LanguageEntry row;
    row.rowId = *rowId;
    row.native = text;
    row.values.resize(columns_.size());
    row.values[nativeColumn_] = text;
    rows_.append(std::move(row));
    index_[text].exact = int(rows_.size()) - 1;
    return {};
}

} // namespace tvq52
