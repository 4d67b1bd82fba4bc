#include "app/signing_settings.h"

#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "core/application_info.h"
#include "core/own_words.h"
#include "core/prompter.h"
#include "core/regular_file.h"
#include "i18n/translator.h"

#include <QDir>
#include <QFile>

namespace tvq52 {

namespace {

const QString kSection = QString::fromLatin1(kSettingsSection);

QString checked(const IniFile& ini, const char* name)
{
    const QString key = QString::fromLatin1(name);
    const QString value = ini.value(kSection, key).value_or(QString()).trimmed();
    return settingFault(key, value) ? QString() : value;
}

} // namespace

QString keysFolder(const QString& home)
{
    return QDir(home).filePath(QStringLiteral("keys"));
}

SigningSettings readSigningSettings(const QString& home)
{
    const IniFile ini = IniFile::load(settingsPath(home));
    SigningSettings s;
    s.timestampUrl = checked(ini, "TimestampUrl");
    s.passphraseFile = checked(ini, "KeyPassphraseFile");
    const QString require = ini.value(kSection, QStringLiteral("RequireSignedImports")).value_or(QString()).trimmed();
    s.requireSignedImports = !require.isEmpty() && require != QLatin1String("0");
    return s;
}

bool requireSignedImports(const QString& home)
{
    return readSigningSettings(home).requireSignedImports;
}

SigningSetup signingSetup(const QString& home)
{
    const SigningSettings s = readSigningSettings(home);
    return SigningSetup{keysFolder(home), s.passphraseFile, s.timestampUrl};
}

void configureSigning(const QString& home)
{
    OfficeSigning::configure(signingSetup(home));
}

Result<QString> readPassphraseFile(const QString& file)
{
    if (isNonRegularFile(file))
        return nonRegularFileError(file, FileUse::Read);
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return ownWords(QStringLiteral("No se puede leer %1: %2"), {file, f.errorString()});
    QString line = QString::fromUtf8(f.readLine());
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (line.isEmpty())
        return ownWords(QStringLiteral("La primera línea de %1 está vacía: no hay frase de paso que usar"), {file});
    return line;
}

bool mayReplaceKey(const QString& home, const Translator& translator, Prompter& prompter)
{
    const auto current = KeyStore(keysFolder(home)).current();
    if (!current || !current->has_value())
        return true;
    const QString text =
        translator.translate(
                QStringLiteral("Este PC ya tiene una clave de firma (%1). ¿Sustituirla? Su certificado seguirá "
                               "reconocido como de esta oficina."))
            .arg((*current)->subject);
    const Message question{text, QString::fromLatin1(kApplicationTitle), MessageStyle::YesNoQuestion, 0, Answer::No};
    return prompter.message(question) == Answer::Yes;
}

Status acceptSigningSettings(const QString& home, const SigningSettings& settings)
{
    const QString require = QLatin1String(settings.requireSignedImports ? "1" : "0");
    const QList<std::pair<QString, QString>> values{
        {QStringLiteral("TimestampUrl"), settings.timestampUrl.trimmed()},
        {QStringLiteral("KeyPassphraseFile"), settings.passphraseFile.trimmed()},
        {QStringLiteral("RequireSignedImports"), require}};
    for (const auto& [key, value] : values)
        if (const auto reason = settingFault(key, value))
            return *reason;
    const QString file = settingsPath(home);
    IniFile ini = IniFile::load(file);
    for (const auto& [key, value] : values)
        ini.setValue(kSection, key, value);
    if (const Status saved = ini.save(file); !saved)
        return ownWords(QStringLiteral("No se puede escribir %1 (%2); se ha dejado como estaba"),
                        {file, untranslatedText(saved.error())});
    configureSigning(home);
    return {};
}

} // namespace tvq52
