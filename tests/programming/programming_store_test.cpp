#include "evidence/journal.h"
#include "programming_fixture.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QSqlQuery>

using namespace tvq52;
using tvq52::test::ProgrammingDatabase;
using tvq52::test::row;

using ProgrammingStore = ProgrammingDatabase;

TEST_F(ProgrammingStore, SavingAnExistingSerialTwiceKeepsOneRowAndItsTotals)
{
    ProgrammingRecord r = saveUnit(4711, QStringLiteral("Bar Central"));
    const Row totals =
        row({{"LPasadasLocal", 17}, {"LCB", 3}, {"THoraTotales", "11:12:13"}, {"DFechaTotales", QDate(2009, 1, 2)}});
    const Row key = row({{"LNumeroSerie", 4711}});
    ASSERT_EQ(test::take(store_->update(QStringLiteral("Programacion"), totals, key)), 1);

    r.venue = QStringLiteral("Bar Nuevo");
    ASSERT_TRUE(saveProgramming(*store_, r, unusedIntervals()));
    ASSERT_TRUE(saveProgramming(*store_, r, unusedIntervals()));

    EXPECT_EQ(test::take(store_->count(QStringLiteral("Programacion"))), 1);
    const Row row = *test::take(store_->selectOne(QStringLiteral("Programacion"), key));
    EXPECT_EQ(row.value(QStringLiteral("TLocal")).toString(), QStringLiteral("Bar Nuevo"));
    EXPECT_EQ(row.value(QStringLiteral("LPasadasLocal")).toInt(), 17);
    EXPECT_EQ(row.value(QStringLiteral("LCB")).toInt(), 3);
    EXPECT_EQ(row.value(QStringLiteral("THoraTotales")).toString(), QStringLiteral("11:12:13"));
    EXPECT_EQ(row.value(QStringLiteral("DFechaTotales")).toDate(), QDate(2009, 1, 2));
    EXPECT_EQ(test::take(store_->count(QStringLiteral("IntervaloInhabil"), key)), 30);
}

TEST_F(ProgrammingStore, ANewRowStartsItsTotalsTodayAtZero)
{
    saveUnit(12);
    const Row row = test::take(store_->select(QStringLiteral("Programacion"))).front();
    EXPECT_EQ(row.value(QStringLiteral("DFechaTotales")).toDate(), QDate::currentDate());
    EXPECT_EQ(row.value(QStringLiteral("THoraTotales")).toString().size(), 8);
    for (const char* c : {"LPasadasLocal", "LPasadasVecino", "LE3", "LCB"}) {
        EXPECT_TRUE(row.value(QString::fromUtf8(c)).isValid()) << c;
        EXPECT_EQ(row.value(QString::fromUtf8(c)).toInt(), 0) << c;
    }
    EXPECT_EQ(row.value(QStringLiteral("TModelo")).toString(), QStringLiteral("TVQ52"));
}

TEST_F(ProgrammingStore, EveryFieldAndIntervalComesBackAsSaved)
{
    ProgrammingRecord r = defaultProgramming(QDate(2012, 2, 29));
    r.serial = 2147483647;
    r.contact = QStringLiteral("Ana O'Neill");
    r.note = QStringLiteral("línea 1\nlínea 2");
    r.version = QStringLiteral("4.0");
    r.language = QStringLiteral("Français");
    r.clockChange = false;
    r.continuousPrinting = true;
    r.venueAction = {ActionType::Leq125ms, {}};
    r.neighbourAction = {ActionType::None, {}};
    r.sessions[6] = {QStringLiteral("--:--"), QStringLiteral("--:--")};
    r.nightStart = QStringLiteral("23:00");
    r.nightLimitNeighbour = 0;
    r.attenuationSeconds = 9999;
    r.octaves[0] = 999.9f;
    r.octaves[8] = 12.5f;
    r.globalCorrection = true;
    ProgIntervals intervals = unusedIntervals();
    intervals[0] = {QStringLiteral("01/02/10"), QStringLiteral("10:00"), QStringLiteral("03/02/10"),
                    QStringLiteral("12:30")};
    intervals[29] = {QStringLiteral("24/12/10"), QStringLiteral("00:00"), QStringLiteral("26/12/10"),
                     QStringLiteral("23:59")};
    ASSERT_TRUE(saveProgramming(*store_, r, intervals));

    const auto loaded = test::take(loadProgramming(*store_, r.serial));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->record, r);
    EXPECT_EQ(loaded->intervals, intervals);
    EXPECT_FALSE(test::take(loadProgramming(*store_, 99)));
}

TEST_F(ProgrammingStore, GlobalCorrectionIsWrittenOnlyFromVersion40)
{
    ProgrammingRecord r = saveUnit(7);
    r.version = QStringLiteral("3.9");
    r.globalCorrection = true;
    ASSERT_TRUE(saveProgramming(*store_, r, unusedIntervals()));
    EXPECT_FALSE(test::take(loadProgramming(*store_, 7))->record.globalCorrection);
    r.version = QStringLiteral("4.0");
    ASSERT_TRUE(saveProgramming(*store_, r, unusedIntervals()));
    EXPECT_TRUE(test::take(loadProgramming(*store_, 7))->record.globalCorrection);
    // An older unit's save leaves the stored flag alone.
    r.version = QStringLiteral("3.2");
    r.globalCorrection = false;
    ASSERT_TRUE(saveProgramming(*store_, r, unusedIntervals()));
    EXPECT_TRUE(test::take(store_->selectOne(QStringLiteral("Programacion"), row({{"LNumeroSerie", 7}})))
                    ->value(QStringLiteral("CMI"))
                    .toBool());
}

TEST_F(ProgrammingStore, MissingIntervalRowsLoadAsUnusedAndAFailedSaveLeavesNothing)
{
    saveUnit(55);
    ASSERT_GT(
        test::take(store_->remove(QStringLiteral("IntervaloInhabil"), row({{"LNumeroSerie", 55}, {"ByIntervalo", 3}}))),
        0);
    EXPECT_TRUE(test::take(loadProgramming(*store_, 55))->intervals[2].isUnused());

    // A limit the Byte column cannot hold makes the whole save fail.
    ProgrammingRecord bad = defaultProgramming();
    bad.serial = 56;
    bad.dayLimitVenue = 300;
    const Status saved = saveProgramming(*store_, bad, unusedIntervals());
    ASSERT_FALSE(saved);
    EXPECT_FALSE(untranslatedText(saved.error()).isEmpty());
    const Row key = row({{"LNumeroSerie", 56}});
    EXPECT_EQ(test::take(store_->count(QStringLiteral("Programacion"), key)), 0);
    EXPECT_EQ(test::take(store_->count(QStringLiteral("IntervaloInhabil"), key)), 0);
}

// The deletion's entry is written inside the deletion's transaction, on
// either backend, and verifies on the chain after an earlier entry.
TEST_F(ProgrammingStore, DeletingAUnitJournalsItInTheSameTransaction)
{
    saveUnit(4711);
    saveUnit(4712);
    Journal journal(*db_);
    ASSERT_TRUE(
        journal.append(JournalAction::ProgramReceive, 4711, QStringLiteral("cable"), QStringLiteral("completed"), {}));
    ASSERT_TRUE(test::succeeded(deleteUnitWithEntry(*db_, 4711)));
    EXPECT_EQ(test::take(store_->count(QStringLiteral("Programacion"))), 1);
    EXPECT_EQ(test::take(store_->count(QStringLiteral("IntervaloInhabil"))), 30);
    EXPECT_EQ(journal.entries(4711).value().value(0).action, JournalAction::UnitDeletion);
    EXPECT_TRUE(journal.verify().findings.isEmpty());
}
