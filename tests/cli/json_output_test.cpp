#include "cli_run.h"
#include "evidence/journal.h"
#include "support/folder_database.h"
#include "support/rows.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tvq52;
using test::CliResult;
using test::CliRuns;
using test::row;

namespace {

// Local time with its offset, every JSON date and time of the command line.
const QRegularExpression kIsoStamp(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}[+-]\\d{2}:\\d{2}$"));
const QRegularExpression kIsoDate(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
const QRegularExpression kHash(QStringLiteral("^[0-9a-f]{64}$"));

// The one JSON object a run printed; the test fails when it is anything else.
QJsonObject document(const CliResult& r)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << qPrintable(error.errorString() + "\n" + r.out);
    EXPECT_TRUE(doc.isObject()) << qPrintable(r.out);
    return doc.object();
}

QStringList dayRange()
{
    const QDateTime now = QDateTime::currentDateTime();
    return {"--from", now.addDays(-2).toString(QStringLiteral("yyyy-MM-ddTHH:mm")), "--to",
            now.addSecs(3600).toString(QStringLiteral("yyyy-MM-dd HH:mm"))};
}

} // namespace

TEST(CliJson, TheUnitsCommandsPrintOneTypedDocument)
{
    CliRuns cli;
    cli.storeUnits({{4711, "4.0", ""}});
    cli.startSim({"--serial", "4711", "--firmware", "4.0", "--days", "1"});
    const auto run = [&](const QStringList& args) { return cli.onSim(QStringList{"--clock-speed", "20"} + args); };

    const CliResult identify = run({"identify", "--json"});
    ASSERT_EQ(identify.exitCode, 0) << qPrintable(identify.err);
    const QJsonObject unit = document(identify);
    EXPECT_EQ(unit.value("serial").toInt(), 4711);
    EXPECT_EQ(unit.value("firmware").toString(), QStringLiteral("4.0"));
    EXPECT_TRUE(unit.value("type").isDouble());
    EXPECT_TRUE(unit.value("programmingMode").isBool());

    const CliResult get = run({"program", "get", "--json"});
    ASSERT_EQ(get.exitCode, 0) << qPrintable(get.err);
    const QJsonObject programming = document(get);
    EXPECT_EQ(programming.value("serial").toInt(), 4711);
    EXPECT_TRUE(programming.value("clockChange").isBool());
    EXPECT_TRUE(programming.value("attenuationSeconds").isDouble());
    EXPECT_TRUE(programming.value("nonWorkingIntervals").isArray());
    EXPECT_EQ(programming.value("octaves").toArray().size(), 9);
    EXPECT_TRUE(programming.value("octaves").toArray().at(0).isDouble());
    const QJsonArray days = programming.value("sessions").toArray();
    ASSERT_EQ(days.size(), 7);
    EXPECT_EQ(days.at(0).toObject().value("day").toString(), QStringLiteral("monday"));
    // The simulated unit's Monday is closed: no hours rather than "--:--".
    EXPECT_TRUE(days.at(0).toObject().value("start").isNull());
    EXPECT_TRUE(days.at(0).toObject().value("end").isNull());

    const CliResult download = run(QStringList{"download", "--json"} + dayRange());
    ASSERT_EQ(download.exitCode, 0) << qPrintable(download.err);
    const QJsonObject report = document(download);
    EXPECT_EQ(report.value("outcome").toString(), QStringLiteral("completed"));
    EXPECT_EQ(report.value("serial").toInt(), 4711);
    const QJsonObject intervals = report.value("counts").toObject().value("intervals").toObject();
    EXPECT_EQ(intervals.value("received").toInt(), 96);
    EXPECT_EQ(intervals.value("added").toInt(), 96);
    EXPECT_TRUE(report.value("counts").toObject().value("batteryEnds").toObject().value("refused").isDouble());
    EXPECT_TRUE(report.value("journalEntry").isDouble());
    EXPECT_TRUE(kHash.match(report.value("journalHead").toString()).hasMatch());
}

TEST(CliJson, TheJournalAndTheStoredRecordsPrintOneTypedDocument)
{
    CliRuns cli;
    cli.storeUnits({{4711, "4.0", ""}});
    cli.startSim({"--serial", "4711", "--firmware", "4.0", "--days", "1"});
    ASSERT_EQ(cli.onSim(QStringList{"--clock-speed", "20", "download"} + dayRange()).exitCode, 0);

    const QJsonObject verify = document(cli({"verify", "--json"}));
    EXPECT_TRUE(verify.value("verified").toBool());
    EXPECT_TRUE(verify.value("findings").toArray().isEmpty());
    EXPECT_GE(verify.value("recordsChecked").toInt(), 96);
    EXPECT_TRUE(verify.value("keptHead").isNull());
    EXPECT_TRUE(kHash.match(verify.value("head").toString()).hasMatch());

    const QJsonObject journal = document(cli({"journal", "--serial", "4711", "--json"}));
    const QJsonArray entries = journal.value("entries").toArray();
    ASSERT_FALSE(entries.isEmpty());
    const QJsonObject newest = entries.at(0).toObject();
    EXPECT_EQ(newest.value("action").toString(), QStringLiteral("download"));
    EXPECT_EQ(newest.value("serial").toInt(), 4711);
    EXPECT_EQ(newest.value("line").toString(), QStringLiteral("cable"));
    EXPECT_EQ(newest.value("outcome").toString(), QStringLiteral("completed"));
    // The server names the login that opened it; a file has one user.
    EXPECT_EQ(!newest.value("user").toString().isEmpty(), cli.home.openDatabase()->isServer());
    EXPECT_TRUE(kIsoStamp.match(newest.value("at").toString()).hasMatch()) << qPrintable(newest.value("at").toString());
    EXPECT_TRUE(newest.value("id").isDouble());
    EXPECT_TRUE(newest.value("counts").isArray());
    EXPECT_EQ(journal.value("head").toString(), verify.value("head").toString());

    const QJsonObject grid = document(cli({"csv", "intervals", "4711", "--json"}));
    EXPECT_EQ(grid.value("grid").toString(), QStringLiteral("intervals"));
    const QJsonArray rows = grid.value("rows").toArray();
    ASSERT_EQ(rows.size(), 96);
    const QJsonObject first = rows.at(0).toObject();
    EXPECT_TRUE(kIsoDate.match(first.value("DFechaInicio").toString()).hasMatch());
    EXPECT_TRUE(first.value("SLeqLocal").isDouble());
    EXPECT_TRUE(first.value("ByTLeq").isDouble());
    EXPECT_TRUE(first.value("BoRS232").isBool());
    EXPECT_EQ(grid.value("columns").toArray().size(), first.size());
}

TEST(CliJson, MachineCsvHasOneHeaderPerStoredColumnAndStoredValues)
{
    CliRuns cli;
    cli.storeUnits({{4711, "4.0", ""}});
    cli.startSim({"--serial", "4711", "--firmware", "4.0", "--days", "1"});
    ASSERT_EQ(cli.onSim(QStringList{"--clock-speed", "20", "download"} + dayRange()).exitCode, 0);

    const CliResult machine = cli({"csv", "intervals", "4711", "--machine"});
    ASSERT_EQ(machine.exitCode, 0) << qPrintable(machine.err);
    const QStringList lines = machine.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 97);
    const QJsonArray columns = document(cli({"csv", "intervals", "4711", "--json"})).value("columns").toArray();
    QStringList names;
    for (const QJsonValue& c : columns)
        names << c.toString();
    EXPECT_EQ(lines.at(0), names.join(QLatin1Char(',')));
    const QStringList fields = lines.at(1).split(QLatin1Char(','));
    ASSERT_EQ(fields.size(), names.size());
    EXPECT_TRUE(kIsoDate.match(fields.at(names.indexOf("DFechaInicio"))).hasMatch()) << qPrintable(lines.at(1));
    bool isNumber = false;
    fields.at(names.indexOf("SLeqLocal")).toDouble(&isNumber);
    EXPECT_TRUE(isNumber) << qPrintable(fields.at(names.indexOf("SLeqLocal")));
    EXPECT_TRUE(fields.at(names.indexOf("BoRS232")) == "0" || fields.at(names.indexOf("BoRS232")) == "1");
    // A date kept as "dd/mm/yyyy" text reads as ISO too, and a single-precision
    // level as the decimal it was stored as, not its binary tail.
    EXPECT_TRUE(kIsoDate.match(fields.at(names.indexOf("TFechaMaxLeq1min"))).hasMatch()) << qPrintable(lines.at(1));
    EXPECT_FALSE(machine.out.contains(QRegularExpression(QStringLiteral("\\.\\d{5,}")))) << qPrintable(lines.at(1));

    // Bytes, as a text decoder would drop a byte-order mark: none for programs,
    // while the spreadsheet form keeps its own, its ";" and its headings.
    QProcess csv;
    csv.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"),
              {"--home", cli.home.path(), "csv", "intervals", "4711", "--machine"});
    ASSERT_TRUE(csv.waitForFinished(30000));
    EXPECT_TRUE(csv.readAllStandardOutput().startsWith("DFechaInicio,"));
    csv.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"), {"--home", cli.home.path(), "csv", "intervals", "4711"});
    ASSERT_TRUE(csv.waitForFinished(30000));
    const QByteArray sheet = csv.readAllStandardOutput();
    EXPECT_TRUE(sheet.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(sheet.left(sheet.indexOf('\n')).contains(';'));
    EXPECT_FALSE(sheet.left(sheet.indexOf('\n')).contains("DFechaInicio"));
    EXPECT_EQ(cli({"csv", "intervals", "4711", "--machine", "--json"}).exitCode, 2);
}

TEST(CliJson, ExportImportAndMergePrintOneTypedDocument)
{
    CliRuns from;
    from.storeUnits({{52001, "4.0", ""}});
    const QString file = from.home.file(QStringLiteral("unit.TQ52"));
    const QJsonObject exported = document(from({"export", file, "52001", "--json"}));
    EXPECT_EQ(exported.value("file").toString(), file);
    EXPECT_EQ(exported.value("serials").toArray(), QJsonArray({52001}));
    EXPECT_GE(exported.value("rows").toInt(), 1);

    CliRuns to;
    ASSERT_EQ(to({"init"}).exitCode, 0);
    const QJsonObject imported = document(to({"import", file, "--json"}));
    EXPECT_TRUE(imported.value("succeeded").toBool());
    EXPECT_TRUE(imported.value("errors").toArray().isEmpty());
    QJsonObject units;
    for (const QJsonValue& table : imported.value("tables").toArray())
        if (table.toObject().value("table").toString() == QLatin1String("Programacion"))
            units = table.toObject();
    EXPECT_EQ(units.value("added").toInt(), 1);
    EXPECT_EQ(units.value("present").toInt(), 0);
    EXPECT_TRUE(units.value("refused").isDouble());
    EXPECT_TRUE(kHash.match(imported.value("journalHead").toString()).hasMatch());

    const QJsonObject merged = document(to({"merge", from.home.file(QStringLiteral("tvq52.db")), "--json"}));
    EXPECT_TRUE(merged.value("complete").toBool());
    EXPECT_TRUE(merged.value("error").isNull());
    EXPECT_EQ(merged.value("added").toInt(), 0) << "the import brought the unit already";
    EXPECT_FALSE(merged.value("tables").toArray().isEmpty());

    // A failed import is still one document, its reason in it and on standard error.
    const CliResult missing = to({"import", to.home.file(QStringLiteral("missing.TQ52")), "--json"});
    EXPECT_EQ(missing.exitCode, 1);
    const QJsonObject failed = document(missing);
    EXPECT_FALSE(failed.value("succeeded").toBool());
    EXPECT_EQ(failed.value("errors").toArray().size(), 1);
    EXPECT_TRUE(missing.err.startsWith(QStringLiteral("tvq52-cli: ")));
}

TEST(CliJson, CollectPrintsEachUnitTheCountAndEachJournalCheck)
{
    CliRuns cli;
    cli.storeUnits({{1001, "4.0", "111"}});
    {
        // An earlier entry of 1001 changed by hand: its journal check fails.
        auto db = cli.home.openDatabase();
        ASSERT_TRUE(Journal(*db).append(JournalAction::Download, 1001, QStringLiteral("modem"),
                                        QStringLiteral("completed"), {}));
        test::exec(*db, QStringLiteral("UPDATE \"Diario\" SET \"TMensaje\" = 'x' WHERE \"LNumeroSerie\" = 1001"));
    }
    cli.startSim({"--serial", "1001", "--days", "1", "--modem", "--rings", "1", "--ring-ms", "50", "--guard-ms", "10"});
    cli.home.writeFile(QStringLiteral("units.txt"), "1001\n1002\n");
    const CliResult r =
        cli.onSim({"--clock-speed", "50", "collect", cli.home.file(QStringLiteral("units.txt")), "--json", "--quiet"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.contains(QStringLiteral("marcando"))) << "--quiet";
    const QJsonObject summary = document(r);
    EXPECT_EQ(summary.value("total").toInt(), 2);
    EXPECT_EQ(summary.value("collected").toInt(), 1);
    const QJsonArray units = summary.value("units").toArray();
    ASSERT_EQ(units.size(), 2);
    EXPECT_EQ(units.at(0).toObject().value("answered").toInt(), 1001);
    EXPECT_TRUE(units.at(0).toObject().value("collected").toBool());
    EXPECT_EQ(units.at(0).toObject().value("intervals").toInt(), 96);
    EXPECT_TRUE(kIsoStamp.match(units.at(0).toObject().value("to").toString()).hasMatch())
        << qPrintable(units.at(0).toObject().value("to").toString());
    EXPECT_FALSE(units.at(0).toObject().value("journalVerified").toBool(true));
    EXPECT_TRUE(units.at(1).toObject().value("journalVerified").isNull()) << "never checked";
    EXPECT_EQ(summary.value("journalFailed").toInt(), 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("El diario de intercambios de la unidad 1001 no se verifica")))
        << qPrintable(r.err);
    EXPECT_TRUE(units.at(1).toObject().value("answered").isNull());
    EXPECT_EQ(units.at(1).toObject().value("outcome").toString(), QStringLiteral("not stored"));
    // The check's finding alone fails a round that collected every unit.
    cli.home.writeFile(QStringLiteral("units.txt"), "1001\n");
    EXPECT_EQ(cli.onSim({"--clock-speed", "50", "collect", cli.home.file(QStringLiteral("units.txt"))}).exitCode, 1);
}
