#include "db/row_sink.h"
#include "evidence/journal.h"
#include "support/folder_database.h"
#include "support/listed_records.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::FolderDatabaseTest;
using tvq52::test::row;

namespace {

class RowSinkTest : public FolderDatabaseTest {
protected:
    static SinkTable wholeTable(const char* name) { return test::wholeSinkTable(name); }
};

struct Refused {
    size_t table;
    qint64 line;
    QString why;
};

} // namespace

// The database's own check refuses a row: only that row, named by its line,
// whether the sink writes row by row or a batch at a time.
TEST_F(RowSinkTest, ARowTheDatabaseRefusesIsToldWithItsLineAndTheOthersAreStoredAndCounted)
{
    Result<std::unique_ptr<RowSink>> opened = openRowSink(*db, 50);
    ASSERT_TRUE(opened) << opened.error().detail.toStdString();
    RowSink& sink = **opened;
    std::vector<Refused> refused;
    sink.onRefused = [&](size_t table, qint64 line, const QString& why) { refused.push_back({table, line, why}); };

    Journal journal(*db);
    const Result<qint64> entry = journal.open(JournalAction::Import, 0, {}, QByteArray(64, 'a'));
    ASSERT_TRUE(entry);
    ASSERT_TRUE(sink.prepare({wholeTable("DiaBorrado"), wholeTable("IntervaloInhabil")}, *entry));
    ASSERT_TRUE(sink.begin());
    auto inhabil = [](int interval, const char* from) {
        return QVariantList{52001,
                            interval,
                            QStringLiteral("L"),
                            QString::fromLatin1(from),
                            QStringLiteral("V"),
                            QStringLiteral("18:00")};
    };
    sink.add(1, 10, inhabil(1, "08:00"));
    sink.add(1, 11, inhabil(300, "08:00")); // a byte the column's check refuses
    sink.add(1, 12, inhabil(2, "09:00"));
    sink.add(1, 13, inhabil(1, "08:00")); // as stored
    sink.add(1, 14, inhabil(2, "10:00")); // the key with other values
    sink.add(0, 15, QVariantList{52001, QStringLiteral("2024-03-05"), QStringLiteral("10:15")});
    sink.finish(15);
    EXPECT_TRUE(sink.listAdded());
    EXPECT_TRUE(journal.seal(*entry, QStringLiteral("completed"), QString()));

    ASSERT_FALSE(sink.failure().failed()) << sink.failure().detail.toStdString();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].table, 1u);
    EXPECT_EQ(refused[0].line, 11);
    EXPECT_FALSE(refused[0].why.isEmpty());
    ASSERT_EQ(sink.counts().size(), 2u);
    EXPECT_EQ(sink.counts()[1].added, 2);
    EXPECT_EQ(sink.counts()[1].present, 1);
    EXPECT_EQ(sink.counts()[1].differs, 1);
    EXPECT_EQ(sink.counts()[0].added, 1);
    EXPECT_EQ(sink.added(), 3);

    EXPECT_EQ(test::take(store->count(QStringLiteral("IntervaloInhabil"))), 2);
    Row where;
    where.set(QStringLiteral("ByIntervalo"), 2);
    const QList<Row> second = test::take(store->select(QStringLiteral("IntervaloInhabil"), where, {}));
    ASSERT_EQ(second.size(), 1);
    EXPECT_EQ(second[0].value(QStringLiteral("THoraEmpiezaInt")).toString(), QLatin1String("09:00"))
        << "a present row is never changed";
}

namespace {

QVariantList inhabilRow(int interval, const char* from)
{
    return QVariantList{52001, interval, QStringLiteral("L"), QString::fromLatin1(from), QStringLiteral("V"),
                        QStringLiteral("18:00")};
}

// The records the entry lists, each with the digest of its stored row; a
// sink that tells the digest of its lines tells the one they have.
qint64 listedRows(Database& db, qint64 entry, RowSink& sink)
{
    QByteArray digest;
    const QStringList listed = test::listedRecords(db, entry, &digest);
    EXPECT_TRUE(listed.filter(QStringLiteral("!")).isEmpty()) << listed.join(QLatin1Char('\n')).toStdString();
    if (!sink.listedLines().isEmpty()) {
        EXPECT_EQ(sink.listedLines(), digest);
    }
    // The server packs its lines itself, in its own form.
    QSqlQuery q(db.connection());
    q.prepare(QStringLiteral("SELECT \"BRegistros\" FROM \"DiarioRegistros\" WHERE \"LEntrada\" = ?"));
    q.addBindValue(entry);
    EXPECT_TRUE(q.exec());
    while (q.next())
        EXPECT_EQ(q.value(0).toByteArray().front(), db.isServer() ? packed_lines::kServerFormat : packed_lines::kFormat);
    return listed.size();
}

} // namespace

// Batches of ten: the second starts with a stored key and holds a row the
// database refuses, the third a key given again with other values and one
// given again as it was. Only the refused row is lost, whichever way the
// backend writes its batches, and every count is the row-by-row one.
TEST_F(RowSinkTest, ARowRefusedInsideABatchLosesNothingElseAndEveryRowIsCountedOnce)
{
    ASSERT_TRUE(store->insert(QStringLiteral("IntervaloInhabil"),
                              row({{"LNumeroSerie", 52001},
                                   {"ByIntervalo", 11},
                                   {"TDiaEmpiezaInt", "L"},
                                   {"THoraEmpiezaInt", "08:00"},
                                   {"TDiaTerminaInt", "V"},
                                   {"THoraTerminaInt", "18:00"}})));
    Result<std::unique_ptr<RowSink>> opened = openRowSink(*db, 10);
    ASSERT_TRUE(opened) << opened.error().detail.toStdString();
    RowSink& sink = **opened;
    std::vector<qint64> refusedLines;
    sink.onRefused = [&](size_t, qint64 line, const QString& why) {
        refusedLines.push_back(line);
        EXPECT_FALSE(why.isEmpty());
    };
    Journal journal(*db);
    const Result<qint64> entry = journal.open(JournalAction::Import, 0, {}, QByteArray(64, 'b'));
    ASSERT_TRUE(entry);
    ASSERT_TRUE(sink.prepare({wholeTable("IntervaloInhabil"), wholeTable("DiaBorrado")}, *entry));
    ASSERT_TRUE(sink.begin());
    for (int i = 1; i <= 25; ++i)
        sink.add(0, 100 + i, inhabilRow(i == 15 ? 300 : i, "08:00"));
    sink.add(0, 126, inhabilRow(3, "09:00"));  // differs from line 103
    sink.add(0, 127, inhabilRow(22, "08:00")); // as line 122
    for (int day = 1; day <= 12; ++day)
        sink.add(1, 200 + day,
                 QVariantList{52001, QDate(2024, 1, day).toString(Qt::ISODate), QStringLiteral("10:00")});
    sink.finish(212);
    ASSERT_TRUE(sink.listAdded());
    ASSERT_FALSE(sink.failure().failed()) << sink.failure().detail.toStdString();
    EXPECT_TRUE(journal.seal(*entry, QStringLiteral("completed"), QString()));

    EXPECT_EQ(refusedLines, std::vector<qint64>{115});
    EXPECT_EQ(sink.counts()[0].added, 23);
    EXPECT_EQ(sink.counts()[0].present, 2); // line 111, the stored key, and line 127
    EXPECT_EQ(sink.counts()[0].differs, 1);
    EXPECT_EQ(sink.counts()[1].added, 12);
    EXPECT_EQ(sink.added(), 35);
    EXPECT_EQ(test::take(store->count(QStringLiteral("IntervaloInhabil"))), 24);
    const QList<Row> third =
        test::take(store->select(QStringLiteral("IntervaloInhabil"), row({{"ByIntervalo", 3}}), {}));
    ASSERT_EQ(third.size(), 1);
    EXPECT_EQ(third[0].value(QStringLiteral("THoraEmpiezaInt")).toString(), QLatin1String("08:00"));
    // The journal lists the record rows added, not the unit's other tables.
    EXPECT_EQ(listedRows(*db, *entry, sink), 12);
    EXPECT_TRUE(journal.verify().findings.isEmpty());

    // Into a sealed entry nothing more is stored.
    Result<std::unique_ptr<RowSink>> late = openRowSink(*db, 10);
    ASSERT_TRUE(late);
    ASSERT_TRUE((*late)->prepare({wholeTable("DiaBorrado")}, *entry));
    ASSERT_TRUE((*late)->begin());
    (*late)->add(0, 300, QVariantList{52001, QStringLiteral("2024-02-01"), QStringLiteral("10:00")});
    (*late)->finish(300);
    EXPECT_TRUE((*late)->failure().failed() || !(*late)->listAdded());
    EXPECT_EQ(test::take(store->count(QStringLiteral("DiaBorrado"))), 12);
}
