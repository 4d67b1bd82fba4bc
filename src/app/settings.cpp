#include "app/settings.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/language_table.h"
#include "core/catalogue_ids.h"
#include "core/own_words.h"
#include "db/database_target.h"
#include "db/store.h"
#include "i18n/catalogue_message.h"
#include "link/dial_command.h"

#include <QDir>
#include <QUrl>

#include <algorithm>

namespace tvq52 {

namespace {

const QString kSection = QString::fromLatin1(kSettingsSection);

// The whole-number conversion of the settings reader: blanks trimmed, a
// missing or non-numeric value or one out of range is a fault.
std::optional<int> toNumber(const QString& text, int min, int max)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

bool isDevicePath(const QString& text)
{
    return text.startsWith(QLatin1Char('/')) || text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("\\\\.\\"));
}

QString badValue(const QString& file, const QString& key, const QString& value, const QString& reason)
{
    if (value.isEmpty())
        return QStringLiteral("Falta la clave \"%1\" en la sección [%2] del archivo de configuración %3.")
            .arg(key, kSection, file);
    return QStringLiteral("La clave \"%1\" del archivo de configuración %2 tiene un valor no válido: \"%3\". %4")
        .arg(key, file, value, reason);
}

Status saveSettings(const IniFile& ini, const QString& file)
{
    const Status saved = ini.save(file);
    if (saved)
        return {};
    return finalText(
        QStringLiteral("No se puede escribir el archivo de configuración %1 (%2); se conserva como estaba.")
            .arg(file, untranslatedText(saved.error())));
}

} // namespace

const QStringList& settingKeys()
{
    static const QStringList keys{
        QStringLiteral("SerialPort"), QStringLiteral("SerialDevice"), QStringLiteral("Modem"),
        QStringLiteral("TonePulse"),  QStringLiteral("DialCode"),     QStringLiteral("ModemSpeed"),
        QStringLiteral("Language"),   QStringLiteral("User"),         QStringLiteral("Database"),
        QStringLiteral("CollectDevices"), QStringLiteral("CollectReports"), QStringLiteral("FleetStaleDays"),
        QStringLiteral("TimestampUrl"), QStringLiteral("KeyPassphraseFile"), QStringLiteral("RequireSignedImports")};
    return keys;
}

std::optional<Error> settingFault(const QString& key, const QString& value)
{
    const QString v = value.trimmed();
    auto is = [&](const char* name) { return key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; };
    // The key goes in as an argument so that each reason is one translated text.
    auto fault = [&](const char* text, QStringList more = {}) {
        return std::optional<Error>(ownWords(QString::fromUtf8(text), QStringList{key} + more));
    };
    if (is("SerialPort") || is("Modem") || is("TonePulse")) {
        if (!toNumber(v, 0, 255))
            return fault("%1 es un número de 0 a 255.");
    } else if (is("SerialDevice")) {
        if (!v.isEmpty() && !isDevicePath(v))
            return fault("%1 es la ruta de un puerto serie (/dev/..., COMn) o nada.");
    } else if (is("DialCode")) {
        if (!isDialString(v) || v.size() > 50)
            return fault("%1 admite hasta 50 caracteres de marcación: cifras, * # , W P T y espacios.");
    } else if (is("ModemSpeed")) {
        // Any speed its signed 16-bit field holds: whether the port takes it
        // is told when the line opens.
        if (!toNumber(v, 1, 32767))
            return fault("%1 es una velocidad de línea en bit/s, de 1 a 32767.");
    } else if (is("Language")) {
        if (!v.isEmpty() && !languageFromText(v))
            return fault(
                "%1 es uno de Español, Català, English, Deutsch, Français, Italiano o Português (o su "
                "código: es, ca, en, de, fr, it, pt; o su identificador: 1034, 1027, 1033, 1031, 1036, "
                "1040, 2070).");
    } else if (is("Database")) {
        // Empty: the data folder's own file. A password is refused by the
        // reader: the settings file is anyone's to read.
        if (v.isEmpty())
            return std::nullopt;
        if (const auto target = DatabaseTarget::fromUri(v); !target)
            return fault(
                "%1 es una dirección postgresql://usuario@servidor:puerto/base, sin contraseña, o nada "
                "(%2).",
                {untranslatedText(target.error())});
    } else if (is("User")) {
        // Counted as written: the file keeps the blanks too.
        if (value.size() > kFooterTextLength)
            return fault("%1 admite como máximo 50 caracteres.");
    } else if (is("CollectDevices")) {
        // The unattended round's modem lines, one port each.
        for (const QString& device : v.split(QLatin1Char(','), Qt::SkipEmptyParts))
            if (!isDevicePath(device.trimmed()))
                return fault("%1 es una lista de puertos serie separados por comas (/dev/ttyS0,/dev/ttyUSB0) o nada.");
    } else if (is("CollectReports")) {
        if (!v.isEmpty() && !QDir::isAbsolutePath(v))
            return fault("%1 es la ruta completa de una carpeta (/home/...) o nada.");
    } else if (is("FleetStaleDays")) {
        if (!v.isEmpty() && !toNumber(v, 1, 3650))
            return fault("%1 es un número de días de 1 a 3650, o nada (30).");
    } else if (is("TimestampUrl")) {
        // The authority is asked over plain HTTP or TLS, nothing else.
        const QUrl url(v, QUrl::StrictMode);
        const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
        if (!v.isEmpty() && (!url.isValid() || !web || url.host().isEmpty()))
            return fault("%1 es la dirección http:// o https:// de una autoridad de sellado de tiempo, o nada.");
    } else if (is("KeyPassphraseFile")) {
        // Read from wherever a command runs: a relative path would name another file.
        if (!v.isEmpty() && !QDir::isAbsolutePath(v))
            return fault("%1 es la ruta completa de un archivo (/home/...) o nada.");
    } else if (is("RequireSignedImports")) {
        if (!v.isEmpty() && v != QLatin1String("0") && v != QLatin1String("1"))
            return fault("%1 es 1 (solo se importan archivos firmados por una oficina de confianza), 0 o nada.");
    } else {
        return fault("%1 no es una clave de la configuración (%2).", {settingKeys().join(QLatin1String(", "))});
    }
    return std::nullopt;
}

QString settingToStore(const QString& key, const QString& value)
{
    if (key.compare(QLatin1String("Language"), Qt::CaseInsensitive) == 0)
        if (const LanguageInfo* l = languageFromText(value))
            return QString::fromLatin1(l->localeId);
    return value;
}

Result<QString> readStartupSettings(AppContext& ctx)
{
    const QString file = settingsPath(ctx.home);
    const IniFile ini = IniFile::load(file);
    QString fault;
    // Reads one key through the shared check; the first fault stops the reading.
    auto read = [&](const char* name) -> std::optional<QString> {
        const QString key = QString::fromLatin1(name);
        const QString value = ini.value(kSection, key).value_or(QString()).left(254);
        if (const auto reason = settingFault(key, value)) {
            fault = badValue(file, key, value, untranslatedText(*reason));
            return std::nullopt;
        }
        return value;
    };
    auto text = [&](const char* name) {
        return ini.value(kSection, QString::fromLatin1(name)).value_or(QString()).left(254);
    };

    auto v = read("SerialPort");
    if (!v)
        return finalText(fault);
    ctx.lineSettings.SerialPort = std::uint8_t(v->trimmed().toInt());
    // Any footer text will do, and an unknown language reads as English.
    ctx.ReportFooterText = text("User");
    if (!(v = read("Modem")))
        return finalText(fault);
    ctx.lineSettings.ModemMode = std::uint8_t(v->trimmed().toInt());
    if (!(v = read("TonePulse")))
        return finalText(fault);
    ctx.lineSettings.TonePulse = std::uint8_t(v->trimmed().toInt());
    if (!(v = read("DialCode")))
        return finalText(fault);
    ctx.lineSettings.DialCode = *v;
    if (!(v = read("ModemSpeed")))
        return finalText(fault);
    ctx.lineSettings.ModemSpeed = std::int16_t(v->trimmed().toInt());
    if (!(v = read("SerialDevice")))
        return finalText(fault);
    ctx.lineSettings.SerialDevice = v->trimmed();
    // The signing keys may be missing; a bad one stops the reading like any other.
    for (const char* name : {"TimestampUrl", "KeyPassphraseFile", "RequireSignedImports"})
        if (!read(name))
            return finalText(fault);
    return text("Language");
}

QString portText(const AppContext& ctx)
{
    return ctx.lineSettings.SerialDevice.isEmpty() ? QString::number(ctx.lineSettings.SerialPort)
                                                   : ctx.lineSettings.SerialDevice;
}

std::optional<CommFault> acceptCommSettings(AppContext& ctx, const CommChoice& choice)
{
    const QString text = choice.portText.trimmed();
    bool numeric = false;
    text.toInt(&numeric);
    const QString portKey = QLatin1String(numeric ? "SerialPort" : "SerialDevice");
    if (text.isEmpty() || settingFault(portKey, text))
        return CommFault{ctx.translator.text(msg::BadValue), CommFault::Field::Port, msg::BadValue};
    if (const auto reason = settingFault(QStringLiteral("DialCode"), choice.dialPrefix))
        return CommFault{errorText(ctx.translator, *reason), CommFault::Field::DialPrefix};

    if (numeric) {
        ctx.lineSettings.SerialPort = std::uint8_t(text.toInt());
        ctx.lineSettings.SerialDevice.clear();
    } else {
        ctx.lineSettings.SerialDevice = text;
    }
    ctx.lineSettings.DialCode = choice.dialPrefix;
    ctx.lineSettings.ModemSpeed = 19200;
    ctx.lineSettings.TonePulse = choice.pulse ? 0 : 1;
    ctx.lineSettings.ModemMode = choice.modem ? 1 : 0;

    const QString file = settingsPath(ctx.home);
    IniFile ini = IniFile::load(file);
    ini.setValue(kSection, QStringLiteral("SerialPort"), QString::number(ctx.lineSettings.SerialPort));
    ini.setValue(kSection, QStringLiteral("Modem"), QString::number(ctx.lineSettings.ModemMode));
    ini.setValue(kSection, QStringLiteral("TonePulse"), QString::number(ctx.lineSettings.TonePulse));
    ini.setValue(kSection, QStringLiteral("DialCode"), ctx.lineSettings.DialCode);
    ini.setValue(kSection, QStringLiteral("ModemSpeed"), QStringLiteral("19200"));
    if (!ctx.lineSettings.SerialDevice.isEmpty() || ini.value(kSection, QStringLiteral("SerialDevice")))
        ini.setValue(kSection, QStringLiteral("SerialDevice"), ctx.lineSettings.SerialDevice);
    if (const Status saved = saveSettings(ini, file); !saved)
        return CommFault{untranslatedText(saved.error()), CommFault::Field::File};
    return std::nullopt;
}

Status acceptLanguage(AppContext& ctx, int code)
{
    ctx.LanguageCodeValue = code;
    const LanguageInfo* l = languageByCode(code);
    if (!l)
        return {};
    const QString file = settingsPath(ctx.home);
    IniFile ini = IniFile::load(file);
    ini.setValue(kSection, QStringLiteral("Language"), QString::fromLatin1(l->localeId));
    return saveSettings(ini, file);
}

Status acceptFooterText(AppContext& ctx, const QString& text)
{
    if (const auto reason = settingFault(QStringLiteral("User"), text))
        return *reason;
    ctx.ReportFooterText = text;
    const QString file = settingsPath(ctx.home);
    IniFile ini = IniFile::load(file);
    ini.setValue(kSection, QStringLiteral("User"), text);
    if (Status saved = saveSettings(ini, file); !saved)
        return saved;
    if (!ctx.settingsDb())
        return {};
    Store store(*ctx.settingsDb());
    Row values;
    values.set(QStringLiteral("TUsuario"), text);
    const Result<int> changed = store.update(QStringLiteral("Configuracion"), values, {});
    if (!changed)
        return changed.error();
    if (*changed == 0)
        return store.insert(QStringLiteral("Configuracion"), values);
    return {};
}

QString reportFooterText(AppContext& ctx)
{
    const IniFile ini = IniFile::load(settingsPath(ctx.home));
    if (ini.loaded()) {
        ctx.ReportFooterText = ini.value(kSection, QStringLiteral("User")).value_or(QString()).left(254);
    }
    return ctx.ReportFooterText;
}

Status writeConfigurationRow(AppContext& ctx)
{
    if (!ctx.settingsDb())
        return {};
    if (ctx.lineSettings.DialCode.isEmpty())
        ctx.lineSettings.DialCode = QStringLiteral(" ");
    Row values;
    values.set(QStringLiteral("ByCom"), ctx.lineSettings.SerialPort);
    values.set(QStringLiteral("IIdioma"), ctx.LanguageCodeValue);
    values.set(QStringLiteral("ByTono"), ctx.lineSettings.TonePulse);
    values.set(QStringLiteral("ByModem"), ctx.lineSettings.ModemMode);
    values.set(QStringLiteral("TPrefijo"), ctx.lineSettings.DialCode);
    values.set(QStringLiteral("IModemSpeed"), ctx.lineSettings.ModemSpeed);
    values.set(QStringLiteral("TUsuario"), ctx.ReportFooterText);

    Store store(*ctx.settingsDb());
    return inTransaction(store, [&]() -> Status {
        // Only the first row is the settings row; a table someone emptied gets one.
        const Result<QList<Row>> first = store.select(QStringLiteral("Configuracion"));
        if (!first)
            return first.error();
        if (first->isEmpty())
            return store.insert(QStringLiteral("Configuracion"), values);
        // Leave the file untouched when nothing changed.
        bool same = true;
        for (const QString& column : values.columns())
            same = same && first->front().value(column) == values.value(column);
        if (same)
            return {};
        return store.update(QStringLiteral("Configuracion"), values, first->front()).status();
    });
}

Status acceptDatabase(AppContext& ctx, const DatabaseTarget& target)
{
    const QString file = settingsPath(ctx.home);
    IniFile ini = IniFile::load(file);
    ini.setValue(kSection, QStringLiteral("Database"), target.isServer() ? target.uri() : QString());
    if (Status saved = saveSettings(ini, file); !saved)
        return saved;
    // The choice just made is this run's too.
    ctx.databaseOverride.reset();
    return {};
}

} // namespace tvq52
