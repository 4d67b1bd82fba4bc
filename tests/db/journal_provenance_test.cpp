#include "db/database.h"
#include "db/journal.h"
#include "db/store.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::row;
using tvq52::test::TempHome;

namespace {

const QString kProvenance = QStringLiteral("{\"digest\":\"ab\",\"head\":\"cd\"}");

void exec(Database& db, const QString& sql)
{
    QSqlQuery q(db.connection());
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ' ' << q.lastError().text().toStdString();
}

QList<JournalFinding::Kind> kinds(const JournalVerification& v)
{
    QList<JournalFinding::Kind> list;
    for (const JournalFinding& f : v.findings)
        list << f.kind;
    return list;
}

// An import's entry with one record and the provenance its file stated.
qint64 importEntry(Database& db, const QString& provenance, int day = 1)
{
    Journal journal(db);
    const auto entry = journal.open(JournalAction::Import, 0, {}, QByteArray(64, 'e'));
    EXPECT_TRUE(entry) << journal.lastError().toStdString();
    if (!entry)
        return 0;
    const Row erased = row({{"LNumeroSerie", 77}, {"DFecha", QDate(2024, 2, day)}, {"THora", "08:00"}});
    EXPECT_TRUE(Store(db).insert("DiaBorrado", erased));
    EXPECT_TRUE(journal.addRecord(*entry, QStringLiteral("DiaBorrado"), *Store(db).selectOne("DiaBorrado", erased)));
    EXPECT_TRUE(journal.setProvenance(*entry, provenance)) << journal.lastError().toStdString();
    EXPECT_TRUE(journal.seal(*entry, QStringLiteral("completed"), QStringLiteral("in.TQ52")));
    // Once sealed it cannot be given another.
    EXPECT_FALSE(journal.setProvenance(*entry, QStringLiteral("{}")));
    return *entry;
}

} // namespace

TEST(JournalProvenance, ItIsPartOfTheSealedEntryAndAnEditIsFound)
{
    TempHome home;
    home.provision();
    auto db = home.openDatabase();
    ASSERT_TRUE(Store(*db).insert("Programacion", row({{"LNumeroSerie", 77}})));
    const qint64 entry = importEntry(*db, kProvenance);
    Journal journal(*db);
    ASSERT_EQ(journal.entries().value(0).provenance, kProvenance);
    EXPECT_TRUE(journal.verify().findings.isEmpty());

    const auto altered = [&](const QString& value) {
        exec(*db,
             QStringLiteral("UPDATE \"Diario\" SET \"TProcedencia\" = %1 WHERE \"LId\" = %2").arg(value).arg(entry));
        return kinds(journal.verify());
    };
    const QList<JournalFinding::Kind> edited{JournalFinding::Kind::EntryAltered};
    EXPECT_EQ(altered(QStringLiteral("'{\"digest\":\"ab\",\"head\":\"00\"}'")), edited);
    EXPECT_EQ(altered(QStringLiteral("NULL")), edited) << "removing it is an edit too";
    EXPECT_EQ(altered(QStringLiteral("''")), edited);
    EXPECT_TRUE(altered(QStringLiteral("'%1'").arg(kProvenance)).isEmpty());
}

// A journal from before the column: it is added on opening, and every entry
// hashed without it still verifies, an entry without provenance as before.
TEST(JournalProvenance, AnOlderJournalGainsTheColumnAndStillVerifies)
{
    TempHome home;
    home.provision();
    QByteArray oldHead;
    {
        auto db = home.openDatabase();
        ASSERT_TRUE(Store(*db).insert("Programacion", row({{"LNumeroSerie", 77}})));
        Journal journal(*db);
        ASSERT_TRUE(journal.append(JournalAction::UnitDeletion, 77, {}, QStringLiteral("completed"), {}));
        exec(*db, QStringLiteral("ALTER TABLE \"Diario\" DROP COLUMN \"TProcedencia\""));
        oldHead = journal.head();
        if (db->isServer()) {
            EXPECT_EQ(db->inspectSchema(), SchemaState::Partial);
        }
    }
    auto db = home.openDatabase();
    ASSERT_TRUE(db);
    // A server database is laid out again when found partial; a file on opening.
    if (db->isServer()) {
        EXPECT_TRUE(tvq52::test::succeeded(db->layOutSchema()));
    }
    Journal journal(*db);
    EXPECT_EQ(journal.head(), oldHead);
    EXPECT_TRUE(journal.entries().value(0).provenance.isEmpty());
    importEntry(*db, kProvenance);
    importEntry(*db, {}, 2);
    const JournalVerification v = journal.verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
    EXPECT_EQ(journal.entries().value(1).provenance, kProvenance);
    if (db->isServer()) {
        EXPECT_EQ(db->inspectSchema(), SchemaState::Ready);
    }
}
