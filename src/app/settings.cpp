#include "app/settings.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/language_table.h"
#include "db/store.h"

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

QString badValue(const QString& file, const QString& key, const QString& value)
{
    if (value.isEmpty())
        return QStringLiteral("Falta la clave \"%1\" en la sección [%2] del archivo de configuración %3.")
            .arg(key, kSection, file);
    return QStringLiteral("La clave \"%1\" del archivo de configuración %2 tiene un valor no válido: \"%3\".")
        .arg(key, file, value);
}

} // namespace

std::optional<QString> readStartupSettings(AppContext& ctx, QString* languageValue)
{
    const QString file = settingsPath(ctx.home);
    const IniFile ini = IniFile::load(file);
    auto read = [&](const char* key) {
        return ini.value(kSection, QString::fromLatin1(key)).value_or(QString()).left(254);
    };

    QString v = read("SerialPort");
    auto n = toNumber(v, 0, 255);
    if (!n)
        return badValue(file, QStringLiteral("SerialPort"), v);
    ctx.link.SerialPort = std::uint8_t(*n);
    ctx.ReportFooterText = read("User");
    if (languageValue)
        *languageValue = read("Language");
    v = read("Modem");
    if (!(n = toNumber(v, 0, 255)))
        return badValue(file, QStringLiteral("Modem"), v);
    ctx.link.ModemMode = std::uint8_t(*n);
    v = read("TonePulse");
    if (!(n = toNumber(v, 0, 255)))
        return badValue(file, QStringLiteral("TonePulse"), v);
    ctx.link.TonePulse = std::uint8_t(*n);
    ctx.link.DialCode = read("DialCode");
    v = read("ModemSpeed");
    if (!(n = toNumber(v, -32768, 32767)))
        return badValue(file, QStringLiteral("ModemSpeed"), v);
    ctx.link.ModemSpeed = std::int16_t(*n);
    ctx.link.SerialDevice = read("SerialDevice").trimmed();
    return std::nullopt;
}

QString portText(const AppContext& ctx)
{
    return ctx.link.SerialDevice.isEmpty() ? QString::number(ctx.link.SerialPort) : ctx.link.SerialDevice;
}

std::optional<QString> acceptCommSettings(AppContext& ctx, const CommChoice& choice)
{
    const QString text = choice.portText.trimmed();
    bool numeric = false;
    const int port = text.toInt(&numeric);
    const bool device = !numeric && (text.startsWith(QLatin1Char('/')) || text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)
                                     || text.startsWith(QLatin1String("\\\\.\\")));
    if ((numeric && (port < 0 || port > 255)) || (!numeric && !device))
        return ctx.guru.GetS(106);

    if (numeric) {
        ctx.link.SerialPort = std::uint8_t(port);
        ctx.link.SerialDevice.clear();
    } else {
        ctx.link.SerialDevice = text;
    }
    ctx.link.DialCode = choice.dialPrefix;
    ctx.link.ModemSpeed = 19200;
    ctx.link.TonePulse = choice.pulse ? 0 : 1;
    ctx.link.ModemMode = choice.modem ? 1 : 0;

    const QString file = settingsPath(ctx.home);
    IniFile ini = IniFile::load(file);
    ini.setValue(kSection, QStringLiteral("SerialPort"), QString::number(ctx.link.SerialPort));
    ini.setValue(kSection, QStringLiteral("Modem"), QString::number(ctx.link.ModemMode));
    ini.setValue(kSection, QStringLiteral("TonePulse"), QString::number(ctx.link.TonePulse));
    ini.setValue(kSection, QStringLiteral("DialCode"), ctx.link.DialCode);
    ini.setValue(kSection, QStringLiteral("ModemSpeed"), QStringLiteral("19200"));
    if (!ctx.link.SerialDevice.isEmpty() || ini.value(kSection, QStringLiteral("SerialDevice")))
        ini.setValue(kSection, QStringLiteral("SerialDevice"), ctx.link.SerialDevice);
    if (!ini.save(file))
        return QStringLiteral("No se puede escribir el archivo de configuración %1").arg(file);
    return std::nullopt;
}

void acceptLanguage(AppContext& ctx, int code)
{
    ctx.LanguageCodeValue = code;
    if (const LanguageInfo* l = languageByCode(code))
        WriteSetting(kSection, QStringLiteral("Language"), QString::fromLatin1(l->localeId), settingsPath(ctx.home));
}

std::optional<QString> acceptFooterText(AppContext& ctx, const QString& text)
{
    ctx.ReportFooterText = text;
    WriteSetting(kSection, QStringLiteral("User"), text.left(50), settingsPath(ctx.home));
    if (!ctx.db)
        return std::nullopt;
    Store store(*ctx.db);
    Row values;
    values.set(QStringLiteral("TUsuario"), text);
    const int changed = store.update(QStringLiteral("Configuracion"), values, {});
    if (changed < 0)
        return store.lastError();
    if (changed == 0 && !store.insert(QStringLiteral("Configuracion"), values))
        return store.lastError();
    return std::nullopt;
}

std::optional<QString> writeConfigurationRow(AppContext& ctx)
{
    if (!ctx.db)
        return std::nullopt;
    if (ctx.link.DialCode.isEmpty())
        ctx.link.DialCode = QStringLiteral(" ");
    Row values;
    values.set(QStringLiteral("ByCom"), ctx.link.SerialPort);
    values.set(QStringLiteral("IIdioma"), ctx.LanguageCodeValue);
    values.set(QStringLiteral("ByTono"), ctx.link.TonePulse);
    values.set(QStringLiteral("ByModem"), ctx.link.ModemMode);
    values.set(QStringLiteral("TPrefijo"), ctx.link.DialCode);
    values.set(QStringLiteral("IModemSpeed"), ctx.link.ModemSpeed);
    values.set(QStringLiteral("TUsuario"), ctx.ReportFooterText);

    Store store(*ctx.db);
    bool ok = inTransaction(store, [&] {
        // Only the first row is the settings row; a table someone emptied gets one.
        const auto first = store.select(QStringLiteral("Configuracion"));
        if (!store.lastError().isEmpty() && first.isEmpty())
            return false;
        if (first.isEmpty())
            return store.insert(QStringLiteral("Configuracion"), values);
        // Leave the file untouched when nothing changed.
        bool same = true;
        for (const QString& column : values.columns())
            same = same && first.front().value(column) == values.value(column);
        return same || store.update(QStringLiteral("Configuracion"), values, first.front()) >= 0;
    });
    if (!ok)
        return store.lastError();
    return std::nullopt;
}

} // namespace tvq52
