#include "core/date_text.h"
#include "db/database.h"
#include "db/fleet_tables.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "records/fleet.h"
#include "records/record_store.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QSqlError>
#include <QSqlQuery>
#include <climits>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

const QDateTime kNow(QDate(2026, 3, 20), QTime(12, 0));

QDateTime before(int days, int hours = 0)
{
    return kNow.addDays(-days).addSecs(-3600 * hours);
}

class FleetTest : public FolderDatabaseTest {
protected:
    std::unique_ptr<RecordStore> records;
    FleetOptions options;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FolderDatabaseTest::SetUp());
        records = std::make_unique<RecordStore>(*db);
        options.now = kNow;
    }
    void addUnit(qint32 serial, const QString& nightStart = QStringLiteral("22:00"),
                 const QString& nightEnd = QStringLiteral("06:00"))
    {
        ASSERT_TRUE(store->insert("Programacion", row({{"LNumeroSerie", serial},
                                                       {"TLocal", QStringLiteral("Bar %1").arg(serial)},
                                                       {"TTelefono", QStringLiteral("93%1").arg(serial)},
                                                       {"TVersion", QStringLiteral("3.1")},
                                                       {"THoraEmpiezaNoche", nightStart},
                                                       {"THoraTerminaNoche", nightEnd}})));
    }
    void addEntry(qint32 serial, const char* action, const QDateTime& at, const char* outcome = "completed",
                  const QString& counts = {})
    {
        const test::PastJournalTriggers past(*db);
        QSqlQuery q(db->connection());
        q.prepare(QStringLiteral("INSERT INTO \"Diario\" (\"TFechaHora\", \"TAccion\", \"LNumeroSerie\", "
                                 "\"TResultado\", \"TRecuentos\") VALUES (?, ?, ?, ?, ?)"));
        for (const QVariant& v : QVariantList{at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")),
                                              QString::fromLatin1(action), serial, QString::fromLatin1(outcome),
                                              counts})
            q.addBindValue(v);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }
    void addEvent(qint32 serial, EventKind kind, const QDateTime& at)
    {
        ASSERT_TRUE(records->storeEvent(serial, EventDate{kind, at}).ok());
    }
    Result<Stored> addInterval(qint32 serial, const QDateTime& start, int venue, int neighbour = 0)
    {
        IntervalRecord r;
        r.start = start;
        r.end = start.addSecs(15 * 60);
        r.leqMinutes = 15;
        r.passesVenue = std::int16_t(venue);
        r.passesNeighbour = std::int16_t(neighbour);
        return records->storeInterval(serial, r);
    }
    FleetUnit unit(qint32 serial)
    {
        const std::vector<FleetUnit> units = take(loadFleet(*db, options));
        for (const FleetUnit& u : units)
            if (u.serial == serial)
                return u;
        ADD_FAILURE() << "no unit " << serial;
        return {};
    }
    // The marked nights of a unit: "yyyy-MM-dd LV" with L and V as 0 or 1.
    QStringList nights(qint32 serial)
    {
        QSqlQuery q(db->connection());
        q.prepare(QStringLiteral("SELECT \"DNoche\", \"BoLocal\", \"BoVecino\" FROM \"NochesExcedidas\" "
                                 "WHERE \"LNumeroSerie\" = ? ORDER BY \"DNoche\""));
        q.addBindValue(serial);
        EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
        QStringList marks;
        while (q.next())
            marks << QStringLiteral("%1 %2%3")
                         .arg(q.value(0).toDate().toString(Qt::ISODate))
                         .arg(int(q.value(1).toBool()))
                         .arg(int(q.value(2).toBool()));
        return marks;
    }
    int count(const QString& sql)
    {
        QSqlQuery q(db->connection());
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        return q.next() ? q.value(0).toInt() : -1;
    }
};

FleetUnit rated(int tamper, std::optional<int> days, int nights, int staleDays = 30)
{
    FleetUnit u;
    u.erasuresSincePrevious = tamper > 0 ? 1 : 0;
    u.batteryEndsSincePrevious = tamper > 1 ? 2 : 0;
    u.reprogrammedElsewhere = tamper > 2;
    u.journalOk = tamper <= 3;
    u.daysSinceDownload = days;
    u.exceedanceNights = nights;
    FleetOptions o;
    o.staleDays = staleDays;
    rateFleetUnit(u, o);
    return u;
}

QStringList words(const FleetUnit& u)
{
    QStringList w;
    for (FleetReason r : u.reasons)
        w << fleetReasonWord(r);
    return w;
}

} // namespace

TEST(FleetRating, TiersWeighStrictlyAndMoreOfASignRanksHigherInsideATier)
{
    EXPECT_EQ(rated(0, 3, 0).urgency, 0);
    EXPECT_TRUE(rated(0, 3, 0).reasons.empty());
    EXPECT_EQ(words(rated(4, std::nullopt, 5)),
              (QStringList{"erased", "battery", "reprogrammed", "journal", "stale", "exceedances"}));
    EXPECT_EQ(words(rated(0, 31, 0)), QStringList{"stale"});
    EXPECT_EQ(words(rated(0, 30, 0)), QStringList()) << "30 days is not more than 30";
    EXPECT_EQ(words(rated(0, 10, 0, 7)), QStringList{"stale"}) << "the stale limit is the caller's";

    // Every tamper case above every stale case above every exceedance case.
    int lowestTamper = INT_MAX, highestStale = 0, lowestStale = INT_MAX, highestNights = 0;
    for (std::optional<int> days : {std::optional<int>(), std::optional<int>(0), std::optional<int>(31),
                                    std::optional<int>(400), std::optional<int>(100000)}) {
        for (int nights : {0, 1, 30, 500}) {
            for (int tamper = 0; tamper <= 4; ++tamper) {
                const FleetUnit u = rated(tamper, days, nights);
                const bool stale = !days || *days > 30;
                if (tamper > 0)
                    lowestTamper = std::min(lowestTamper, u.urgency);
                else if (stale)
                    highestStale = std::max(highestStale, u.urgency), lowestStale = std::min(lowestStale, u.urgency);
                else
                    highestNights = std::max(highestNights, u.urgency);
            }
        }
    }
    EXPECT_GT(lowestTamper, highestStale);
    EXPECT_GT(lowestStale, highestNights);

    EXPECT_GT(rated(2, 3, 0).urgency, rated(1, 500, 30).urgency) << "more signs first";
    EXPECT_GT(rated(1, 90, 0).urgency, rated(1, 40, 0).urgency) << "then older";
    EXPECT_GT(rated(0, std::nullopt, 0).urgency, rated(0, 5000, 0).urgency) << "never read is the oldest";
    EXPECT_GT(rated(0, 40, 3).urgency, rated(0, 40, 2).urgency);
    EXPECT_GT(rated(0, 2, 4).urgency, rated(0, 2, 3).urgency);
    EXPECT_GT(rated(0, 2, 1).urgency, 0);
}

TEST_F(FleetTest, DaysSinceTheNewestDownloadItsOutcomeAndRecordsAndTheNeverReadFirst)
{
    addUnit(100);
    addUnit(200);
    addUnit(300);
    addEntry(100, "download", before(10), "completed", QStringLiteral("intervals 90 0 0"));
    addEntry(100, "download", before(3, 5), "stopped", QStringLiteral("intervals 5 2 1\nsessions 1 0 4"));
    addEntry(100, "transmit", before(1));
    addEntry(300, "download", before(45));

    const std::vector<FleetUnit> units = take(loadFleet(*db, options));
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].serial, 200) << "never read: the most urgent";
    EXPECT_EQ(units[1].serial, 300);
    EXPECT_EQ(units[2].serial, 100);

    const FleetUnit& read = units[2];
    EXPECT_EQ(read.venue, QStringLiteral("Bar 100"));
    EXPECT_EQ(read.phone, QStringLiteral("93100"));
    EXPECT_EQ(read.firmware, QStringLiteral("3.1"));
    ASSERT_TRUE(read.lastDownload);
    EXPECT_EQ(*read.lastDownload, before(3, 5));
    EXPECT_EQ(read.lastOutcome, QStringLiteral("stopped"));
    EXPECT_EQ(read.daysSinceDownload, 3);
    EXPECT_EQ(read.recordsStored, 8);
    EXPECT_EQ(read.urgency, 0);

    EXPECT_FALSE(units[0].lastDownload);
    EXPECT_FALSE(units[0].daysSinceDownload);
    EXPECT_TRUE(units[0].lastOutcome.isEmpty());
    EXPECT_EQ(words(units[0]), QStringList{"stale"});
    EXPECT_EQ(units[1].daysSinceDownload, 45);

    options.staleDays = 50;
    EXPECT_TRUE(unit(300).reasons.empty());
}

TEST_F(FleetTest, EventsCountOnlyAfterTheDownloadBeforeTheNewest)
{
    addUnit(100);
    addUnit(200);
    addEntry(100, "download", before(20));
    addEntry(100, "download", before(10));
    addEntry(100, "download", before(1));
    addEntry(200, "download", before(5));
    addEvent(100, EventKind::Erasure, before(12));      // before the previous download
    addEvent(100, EventKind::Erasure, before(9));       // between the two
    addEvent(100, EventKind::Erasure, before(2));
    addEvent(100, EventKind::BatteryEnd, before(10, -1));
    addEvent(100, EventKind::Reprogramming, before(11));
    addEvent(200, EventKind::Erasure, before(6));       // one download only: nothing to compare with

    const FleetUnit u = unit(100);
    EXPECT_EQ(u.erasuresSincePrevious, 2);
    EXPECT_EQ(u.batteryEndsSincePrevious, 1);
    EXPECT_EQ(u.reprogrammingsSincePrevious, 0);
    EXPECT_EQ(words(u), (QStringList{"erased", "battery"}));
    const FleetUnit other = unit(200);
    EXPECT_EQ(other.erasuresSincePrevious, 0);
    EXPECT_TRUE(other.reasons.empty());
}

TEST_F(FleetTest, AReprogrammingCountsAsElsewhereOnlyPastTheClockMarginAfterOurOwnTransmission)
{
    for (qint32 s : {1, 2, 3, 4})
        addUnit(s);
    for (qint32 s : {1, 2, 3, 4})
        addEntry(s, "download", before(1));
    addEntry(1, "transmit", before(5));
    addEvent(1, EventKind::Reprogramming, before(5).addSecs(5 * 60)); // the unit's clock a little ahead
    addEntry(2, "transmit", before(5));
    addEvent(2, EventKind::Reprogramming, before(5).addSecs(11 * 60));
    addEntry(3, "transmit", before(5));
    addEntry(3, "transmit", before(2), "failed"); // only a completed one counts
    addEvent(3, EventKind::Reprogramming, before(3));
    addEvent(4, EventKind::Reprogramming, before(3)); // never transmitted from here

    EXPECT_FALSE(unit(1).reprogrammedElsewhere);
    EXPECT_TRUE(unit(2).reprogrammedElsewhere);
    EXPECT_EQ(words(unit(2)), QStringList{"reprogrammed"});
    EXPECT_TRUE(unit(3).reprogrammedElsewhere);
    EXPECT_FALSE(unit(4).reprogrammedElsewhere);
}

TEST_F(FleetTest, ExceedanceNightsSpanMidnightAndTheLastThirtyDaysOnly)
{
    addUnit(100);                                        // 22:00 to 06:00
    addUnit(200, QStringLiteral("01:00"), QStringLiteral("05:00"));
    addUnit(300, QString(), QString());                  // no night hours: calendar days
    addEntry(100, "download", before(1));
    addEntry(200, "download", before(1));
    addEntry(300, "download", before(1));
    const QDate day = kNow.date().addDays(-3);
    ASSERT_TRUE(addInterval(100, QDateTime(day, QTime(23, 0)), 2).ok());
    ASSERT_TRUE(addInterval(100, QDateTime(day.addDays(1), QTime(2, 0)), 0, 1).ok()); // same night, next day
    ASSERT_TRUE(addInterval(100, QDateTime(day.addDays(1), QTime(14, 0)), 5).ok());   // in the day
    ASSERT_TRUE(addInterval(100, QDateTime(day.addDays(1), QTime(6, 0)), 5).ok());    // the night has ended
    ASSERT_TRUE(addInterval(100, QDateTime(day.addDays(2), QTime(22, 0)), 0).ok());   // no passes
    ASSERT_TRUE(addInterval(100, QDateTime(kNow.date().addDays(-29), QTime(23, 0)), 1).ok());
    ASSERT_TRUE(addInterval(100, QDateTime(kNow.date().addDays(-30), QTime(23, 0)), 1).ok()); // too old
    ASSERT_TRUE(addInterval(100, QDateTime(kNow.date().addDays(-29), QTime(3, 0)), 1).ok());  // night of day -30

    ASSERT_TRUE(addInterval(200, QDateTime(day, QTime(0, 30)), 1).ok());
    ASSERT_TRUE(addInterval(200, QDateTime(day, QTime(1, 30)), 1).ok());
    ASSERT_TRUE(addInterval(200, QDateTime(day, QTime(23, 30)), 1).ok());

    ASSERT_TRUE(addInterval(300, QDateTime(day, QTime(12, 0)), 1).ok());
    ASSERT_TRUE(addInterval(300, QDateTime(day, QTime(23, 0)), 0, 1).ok());
    ASSERT_TRUE(addInterval(300, QDateTime(day.addDays(1), QTime(1, 0)), 1).ok());

    const QString d = day.toString(Qt::ISODate);
    EXPECT_EQ(nights(100), (QStringList{kNow.date().addDays(-30).toString(Qt::ISODate) + " 10",
                                        kNow.date().addDays(-29).toString(Qt::ISODate) + " 10", d + " 11"}));
    EXPECT_EQ(unit(100).exceedanceNights, 2);
    EXPECT_EQ(words(unit(100)), QStringList{"exceedances"});
    EXPECT_EQ(nights(200), QStringList{d + " 10"});
    EXPECT_EQ(unit(200).exceedanceNights, 1);
    EXPECT_EQ(nights(300), (QStringList{d + " 11", day.addDays(1).toString(Qt::ISODate) + " 10"}));
    EXPECT_EQ(unit(300).exceedanceNights, 2);
}

TEST_F(FleetTest, StoringAnIntervalMarksItsNightInTheSameTransaction)
{
    addUnit(100);
    const QDate day = kNow.date().addDays(-2);
    ASSERT_TRUE(addInterval(100, QDateTime(day, QTime(23, 0)), 3).ok());
    ASSERT_EQ(nights(100), QStringList{day.toString(Qt::ISODate) + " 10"});
    // Rewritten with no passes: the mark stays, the unit did report them.
    EXPECT_EQ(*addInterval(100, QDateTime(day, QTime(23, 0)), 0), Stored::Rewritten);
    EXPECT_EQ(nights(100), QStringList{day.toString(Qt::ISODate) + " 10"});
    // Rewritten with the neighbour's passes: the mark widens.
    EXPECT_EQ(*addInterval(100, QDateTime(day, QTime(23, 0)), 0, 2), Stored::Rewritten);
    EXPECT_EQ(nights(100), QStringList{day.toString(Qt::ISODate) + " 11"});

    // A night that cannot be marked takes its interval down with it.
    QSqlQuery q(db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("DROP TABLE \"NochesExcedidas\"")));
    records = std::make_unique<RecordStore>(*db);
    const Result<Stored> failed = addInterval(100, QDateTime(day.addDays(1), QTime(23, 0)), 1);
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"Intervalos\" WHERE \"DFechaInicio\" > '%1'")
                        .arg(day.toString(Qt::ISODate))),
              0);
    // An interval without passes touches no night.
    EXPECT_TRUE(addInterval(100, QDateTime(day.addDays(1), QTime(23, 15)), 0).ok());
}

TEST_F(FleetTest, ADatabaseWithIntervalsButNoNightTableFillsItOnceOnOpen)
{
    addUnit(100);
    addUnit(200, QString(), QString());
    const QDate day = kNow.date().addDays(-5);
    ASSERT_TRUE(addInterval(100, QDateTime(day, QTime(23, 0)), 1).ok());
    ASSERT_TRUE(addInterval(100, QDateTime(day.addDays(1), QTime(3, 0)), 0, 4).ok());
    ASSERT_TRUE(addInterval(100, QDateTime(day.addDays(1), QTime(12, 0)), 4).ok());
    ASSERT_TRUE(addInterval(200, QDateTime(day, QTime(12, 0)), 0, 1).ok());
    const QStringList marked100 = nights(100);
    const QStringList marked200 = nights(200);
    ASSERT_EQ(marked100, QStringList{day.toString(Qt::ISODate) + " 11"});
    {
        QSqlQuery q(db->connection());
        ASSERT_TRUE(q.exec(QStringLiteral("DROP TABLE \"NochesExcedidas\"")));
        ASSERT_TRUE(q.exec(QStringLiteral("DROP TABLE \"DiarioVerificado\"")));
        // A server database from before them was laid out by an older version.
        EXPECT_TRUE(!db->isServer() || q.exec(QStringLiteral("DROP FUNCTION tvq52_schema_version()")));
    }
    records.reset();
    store.reset();
    db.reset();
    db = home.openDatabase();
    ASSERT_TRUE(db);
    EXPECT_EQ(nights(100), marked100);
    EXPECT_EQ(nights(200), marked200);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"DiarioVerificado\"")), 0);
    store = std::make_unique<Store>(*db);
    records = std::make_unique<RecordStore>(*db);
    addUnit(300);
    EXPECT_EQ(unit(100).exceedanceNights, 1);
}

TEST_F(FleetTest, ABulkRefreshMarksTheNightsOfTheUnitsItIsGivenInOneStatement)
{
    addUnit(100);
    addUnit(200);
    const QDate day = kNow.date().addDays(-4);
    // Written around the store, as a bulk import writes them.
    for (qint32 serial : {100, 200})
        ASSERT_TRUE(store->insert("Intervalos", row({{"LNumeroSerie", serial},
                                                     {"DFechaInicio", day},
                                                     {"THoraInicio", QStringLiteral("23:45")},
                                                     {"IPasadasLocal", 1},
                                                     {"IPasadasVecino", 0}})));
    EXPECT_TRUE(nights(100).isEmpty());
    EXPECT_TRUE(succeeded(refreshExceedanceNights(db->connection(), db->dialect(), QList<qint32>{200})));
    EXPECT_TRUE(nights(100).isEmpty());
    EXPECT_EQ(nights(200), QStringList{day.toString(Qt::ISODate) + " 10"});
    EXPECT_TRUE(succeeded(refreshExceedanceNights(db->connection(), db->dialect())));
    EXPECT_EQ(nights(100), QStringList{day.toString(Qt::ISODate) + " 10"});
    EXPECT_EQ(nights(200), QStringList{day.toString(Qt::ISODate) + " 10"}) << "marked once";
}

TEST_F(FleetTest, TheJournalCheckIsKeptPerUnitAndAnAlteredJournalIsATamperSign)
{
    addUnit(100);
    addUnit(200);
    {
        Journal journal(*db);
        ASSERT_TRUE(journal.append(JournalAction::Download, 100, QStringLiteral("cable"), QStringLiteral("completed"),
                                   {}));
        ASSERT_TRUE(journal.append(JournalAction::Download, 200, QStringLiteral("cable"), QStringLiteral("completed"),
                                   {}));
    }
    EXPECT_TRUE(unit(100).journalOk) << "never checked counts as ok";
    EXPECT_FALSE(unit(100).journalCheckedAt);

    EXPECT_EQ(take(checkFleetJournal(*db)), QList<qint32>{});
    EXPECT_TRUE(unit(100).journalOk);
    ASSERT_TRUE(unit(100).journalCheckedAt);
    EXPECT_LE(qAbs(unit(100).journalCheckedAt->secsTo(QDateTime::currentDateTime())), 60);

    test::exec(*db, QStringLiteral("UPDATE \"Diario\" SET \"TMensaje\" = 'x' WHERE \"LNumeroSerie\" = 200"));
    EXPECT_TRUE(unit(200).journalOk) << "the cache, not the journal, is read";
    EXPECT_EQ(take(checkFleetJournal(*db, 200)), QList<qint32>{200});
    EXPECT_FALSE(unit(200).journalOk);
    EXPECT_TRUE(words(unit(200)).contains(QStringLiteral("journal")));
    EXPECT_TRUE(unit(100).journalOk);
    // Every unit at once: the altered entry is its own unit's finding only.
    EXPECT_EQ(take(checkFleetJournal(*db)), QList<qint32>{200});
    EXPECT_TRUE(unit(100).journalOk);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM \"DiarioVerificado\"")), 2);
    EXPECT_EQ(take(loadFleet(*db, options)).front().serial, 200);
}

TEST(FleetCsv, AHeaderOfTheKeysAndQuotedFieldsWithCommasAndQuotes)
{
    FleetUnit u;
    u.serial = 7;
    u.venue = QStringLiteral("Bar \"Pepe\", Sants");
    u.lastDownload = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
    u.lastOutcome = QStringLiteral("completed");
    u.daysSinceDownload = 40;
    u.erasuresSincePrevious = 1;
    FleetOptions o;
    rateFleetUnit(u, o);
    FleetUnit never;
    never.serial = 8;
    rateFleetUnit(never, o);
    const QStringList lines = QString::fromUtf8(fleetCsv({u, never})).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], fleetKeys().join(QLatin1Char(',')));
    // The date as every JSON date is written.
    EXPECT_EQ(lines[1],
              QStringLiteral("7,\"Bar \"\"Pepe\"\", Sants\",,,%1,completed,40,1,0,0,false,0,"
                             "true,%2,erased;stale")
                  .arg(jsonDateTimeText(*u.lastDownload))
                  .arg(u.urgency));
    EXPECT_EQ(lines[2], QStringLiteral("8,,,,,,,0,0,0,false,0,true,%1,stale").arg(never.urgency));
    EXPECT_TRUE(lines[3].isEmpty());
}
