#include "app/data_folder.h"
#include "app/ini_file.h"
#include "cli_run.h"
#include "support/test_backend.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

using tvq52::test::CliResult;

namespace {

// tvq52-cli on a copy of `folder` mounted read-only at `mountPoint`, in a
// mount namespace of its own (root is refused by a read-only mount, not by
// permission bits). Nothing when this machine cannot make one.
std::optional<CliResult> runOnReadOnlyCopy(const QString& folder, const QString& mountPoint, const QStringList& args)
{
    const QString script = QStringLiteral(
        "mount -t tmpfs tvq52 \"$1\" && cp -a \"$2/.\" \"$1/\" && mount -o remount,ro \"$1\" || exit 97\n"
        "shift 2\nexec \"$@\"");
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral("unshare"),
            QStringList{"-m", "--propagation", "private", "sh", "-c", script, "sh", mountPoint, folder,
                        QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"), "--home", mountPoint}
                + args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() == 97)
        return std::nullopt;
    return CliResult{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                     QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

// A backup on a read-only disk, its log's shared memory not beside it:
// reading commands read it; a writing one says, in the user's language,
// that the folder cannot be written.
TEST(CliReadOnlyFolder, ReadingCommandsReadItAndWritingOnesSayWhyNot)
{
    if (tvq52::test::onServerBackend())
        GTEST_SKIP() << "the data folder's own file only";
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("data"));
    const QString mountPoint = dir.filePath(QStringLiteral("mnt"));
    ASSERT_TRUE(tvq52::provisionDataFolder(folder).value());
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    tvq52::IniFile ini = tvq52::IniFile::load(tvq52::settingsPath(folder));
    ini.setValue(QStringLiteral("Configuration"), QStringLiteral("Language"), QStringLiteral("1033"));
    ASSERT_TRUE(ini.save(tvq52::settingsPath(folder)).ok());

    for (const QStringList& reading : QList<QStringList>{{"verify"}, {"journal"}, {"fleet"}}) {
        const std::optional<CliResult> r = runOnReadOnlyCopy(folder, mountPoint, reading);
        if (!r)
            GTEST_SKIP() << "needs root and a mount namespace (unshare -m) for a read-only mount";
        EXPECT_EQ(r->exitCode, 0) << qPrintable(reading.join(' ') + ": " + r->err);
    }
    const std::optional<CliResult> merge =
        runOnReadOnlyCopy(folder, mountPoint, {"merge", tvq52::databasePath(folder)});
    ASSERT_TRUE(merge);
    EXPECT_EQ(merge->exitCode, 1);
    EXPECT_TRUE(merge->err.contains(QStringLiteral("cannot be written"))) << qPrintable(merge->err);
}
