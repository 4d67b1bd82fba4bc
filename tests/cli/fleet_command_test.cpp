#include "cli_run.h"
#include "db/database.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "support/result_checks.h"
#include "support/folder_database.h"
#include "support/rows.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tvq52;
using test::CliResult;
using test::CliRuns;
using test::row;

namespace {

// A provisioned folder (on the private server in a server run) with units.
void storeUnits(const CliRuns& cli, const QList<qint32>& serials)
{
    cli.home.provision();
    auto db = cli.home.openDatabase();
    ASSERT_TRUE(db);
    Store store(*db);
    for (qint32 serial : serials)
        ASSERT_TRUE(store.insert(QStringLiteral("Programacion"),
                                 row({{"LNumeroSerie", serial},
                                      {"TLocal", QStringLiteral("Sala, %1").arg(serial)},
                                      {"TTelefono", QStringLiteral("555")},
                                      {"TVersion", QStringLiteral("2.5")},
                                      {"ByTLeq", 15}})));
}

QJsonArray fleetArray(const CliResult& r)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << qPrintable(r.out);
    EXPECT_TRUE(doc.isArray()) << qPrintable(r.out);
    return doc.array();
}

} // namespace

TEST(CliFleet, JsonHasExactlyTheKeysWithTheirTypesSortedByUrgency)
{
    CliRuns cli;
    storeUnits(cli, {10, 20, 30, 40});
    {
        auto db = cli.home.openDatabase();
        Journal journal(*db);
        ASSERT_TRUE(journal.append(JournalAction::Download, 20, QStringLiteral("cable"), QStringLiteral("completed"), {}));
        ASSERT_TRUE(journal.append(JournalAction::Download, 30, QStringLiteral("cable"), QStringLiteral("failed"), {}));
        ASSERT_TRUE(journal.append(JournalAction::Download, 30, QStringLiteral("cable"), QStringLiteral("completed"), {}));
        Store store(*db);
        ASSERT_TRUE(store.insert(QStringLiteral("DiaBorrado"),
                                 row({{"LNumeroSerie", 30},
                                      {"DFecha", QDate::currentDate().addDays(1)},
                                      {"THora", QStringLiteral("10:00")}})));
        const test::PastJournalTriggers past(*db);
        QSqlQuery q(db->connection());
        q.prepare(QStringLiteral("INSERT INTO \"Diario\" (\"TFechaHora\", \"TAccion\", \"LNumeroSerie\", "
                                 "\"TResultado\") VALUES (?, 'download', 40, 'completed')"));
        q.addBindValue(QDateTime::currentDateTime().addDays(-5).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
        ASSERT_TRUE(q.exec());
    }
    const CliResult r = cli({"fleet", "--json"});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    const QJsonArray units = fleetArray(r);
    ASSERT_EQ(units.size(), 4);
    const QStringList keys{"serial",
                           "venue",
                           "phone",
                           "firmware",
                           "lastDownload",
                           "lastOutcome",
                           "daysSinceDownload",
                           "erasuresSincePrevious",
                           "batteryEndsSincePrevious",
                           "reprogrammingsSincePrevious",
                           "reprogrammedElsewhere",
                           "exceedanceNights",
                           "journalOk",
                           "urgency",
                           "reasons"};
    QStringList sortedKeys = keys;
    sortedKeys.sort();
    for (const QJsonValue& v : units) {
        const QJsonObject u = v.toObject();
        QStringList have = u.keys();
        have.sort();
        EXPECT_EQ(have, sortedKeys);
        EXPECT_TRUE(u["serial"].isDouble());
        EXPECT_TRUE(u["venue"].isString());
        EXPECT_TRUE(u["reprogrammedElsewhere"].isBool());
        EXPECT_TRUE(u["journalOk"].isBool());
        EXPECT_TRUE(u["urgency"].isDouble());
        EXPECT_TRUE(u["reasons"].isArray());
        EXPECT_TRUE(u["exceedanceNights"].isDouble());
    }
    // The erased unit, then the never read one, then the one read today.
    EXPECT_EQ(units[0]["serial"].toInt(), 30);
    EXPECT_EQ(units[0]["erasuresSincePrevious"].toInt(), 1);
    EXPECT_EQ(units[0]["reasons"].toArray(), QJsonArray{"erased"});
    EXPECT_EQ(units[1]["serial"].toInt(), 10);
    EXPECT_TRUE(units[1]["lastDownload"].isNull());
    EXPECT_TRUE(units[1]["daysSinceDownload"].isNull());
    EXPECT_EQ(units[1]["reasons"].toArray(), QJsonArray{"stale"});
    EXPECT_EQ(units[2]["serial"].toInt(), 20);
    EXPECT_EQ(units[2]["venue"].toString(), QStringLiteral("Sala, 20"));
    EXPECT_EQ(units[2]["lastOutcome"].toString(), QStringLiteral("completed"));
    EXPECT_EQ(units[2]["daysSinceDownload"].toInt(-1), 0);
    EXPECT_TRUE(QDateTime::fromString(units[2]["lastDownload"].toString(), Qt::ISODate).isValid());
    EXPECT_EQ(units[2]["urgency"].toInt(-1), 0);
    EXPECT_GT(units[0]["urgency"].toInt(), units[1]["urgency"].toInt());

    const CliResult csv = cli({"fleet", "--csv"});
    EXPECT_EQ(csv.exitCode, 0);
    EXPECT_TRUE(csv.out.startsWith(keys.join(QLatin1Char(',')) + QLatin1Char('\n'))) << qPrintable(csv.out);
    EXPECT_TRUE(csv.out.contains(QStringLiteral("\n20,\"Sala, 20\",555,2.5,"))) << qPrintable(csv.out);

    const CliResult table = cli({"fleet"});
    EXPECT_EQ(table.exitCode, 0);
    const QStringList lines = table.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << qPrintable(table.out);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Urgency")));
    // Aligned: every row's serial ends where the header's column does.
    const qsizetype serialEnd = lines[0].indexOf(QStringLiteral("Serial")) + 6;
    EXPECT_EQ(lines[1].mid(serialEnd - 2, 2), QStringLiteral("30")) << qPrintable(table.out);
    EXPECT_EQ(lines[3].mid(serialEnd - 2, 2), QStringLiteral("20")) << qPrintable(table.out);
    EXPECT_TRUE(lines[2].contains(QStringLiteral("never")));

    // --days moves the stale limit.
    EXPECT_EQ(units[3]["serial"].toInt(), 40);
    EXPECT_EQ(units[3]["daysSinceDownload"].toInt(), 5);
    EXPECT_TRUE(units[3]["reasons"].toArray().isEmpty());
    const QJsonArray strict = fleetArray(cli({"fleet", "--json", "--days", "4"}));
    ASSERT_EQ(strict.size(), 4);
    EXPECT_EQ(strict[2]["serial"].toInt(), 40) << "stale now, above the one read today";
    EXPECT_EQ(strict[2]["reasons"].toArray(), QJsonArray{"stale"});
}

TEST(CliFleet, RefusesBadOptionsAndVerifiesEveryJournalWhenAsked)
{
    CliRuns cli;
    storeUnits(cli, {10});
    {
        auto db = cli.home.openDatabase();
        ASSERT_TRUE(Journal(*db).append(JournalAction::Download, 10, QStringLiteral("cable"),
                                        QStringLiteral("completed"), {}));
        test::exec(*db, QStringLiteral("UPDATE \"Diario\" SET \"TMensaje\" = 'edited'"));
    }
    for (const QStringList& bad : {QStringList{"fleet", "--days", "x"}, QStringList{"fleet", "--days", "-1"},
                                   QStringList{"fleet", "--json", "--csv"}, QStringList{"fleet", "extra"}}) {
        const CliResult r = cli(bad);
        EXPECT_EQ(r.exitCode, 2) << qPrintable(bad.join(' '));
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_TRUE(r.out.isEmpty());
    }
    QJsonArray units = fleetArray(cli({"fleet", "--json"}));
    ASSERT_EQ(units.size(), 1);
    EXPECT_TRUE(units.at(0)["journalOk"].toBool()) << "not checked yet";
    units = fleetArray(cli({"fleet", "--json", "--verify"}));
    ASSERT_EQ(units.size(), 1);
    EXPECT_FALSE(units.at(0)["journalOk"].toBool());
    EXPECT_EQ(units.at(0)["reasons"].toArray(), QJsonArray{"journal"});
    // The check is kept: a later overview shows it without verifying again.
    EXPECT_FALSE(fleetArray(cli({"fleet", "--json"})).at(0)["journalOk"].toBool(true));
}

TEST(CliFleet, ACompletedDownloadShowsInTheOverviewWithItsJournalChecked)
{
    CliRuns cli;
    storeUnits(cli, {4711});
    cli.startSim({"--serial", "4711", "--firmware", "2.5", "--days", "1"});
    const CliResult download = cli.onSim({"--clock-speed", "20", "download"});
    ASSERT_EQ(download.exitCode, 0) << qPrintable(download.err + download.out);
    {
        auto db = cli.home.openDatabase();
        QSqlQuery q(db->connection());
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT \"BoCorrecto\" FROM \"DiarioVerificado\" WHERE "
                                          "\"LNumeroSerie\" = 4711")));
        ASSERT_TRUE(q.next()) << "the download checked the unit's journal";
        EXPECT_TRUE(q.value(0).toBool());
    }
    const QJsonArray units = fleetArray(cli({"fleet", "--json"}));
    ASSERT_EQ(units.size(), 1);
    EXPECT_EQ(units[0]["lastOutcome"].toString(), QStringLiteral("completed"));
    EXPECT_EQ(units[0]["daysSinceDownload"].toInt(-1), 0);
    EXPECT_TRUE(units[0]["journalOk"].toBool());
}
