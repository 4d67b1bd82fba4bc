#include "db/database.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QSqlQuery>
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
    EXPECT_TRUE(entry) << journal.lastError().toStdString();
    const Row erased = row({{"LNumeroSerie", 77}, {"DFecha", QDate(2024, 2, day)}, {"THora", "08:00"}});
    EXPECT_TRUE(Store(db).insert("DiaBorrado", erased));
    EXPECT_TRUE(journal.addRecord(*entry, QStringLiteral("DiaBorrado"), *Store(db).selectOne("DiaBorrado", erased)));
    EXPECT_TRUE(journal.setProvenance(*entry, provenance)) << journal.lastError().toStdString();
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
    EXPECT_EQ(journal.entries().value(1).provenance, kProvenance);
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
