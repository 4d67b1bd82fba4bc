#include "app/data_folder.h"
#include "cli_run.h"
#include "db/database.h"
#include "db/store.h"
#include "programming/programming_store.h"
#include "support/file_bytes.h"
#include "support/result_checks.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tvq52;
using test::CliRuns;

// The programming report from the command line: a PDF of the stored unit;
// anything but a serial number is refused before the database is read.
TEST(CliReport, ProgrammingReportToPdfAndRefusals)
{
    CliRuns cli;
    ASSERT_EQ(cli({"init"}).exitCode, 0);
    {
        auto db = test::take(Database::openSqlite(databasePath(cli.home.path())));
        ASSERT_TRUE(db);
        Store store(*db);
        ProgrammingRecord r = defaultProgramming(QDate(2024, 3, 1));
        r.serial = 4711;
        r.venue = QStringLiteral("Sala 'Apolo'; 50%");
        ASSERT_TRUE(saveProgramming(store, r, unusedIntervals()));
    }
    const QString pdf = cli.home.file(QStringLiteral("prog.pdf"));
    // Run as cron runs it, with no runtime folder: nothing to say about that.
    QProcessEnvironment cron = QProcessEnvironment::systemEnvironment();
    cron.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const auto ok = test::runCli({"--home", cli.home.path(), "report", "programming", "4711", "--pdf", pdf}, 30000, cron);
    EXPECT_EQ(ok.exitCode, 0) << qPrintable(ok.err);
    // The one thing said is that this PC, without a key, writes unsigned.
    EXPECT_EQ(ok.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 1) << qPrintable(ok.err);
    EXPECT_TRUE(ok.err.contains(QStringLiteral("sin firmar"))) << qPrintable(ok.err);
    const QByteArray written = test::readBytes(pdf);
    EXPECT_TRUE(written.startsWith("%PDF-"));
    // Titled after the report and its unit, in the folder's language, as its metadata says.
    EXPECT_TRUE(written.contains(QString::fromUtf8(">TVQ-52 4711: Programación<").toUtf8()));

    const QString other = cli.home.file(QStringLiteral("other.pdf"));
    for (const char* serial : {"4711 OR 1=1", "4711'", "0", "-3", "x"}) {
        const auto refused = cli({"report", "programming", serial, "--pdf", other});
        EXPECT_EQ(refused.exitCode, 2) << serial;
        EXPECT_TRUE(refused.err.contains(QStringLiteral("tvq52-cli: No es un número de serie")))
            << qPrintable(refused.err);
    }
    EXPECT_EQ(cli({"report", "programming", "4711"}).exitCode, 2) << "no --pdf";
    const auto unknown = cli({"report", "programming", "999", "--pdf", other});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err, QString::fromUtf8("tvq52-cli: La unidad 999 no está guardada\n"));
    EXPECT_FALSE(QFile::exists(other));

    // A FIFO where a file goes is neither replaced nor waited on.
    const QString fifo = cli.home.file(QStringLiteral("pipe.pdf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QStringList& args : {QStringList{"report", "programming", "4711", "--pdf", fifo},
                                    QStringList{"export", fifo, "4711"}, QStringList{"verify-report", fifo}}) {
        const auto refused = cli(args);
        EXPECT_EQ(refused.exitCode, 1) << qPrintable(args.join(' '));
        EXPECT_TRUE(refused.err.contains(QStringLiteral("no es un archivo normal"))) << qPrintable(refused.err);
        struct stat st {};
        EXPECT_TRUE(::stat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    }
}
