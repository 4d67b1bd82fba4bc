#include "i18n/loc_guru.h"

#include "i18n/native_catalogue.h"

#include <QLocale>

namespace tvq52 {

LocGuru::LocGuru()
{
    setSProperties(QStringLiteral("Caption,ToolTipText"));
}

LocGuru::~LocGuru()
{
    CloseLanguageDatabase();
}

qint32 LocGuru::LocaleID() const
{
    return qint32(QLocale::system().language());
}

void LocGuru::setSPadChar(const QString& pad)
{
    padChar_ = pad.isEmpty() ? QStringLiteral("W") : pad.left(1);
}

void LocGuru::setSProperties(const QString& list)
{
    properties_ = list.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& p : properties_)
        p = p.trimmed();
}

void LocGuru::CloseLanguageDatabase()
{
    index_.clear();
    languageDb_.clear();
    open_ = false;
    readOnly_ = false;
}

bool LocGuru::OpenLanguageDatabase(const QString& sDatabase, bool bReadOnly, DbType eDbType)
{
    CloseLanguageDatabase();
    errDescription_ = QStringLiteral("Language databases are not supported yet");
    return false;
}

QString LocGuru::GetTranslation(const QString& text) const
{
    if (!bEnabled || !translating() || text.isEmpty())
        return text;
    auto it = index_.constFind(text);
    return it == index_.constEnd() ? text : *it;
}

QString LocGuru::GetS(int id, const QStringList& args) const
{
    QString s = nativeCatalogueText(id).value_or(sUnknownStrID + QString::number(id));
    s = GetTranslation(s);
    for (const QString& arg : args) {
        const int at = s.indexOf(QLatin1String("%s"));
        if (at < 0)
            break;
        s.replace(at, 2, arg);
    }
    if (convertLineBreaks_)
        s = ConvertCrLf(s);
    return s;
}

QString LocGuru::ConvertCrLf(const QString& text)
{
    QString s = text;
    s.replace(QLatin1String("{\\r}"), QStringLiteral("\r"));
    s.replace(QLatin1String("{\\n}"), QStringLiteral("\n"));
    return s;
}

QString LocGuru::GetToken(QString& text, const QString& delimiter)
{
    return {};
}

void LocGuru::TranslateForm(QObject* form) const
{
}

void LocGuru::TranslateObject(QObject* object) const
{
}

} // namespace tvq52
