#include "db/journal_tables.h"
#include "records/collect_round.h"
#include "support/fake_collect_worker.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;

// The words of every outcome go from a worker to the round and back as the
// same value, a download's as its journal entry says them; a word that is
// none of them is no answer.
TEST(CollectRound, EveryOutcomeCrossesBetweenProcessesAsItself)
{
    for (int k = 0; k <= int(CollectOutcome::LineFailed); ++k) {
        CollectedUnit unit;
        unit.index = k;
        unit.outcome = CollectOutcome(k);
        const auto back = collectedFromJson(collectedJson(unit));
        ASSERT_TRUE(back) << k;
        EXPECT_EQ(back->outcome, unit.outcome) << k;
        EXPECT_EQ(back->index, k);
    }
    for (const JournalOutcome j : {JournalOutcome::Completed, JournalOutcome::Stopped, JournalOutcome::Failed,
                                   JournalOutcome::Cancelled, JournalOutcome::Interrupted})
        EXPECT_EQ(collectOutcomeName(collectOutcome(j)), journalOutcomeName(j));
    QJsonObject garbled = collectedJson(CollectedUnit{});
    garbled[QStringLiteral("outcome")] = QStringLiteral("done");
    EXPECT_FALSE(collectedFromJson(garbled));
}

// Stopped once both lines are on a call: each line's unit is answered as
// stopped by its own worker, the units not yet dealt are never called nor
// counted, and the round says it was stopped.
TEST(CollectRound, AStopMidRoundLeavesEachLinesCallStoppedAndDealsNothingMore)
{
    QTemporaryDir dir;
    const QString worker = test::writeFakeCollectWorker(dir.path());
    ASSERT_FALSE(worker.isEmpty());
    QList<CollectItem> items;
    for (const char* text : {"9777", "9777", "31", "32"})
        items << CollectItem{int(items.size()), int(items.size()) + 1, QString::fromLatin1(text)};
    CollectRound round(items, {QStringLiteral("A"), QStringLiteral("B")},
                       {worker, [](const QString& device) {
                            return QStringList{QStringLiteral("--device"), device};
                        }});
    QStringList takenOn;
    QObject::connect(&round, &CollectRound::unitTaken, [&](int, const QString& device) {
        takenOn << device;
        if (takenOn.size() == 2)
            round.stop();
    });
    int done = 0;
    QObject::connect(&round, &CollectRound::unitDone, [&done] { ++done; });
    const LinesOutcome outcome = round.run();
    EXPECT_FALSE(round.isRunning());
    EXPECT_TRUE(outcome.stopped);
    takenOn.sort();
    EXPECT_EQ(takenOn, (QStringList{"A", "B"}));
    ASSERT_EQ(outcome.units.size(), 2);
    EXPECT_EQ(done, 2);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(outcome.units[k].index, k);
        EXPECT_EQ(outcome.units[k].outcome, CollectOutcome::Stopped);
        EXPECT_FALSE(outcome.units[k].ok);
        EXPECT_FALSE(outcome.units[k].line.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("calls.log")))) << "no call finished";
}
