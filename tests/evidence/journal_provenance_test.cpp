#include "db/database.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "support/folder_database.h"
#include "support/listed_records.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QSqlQuery>
#include <algorithm>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::exec;
using tvq52::test::row;
using tvq52::test::TempHome;

namespace {

const QString kProvenance = QStringLiteral("{\"digest\":\"ab\",\"head\":\"cd\"}");

// An import's entry with one record and the provenance its file stated.
qint64 importEntry(Database& db, const QString& provenance, int day)
{
    Journal journal(db);
    const auto entry = journal.open(JournalAction::Import, 0, {}, QByteArray(64, 'e'));
    EXPECT_TRUE(test::succeeded(entry.status()));
    const Row erased = row({{"LNumeroSerie", 77}, {"DFecha", QDate(2024, 2, day)}, {"THora", "08:00"}});
    EXPECT_TRUE(Store(db).insert("DiaBorrado", erased));
    EXPECT_TRUE(journal.addRecord(*entry, QStringLiteral("DiaBorrado"),
                                  *test::take(Store(db).selectOne("DiaBorrado", erased))));
    EXPECT_TRUE(test::succeeded(journal.setProvenance(*entry, provenance)));
    EXPECT_TRUE(journal.seal(*entry, QStringLiteral("completed"), QStringLiteral("in.TQ52")));
    EXPECT_FALSE(journal.setProvenance(*entry, QStringLiteral("{}"))) << "a sealed entry takes none";
    return *entry;
}

} // namespace

// A journal from before the column gains it on opening and its entries still
// verify; an entry's provenance is in its hash, so any edit of it is found.
TEST(JournalProvenance, AnOlderJournalGainsTheColumnAndAnEditedProvenanceIsFound)
{
    TempHome home;
    home.provision();
    {
        auto db = home.openDatabase();
        ASSERT_TRUE(Store(*db).insert("Programacion", row({{"LNumeroSerie", 77}})));
        ASSERT_TRUE(Journal(*db).append(JournalAction::UnitDeletion, 77, {}, QStringLiteral("completed"), {}));
        exec(*db, QStringLiteral("ALTER TABLE \"Diario\" DROP COLUMN \"TProcedencia\""));
    }
    auto db = home.openDatabase();
    // A server database found partial is laid out again; a file on opening.
    if (db->isServer()) {
        EXPECT_TRUE(tvq52::test::succeeded(db->layOutSchema()));
    }
    const qint64 entry = importEntry(*db, kProvenance, 1);
    importEntry(*db, {}, 2);
    Journal journal(*db);
    EXPECT_EQ(journal.entries().value().value(1).provenance, kProvenance);
    const JournalVerification v = journal.verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();

    const auto findingsAfter = [&](const QString& value) {
        exec(*db,
             QStringLiteral("UPDATE \"Diario\" SET \"TProcedencia\" = %1 WHERE \"LId\" = %2").arg(value).arg(entry));
        QList<JournalFinding::Kind> kinds;
        for (const JournalFinding& f : journal.verify().findings)
            kinds << f.kind;
        return kinds;
    };
    const QList<JournalFinding::Kind> altered{JournalFinding::Kind::EntryAltered};
    EXPECT_EQ(findingsAfter(QStringLiteral("'{\"digest\":\"ab\",\"head\":\"00\"}'")), altered);
    EXPECT_EQ(findingsAfter(QStringLiteral("NULL")), altered) << "removing it is an edit too";
    EXPECT_TRUE(findingsAfter(QStringLiteral("'%1'").arg(kProvenance)).isEmpty());
}

// Entries sealed before their lines digest was kept get it from the first
// check that read their lines and verified them, and scoped checks then
// leave their lines alone; an altered entry keeps none, and a database
// opened to read is not written.
TEST(JournalProvenance, OlderEntriesKeepTheirLinesDigestOnceVerifiedUnlessAltered)
{
    TempHome home;
    home.provision();
    qint64 first = 0, second = 0;
    {
        auto db = home.openDatabase();
        ASSERT_TRUE(Store(*db).insert("Programacion", row({{"LNumeroSerie", 77}})));
        first = importEntry(*db, {}, 1);
        second = importEntry(*db, {}, 2);
        exec(*db, QStringLiteral("ALTER TABLE \"Diario\" DROP COLUMN \"THuellaLineas\""));
    }
    auto db = home.openDatabase();
    if (db->isServer()) {
        EXPECT_TRUE(tvq52::test::succeeded(db->layOutSchema()));
    }
    const auto kept = [&](qint64 entry) {
        QSqlQuery q(db->connection());
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT \"THuellaLineas\" FROM \"Diario\" WHERE \"LId\" = %1").arg(entry)));
        return q.next() ? q.value(0).toString().toLatin1() : QByteArray("none");
    };
    ASSERT_TRUE(kept(first).isEmpty() && kept(second).isEmpty());
    Journal journal(*db);
    if (!db->isServer()) {
        auto reading = Database::openSqlite(db->path(), DatabaseAccess::ReadOnly);
        ASSERT_TRUE(reading);
        EXPECT_TRUE(Journal(**reading).verify().findings.isEmpty());
        EXPECT_TRUE(kept(first).isEmpty()) << "opened to read: nothing written";
    }

    exec(*db, QStringLiteral("UPDATE \"Diario\" SET \"TMensaje\" = 'x' WHERE \"LId\" = %1").arg(second));
    JournalVerification v = journal.verify();
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].entry, second);
    if (db->isServer()) {
        EXPECT_TRUE(kept(first).isEmpty()) << "a server's sealed entries are never written again";
        return;
    }
    QByteArray lines;
    tvq52::test::listedRecords(*db, first, &lines);
    EXPECT_EQ(kept(first), lines);
    EXPECT_TRUE(kept(second).isEmpty()) << "an altered entry keeps no digest";
    // Another unit's check reads the altered entry's line for the chain, no more.
    EXPECT_EQ(journal.verify(78).linesRead, 1);

    exec(*db, QStringLiteral("UPDATE \"Diario\" SET \"TMensaje\" = 'in.TQ52' WHERE \"LId\" = %1").arg(second));
    EXPECT_TRUE(journal.verify(78).findings.isEmpty());
    EXPECT_FALSE(kept(second).isEmpty());
    v = journal.verify(78);
    EXPECT_TRUE(v.findings.isEmpty());
    EXPECT_EQ(v.linesRead, 0);
    // The digest kept still binds the lines.
    exec(*db, QStringLiteral("UPDATE \"DiarioRegistros\" SET \"TClave\" = '77 2024-02-03 08:00' WHERE \"LEntrada\" = %1")
                  .arg(first));
    const QList<JournalFinding> found = journal.verify(77).findings;
    EXPECT_TRUE(std::any_of(found.cbegin(), found.cend(), [&](const JournalFinding& f) {
        return f.kind == JournalFinding::Kind::EntryAltered && f.entry == first;
    }));
}
