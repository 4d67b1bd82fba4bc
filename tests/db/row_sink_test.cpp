#include "db/journal.h"
#include "db/row_sink.h"
#include "support/folder_database.h"

#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::FolderDatabaseTest;

namespace {

class RowSinkTest : public FolderDatabaseTest {
protected:
    // Every column of the table, in its own order.
    static SinkTable wholeTable(const char* name)
    {
        SinkTable t;
        t.table = schemaTable(QString::fromLatin1(name));
        for (const ColumnDef& c : t.table->columns)
            t.columns.push_back(&c);
        for (const char* k : t.table->key)
            for (size_t i = 0; i < t.columns.size(); ++i)
                if (qstrcmp(t.columns[i]->name, k) == 0)
                    t.keyIndex.push_back(int(i));
        return t;
    }
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
    const std::optional<qint64> entry = journal.open(JournalAction::Import, 0, {}, QByteArray(64, 'a'));
    ASSERT_TRUE(entry);
    ASSERT_TRUE(sink.prepare({wholeTable("DiaBorrado"), wholeTable("IntervaloInhabil")}, journal, *entry));
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

    EXPECT_EQ(store->count(QStringLiteral("IntervaloInhabil")), 2);
    Row where;
    where.set(QStringLiteral("ByIntervalo"), 2);
    const QList<Row> second = store->select(QStringLiteral("IntervaloInhabil"), where, {});
    ASSERT_EQ(second.size(), 1);
    EXPECT_EQ(second[0].value(QStringLiteral("THoraEmpiezaInt")).toString(), QLatin1String("09:00"))
        << "a present row is never changed";
}
