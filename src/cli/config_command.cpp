#include "cli/config_command.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "core/own_words.h"

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

} // namespace

int runConfig(AppContext& ctx, const QStringList& arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString section = QString::fromLatin1(kSettingsSection);
    const QString file = settingsPath(ctx.home);
    const QString verb = arguments.value(0);
    const bool get = verb == QLatin1String("get") && arguments.size() == 2;
    const bool set = verb == QLatin1String("set") && arguments.size() == 3;
    if (!get && !set) {
        err << "usage: config get KEY | config set KEY VALUE" << Qt::endl;
        return 2;
    }
    const QString key = knownKey(arguments.at(1));
    if (key.isEmpty()) {
        err << "unknown setting " << arguments.at(1) << "; settings are " << settingKeys().join(QStringLiteral(", "))
            << Qt::endl;
        return 2;
    }

    IniFile ini = IniFile::load(file);
    if (get) {
        out << ini.value(section, key).value_or(QString()) << Qt::endl;
        return 0;
    }
    if (const auto reason = settingFault(key, arguments.at(2))) {
        err << "cannot set " << key << ": " << *reason << Qt::endl;
        return 2;
    }
    ini.setValue(section, key, arguments.at(2));
    if (const Status saved = ini.save(file); !saved) {
        err << "cannot write " << file << " (" << untranslatedText(saved.error()) << "); it is left as it was"
            << Qt::endl;
        return 1;
    }
    return 0;
}

} // namespace tvq52
