#include "app/data_folder.h"
#include "cli_run.h"
#include "db/database.h"
#include "db/store.h"
#include "support/file_bytes.h"
#include "support/file_size_limit.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

using namespace tvq52;
using namespace tvq52::test;

namespace {

constexpr qint32 kSerial = 52001;

class RecordedReportCommand : public ::testing::Test {
protected:
    CliRuns cli;
    void SetUp() override
    {
        cli.home.provision();
        auto db = cli.home.openDatabase();
        Store store(*db);
        ASSERT_TRUE(store.insert("Programacion",
                                 row({{"LNumeroSerie", kSerial},
                                      {"TLocal", "Bar d'en \"Pep\"; 100%"},
                                      {"TVersion", "2.5"},
                                      {"THoraEmpiezaNoche", "23:00"},
                                      {"THoraTerminaNoche", "07:00"}})));
        // 31/12/2025 23:50 to 01/01/2026 00:10, one every ten minutes.
        for (int k = 0; k < 3; ++k) {
            const QDateTime start = QDateTime(QDate(2025, 12, 31), QTime(23, 50)).addSecs(600 * k);
            ASSERT_TRUE(store.insert("Intervalos",
                                     row({{"LNumeroSerie", kSerial},
                                          {"DFechaInicio", start.date()},
                                          {"THoraInicio", start.toString("HH:mm")},
                                          {"SLeqLocal", 59.0 + k},
                                          {"TTipoActuacionLocal", "a;\"b\""}})));
        }
    }
    QString pdf(const char* name) const { return cli.home.file(QString::fromLatin1(name)); }
};

// Standard output as bytes: a text decoder would drop the byte-order mark.
QByteArray rawOut(const CliRuns& cli, const QStringList& args)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"), QStringList{"--home", cli.home.path()} + args);
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

} // namespace

TEST_F(RecordedReportCommand, RefusalsHaveTheirExitStatus)
{
    // No session starts in the range: nothing to print.
    const CliResult none = cli({"report", "sessions", QString::number(kSerial), "--from", "31/12/25 00:00", "--to",
                                "01/01/26 23:59", "--pdf", pdf("s.pdf")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("No hay datos")) << none.err.toStdString();
    EXPECT_FALSE(QFile::exists(pdf("s.pdf")));
    EXPECT_EQ(
        cli({"report", "intervals", "12x", "--from", "31/12/25 00:00", "--to", "01/01/26 00:00", "--pdf", pdf("x.pdf")})
            .exitCode,
        2);
    EXPECT_EQ(cli({"report", "intervals", QString::number(kSerial), "--from", "31/12/25 00:00", "--pdf", pdf("x.pdf")})
                  .exitCode,
              2);
    EXPECT_EQ(cli({"csv", "intervals", QString::number(kSerial), "--from", "32/12/25 00:00"}).exitCode, 2);
}

TEST_F(RecordedReportCommand, TheCsvIsTheGridOverTheRangeWithItsOwnTexts)
{
    const CliResult all = cli({"csv", "intervals", QString::number(kSerial)});
    ASSERT_EQ(all.exitCode, 0) << all.err.toStdString();
    const QByteArray bytes = rawOut(cli, {"csv", "intervals", QString::number(kSerial)});
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    // Newest first, as the window shows them; the older firmware has no
    // uncalibrated-minute columns.
    EXPECT_TRUE(lines[1].startsWith("01/01/2026;00:10;")) << lines[1].toStdString();
    EXPECT_TRUE(lines[3].contains(";UND;")) << lines[3].toStdString();
    EXPECT_TRUE(lines[3].contains(";\"a;\"\"b\"\"\";"));
    EXPECT_FALSE(lines[0].contains("E.N.A."));

    // Across midnight with two-digit years.
    const CliResult some =
        cli({"csv", "intervals", QString::number(kSerial), "--from", "31/12/25 23:55", "--to", "01/01/26 00:00"});
    ASSERT_EQ(some.exitCode, 0);
    EXPECT_EQ(some.out.split("\r\n", Qt::SkipEmptyParts).size(), 2);
}

namespace {

QString pdfText(const QString& path)
{
    return toolOutput(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
}

} // namespace

// Every report is written as a PDF, and `config set User` reaches each,
// whatever the settings row last mirrored from a window.
TEST_F(RecordedReportCommand, EveryReportPrintsTheFooterOfTheSettings)
{
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) << "needs poppler-utils";
    {
        auto db = cli.home.openDatabase();
        Store store(*db);
        ASSERT_TRUE(store.insert(
            "Sesiones",
            spanRow(kSerial, QDateTime(QDate(2025, 12, 31), QTime(23, 0)), QDateTime(QDate(2026, 1, 1), QTime(3, 0)))));
    }
    {
        // The settings row is this PC's, in the data folder's own file.
        auto local = test::take(Database::openSqlite(databasePath(cli.home.path())));
        ASSERT_TRUE(local);
        Store settings(*local);
        ASSERT_EQ(test::take(settings.update("Configuracion", row({{"TUsuario", "Mirrored at the last exit"}}), Row())),
                  1);
    }
    const QString footer = QString::fromUtf8("Inspección Área Norte");
    ASSERT_EQ(cli({"config", "set", "User", footer}).exitCode, 0);
    for (const char* kind : {"programming", "intervals", "sessions", "exceedances"}) {
        QStringList args{"report", kind, QString::number(kSerial)};
        if (QLatin1String(kind) != QLatin1String("programming"))
            args << "--from"
                 << "31/12/25 00:00"
                 << "--to"
                 << "01/01/26 23:59";
        const QString out = pdf(kind);
        const CliResult r = cli(args << "--pdf" << out);
        ASSERT_EQ(r.exitCode, 0) << kind << " " << r.err.toStdString();
        const QString text = pdfText(out);
        EXPECT_TRUE(text.contains(footer)) << kind << ": " << text.toStdString();
        EXPECT_FALSE(text.contains("Mirrored at the last exit")) << kind;
    }
}

// As on a full disk: a report, an export or a listing that cannot be written
// whole fails with exit status 1, and the file written before stays as it was.
TEST_F(RecordedReportCommand, WhatCannotBeWrittenWholeFailsAndLeavesTheEarlierFile)
{
    {
        // A thousand intervals: a report, an export and a listing well past
        // the limit below.
        auto db = cli.home.openDatabase();
        Store store(*db);
        ASSERT_TRUE(test::succeeded(inTransaction(store, [&] {
            Status ok;
            for (int k = 0; ok && k < 1000; ++k) {
                const QDateTime start = QDateTime(QDate(2025, 12, 1), QTime(0, 0)).addSecs(600 * k);
                ok = store.insert("Intervalos",
                                  row({{"LNumeroSerie", kSerial},
                                       {"DFechaInicio", start.date()},
                                       {"THoraInicio", start.toString("HH:mm")},
                                       {"SLeqLocal", 70.5},
                                       {"SLeqVecino", 45.25},
                                       {"SMaxFast", 88.5},
                                       {"TTipoActuacionLocal", "Leq125ms"}}));
            }
            return ok;
        })));
    }
    const QByteArray earlier("%PDF-1.4 what was printed last week\n");
    const QString report = pdf("report.pdf");
    const QString exchange = cli.home.file("units.TQ52");
    const QString listing = cli.home.file("grid.csv");
    for (const QString& path : {report, exchange, listing})
        ASSERT_TRUE(writeBytes(path, earlier));
    const QStringList range{"--from", "01/12/25 00:00", "--to", "31/12/25 23:59"};
    {
        // Enough for the database and its companions, not for the outputs.
        test::FileSizeLimit limit(40 * 1024);
        const CliResult r =
            cli(QStringList{"report", "intervals", QString::number(kSerial)} + range + QStringList{"--pdf", report});
        EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(report)) << r.err.toStdString();
        const CliResult e = cli({"export", exchange, QString::number(kSerial)});
        EXPECT_EQ(e.exitCode, 1) << e.out.toStdString();
        EXPECT_TRUE(e.err.contains(exchange)) << e.err.toStdString();

        QProcess csv;
        csv.setStandardInputFile(QProcess::nullDevice());
        csv.setStandardOutputFile(listing, QIODevice::Append);
        csv.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"),
                  QStringList{"--home", cli.home.path(), "csv", "intervals", QString::number(kSerial)});
        ASSERT_TRUE(csv.waitForFinished(30000));
        EXPECT_EQ(csv.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(csv.exitCode(), 1) << "a listing cut short is no success";
    }
    EXPECT_EQ(readBytes(report), earlier);
    EXPECT_EQ(readBytes(exchange), earlier);
    EXPECT_EQ(QDir(cli.home.path()).entryList({"report.pdf*", "units.TQ52*"}, QDir::Files),
              QStringList({"report.pdf", "units.TQ52"}))
        << "no piece left beside them";

    // With room again, the report takes the earlier one's place whole.
    const CliResult r =
        cli(QStringList{"report", "intervals", QString::number(kSerial)} + range + QStringList{"--pdf", report});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray whole = readBytes(report);
    EXPECT_TRUE(whole.startsWith("%PDF-"));
    EXPECT_TRUE(whole.trimmed().endsWith("%%EOF"));
}

// A listing whose output cannot take it (a full disk under a redirection)
// says so and exits 1, also when all of it waited in the buffer until the end.
TEST_F(RecordedReportCommand, AListingThatCannotBeWrittenSaysSo)
{
    QProcess csv;
    csv.setStandardInputFile(QProcess::nullDevice());
    csv.setStandardOutputFile(QStringLiteral("/dev/full"));
    csv.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"),
              QStringList{"--home", cli.home.path(), "csv", "intervals", QString::number(kSerial)});
    ASSERT_TRUE(csv.waitForFinished(30000));
    EXPECT_EQ(csv.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(csv.exitCode(), 1);
    EXPECT_FALSE(QString::fromUtf8(csv.readAllStandardError()).trimmed().isEmpty());
}
