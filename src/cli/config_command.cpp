#include "cli/config_command.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "cli/cli_session.h"
#include "core/own_words.h"
#include "i18n/catalogue_message.h"

#include <QJsonObject>
#include <QTextStream>

namespace tvq52 {

namespace {

QString knownKey(const QString& key)
{
    for (const QString& k : settingKeys())
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return k;
    return {};
}

// The verb, its arguments and the key, checked before the folder is touched.
std::optional<Error> configFault(const CommandArgs& args)
{
    const QStringList& words = args.arguments;
    const QString verb = words.at(0);
    const bool get = verb == QLatin1String("get") && words.size() == 2;
    const bool set = verb == QLatin1String("set") && words.size() == 3;
    if (set && args.has("--json"))
        return ownWords(QStringLiteral("Opción desconocida: %1"), {QStringLiteral("--json")});
    if (!get && !set)
        return verb == QLatin1String("get") || verb == QLatin1String("set")
            ? ownWords(QStringLiteral("Faltan argumentos"))
            : ownWords(QStringLiteral("Orden desconocida: %1"), {QStringLiteral("config ") + verb});
    if (knownKey(words.at(1)).isEmpty())
        return ownWords(QStringLiteral("Clave desconocida: %1. Las claves son: %2"),
                        {words.at(1), settingKeys().join(QStringLiteral(", "))});
    return std::nullopt;
}

} // namespace

const CommandSyntax& configSyntax()
{
    static const CommandSyntax syntax{
        "config",
        "config get KEY [--json]\nconfig set KEY VALUE",
        {"Escribe o cambia un ajuste del archivo de configuración de la carpeta de datos. KEY es uno de SerialPort, "
         "SerialDevice, Modem, TonePulse, DialCode, ModemSpeed, Language, User, Database, CollectDevices, "
         "CollectReports, FleetStaleDays,",
         "TimestampUrl, KeyPassphraseFile, RequireSignedImports (en mayúsculas o minúsculas). Un valor que el programa "
         "no leería se rechaza y el archivo queda como estaba.",
         "get --json escribe {\"key\", \"value\"}, null para una clave que no está en el archivo."},
        {QStringLiteral("--json")},
        {},
        2,
        3,
        configFault};
    return syntax;
}

int runConfig(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    const AppContext& ctx = *session.ctx;
    const QStringList& words = args.arguments;
    // The words were checked before the folder was opened.
    const bool get = words.at(0) == QLatin1String("get");
    const QString key = knownKey(words.at(1));
    const QString section = QString::fromLatin1(kSettingsSection);
    const QString file = settingsPath(ctx.home);
    IniFile ini = IniFile::load(file);
    if (get) {
        const std::optional<QString> value = ini.value(section, key);
        if (args.has("--json"))
            printJson(QJsonObject{{"key", key}, {"value", value ? QJsonValue(*value) : QJsonValue()}});
        else
            QTextStream(stdout) << value.value_or(QString()) << Qt::endl;
        return 0;
    }
    if (const auto reason = settingFault(key, words.at(2))) {
        printError(ctx.translator,
                   ownWords(QStringLiteral("No se puede cambiar %1: %2"), {key, errorText(ctx.translator, *reason)}));
        return 2;
    }
    ini.setValue(section, key, settingToStore(key, words.at(2)));
    if (const Status saved = ini.save(file); !saved) {
        printError(ctx.translator,
                   ownWords(QStringLiteral("No se puede escribir %1 (%2); se ha dejado como estaba"),
                            {file, untranslatedText(saved.error())}));
        return 1;
    }
    return 0;
}

} // namespace tvq52
