// Loads arbitrary bytes as a settings file. A value written into any file
// must read back, and a saved file must load to the same text.
#include "app/ini_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The byte decoding only runs on load, so the input goes through a file,
    // in a folder of its own that goes with the run.
    static const QTemporaryDir folder;
    if (!folder.isValid())
        __builtin_trap();
    static const QString path = folder.filePath(QStringLiteral("fuzz.ini"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            __builtin_trap();
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    tvq52::IniFile ini = tvq52::IniFile::load(path);
    const QString text = ini.toText();
    if (tvq52::IniFile::fromText(text).toText() != text)
        __builtin_trap();

    ini.setValue(QStringLiteral("Comunicaciones"), QStringLiteral("Puerto"), QStringLiteral("52"));
    if (ini.value(QStringLiteral("comunicaciones"), QStringLiteral("PUERTO")) != QStringLiteral("52"))
        __builtin_trap();
    return 0;
}
