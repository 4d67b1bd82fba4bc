#include "cli_run.h"
#include "db/store.h"
#include "support/rows.h"

#include <QFile>

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

bool isPdf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(5) == "%PDF-";
}

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

TEST_F(RecordedReportCommand, EachReportIsWrittenAsAPdf)
{
    for (const char* kind : {"intervals", "exceedances"}) {
        const QString out = pdf(kind);
        const CliResult r = cli({"report", kind, QString::number(kSerial), "--from", "31/12/25 00:00", "--to",
                                 "01/01/2026 23:59", "--pdf", out});
        EXPECT_EQ(r.exitCode, 0) << kind << " " << r.err.toStdString();
        EXPECT_TRUE(isPdf(out)) << kind;
    }
}

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
