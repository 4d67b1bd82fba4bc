#include "app/language_table.h"

#include <QRegularExpression>

namespace tvq52 {

namespace {

constexpr std::array<LanguageInfo, 7> kLanguages = {{
    {"1034", "Español", 1000, "ESP", "es", "ES"},
    {"1027", "Català", 2000, "CAT", "ca", "ES"},
    {"1033", "English", 3000, "ENG", "en", "GB"},
    {"1031", "Deutsch", 4000, "DEU", "de", "DE"},
    {"1036", "Français", 5000, "FRA", "fr", "FR"},
    {"1040", "Italiano", 6000, "ITA", "it", "IT"},
    {"2070", "Português", 7000, "PTR", "pt", "PT"},
}};

constexpr std::size_t kEnglish = 2;

// The names in English, in the table's order, for `config set Language german`.
constexpr std::array<const char*, 7> kEnglishNames = {"spanish", "catalan", "english",   "german",
                                                      "french",  "italian", "portuguese"};

// Lower case without accents, so that "francais" names Français.
QString folded(const QString& text)
{
    const QString decomposed = text.trimmed().toLower().normalized(QString::NormalizationForm_D);
    QString plain;
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            plain += c;
    return plain;
}

const LanguageInfo* byIso(const QString& localeName)
{
    // "pt_PT.UTF-8@euro", "pt-PT", "pt": the language is what comes first.
    const QString iso = localeName.section(QRegularExpression(QStringLiteral("[-_.@]")), 0, 0).toLower();
    for (const LanguageInfo& l : kLanguages)
        if (iso == QLatin1String(l.iso))
            return &l;
    return nullptr;
}

} // namespace

const std::array<LanguageInfo, 7>& languageTable()
{
    return kLanguages;
}

const LanguageInfo& languageByLocaleId(const QString& localeId)
{
    // A number in the file is a locale identifier: a program's code (4000)
    // names no language there.
    bool numeric = false;
    localeId.trimmed().toInt(&numeric);
    const LanguageInfo* l = languageFromText(localeId);
    if (l && numeric && localeId.trimmed() != QLatin1String(l->localeId))
        l = nullptr;
    return l ? *l : kLanguages[kEnglish];
}

const LanguageInfo* languageByCode(int code)
{
    for (const LanguageInfo& l : kLanguages)
        if (l.code == code)
            return &l;
    return nullptr;
}

int LanguageCode(const QString& name)
{
    for (const LanguageInfo& l : kLanguages)
        if (name == QString::fromUtf8(l.name))
            return l.code;
    return 0;
}

QString helpFolderName(int code)
{
    const LanguageInfo* l = languageByCode(code);
    return QString::fromLatin1((l ? *l : kLanguages[kEnglish]).helpFolder);
}

QString helpPage(int code, const QString& topic)
{
    return helpFolderName(code) + QLatin1Char('/') + topic + QLatin1String(".html");
}

const LanguageInfo* languageFromText(const QString& text)
{
    const QString t = folded(text);
    if (t.isEmpty())
        return nullptr;
    for (std::size_t i = 0; i < kLanguages.size(); ++i) {
        const LanguageInfo& l = kLanguages[i];
        if (t == QLatin1String(l.localeId) || t == QString::number(l.code) || t == folded(QString::fromUtf8(l.name))
            || t == QLatin1String(kEnglishNames[i]))
            return &l;
    }
    // Only letters may name a language by its code: "10" names none.
    if (!t.front().isLetter())
        return nullptr;
    return byIso(t);
}

const LanguageInfo* languageFromSystem(const QStringList& uiLanguages)
{
    for (const QString& name : uiLanguages)
        if (const LanguageInfo* l = byIso(name))
            return l;
    return nullptr;
}

QStringList systemLanguages()
{
    QStringList names;
    // LANGUAGE counts only when a locale is set at all, as for the C library.
    QString locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = qEnvironmentVariable(variable);
        if (!locale.isEmpty())
            break;
    }
    if (locale.isEmpty() || locale == QLatin1String("C") || locale.startsWith(QLatin1String("C."))
        || locale == QLatin1String("POSIX"))
        return names;
    names = qEnvironmentVariable("LANGUAGE").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    names << locale;
    return names;
}

} // namespace tvq52
