#include "app/data_folder.h"
#include "db/database.h"
#include "db/journal_codec.h"
#include "db/packed_lines.h"
#include "db/schema.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "evidence/listing_table.h"
#include "records/record_store.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QCryptographicHash>
#include <QSet>
#include <QSqlQuery>
#include <QSqlRecord>
#include <atomic>
#include <gtest/gtest.h>
#include <limits>
#include <thread>

using namespace tvq52;
using tvq52::test::FolderDatabaseTest;
using tvq52::test::onServerBackend;
using tvq52::test::row;
using tvq52::test::spanRow;
using tvq52::test::TempHome;

namespace {

constexpr qint32 kSerial = 1234;

IntervalRecord intervalEnding(int hour, int minute, float leq)
{
    IntervalRecord r;
    r.end = wallClock(QDate(2010, 3, 15), QTime(hour, minute));
    r.leqMinutes = 15;
    r.start = r.end.addSecs(-15 * 60);
    r.leqVenue = leq;
    r.leqNeighbour = 45.2f;
    r.stats.maxLeq1At = r.stats.minLeq1At = r.end;
    r.actionVenue = QStringLiteral("Leq125ms");
    r.actionNeighbour = QStringLiteral("0");
    r.dna = 1;
    return r;
}

class JournalTest : public FolderDatabaseTest {
protected:
    std::unique_ptr<Journal> journal;
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FolderDatabaseTest::SetUp());
        journal = std::make_unique<Journal>(*db);
        // Records are only stored for a unit the database holds.
        ASSERT_TRUE(store->insert("Programacion", row({{"LNumeroSerie", kSerial}})));
    }
    // A download's entry with three intervals and an event date.
    qint64 download(float leq)
    {
        const auto entry = journal->open(JournalAction::Download, kSerial, QStringLiteral("cable"));
        EXPECT_TRUE(test::succeeded(entry.status()));
        RecordStore records(*db);
        records.setJournalEntry(journal.get(), *entry);
        for (int i = 0; i < 3; ++i) {
            const Result<Stored> stored = records.storeInterval(kSerial, intervalEnding(10, 15 * i, leq + float(i)));
            EXPECT_TRUE(stored) << (stored ? std::string() : stored.error().detail.toStdString());
        }
        EXPECT_TRUE(records.storeEvent(kSerial, {EventKind::Erasure, wallClock(QDate(2010, 3, 1), QTime(9, 0))}));
        TotalsReading totals;
        totals.passesVenue = 300;
        totals.sensorInactive = 1;
        totals.erasures = 7;
        totals.readAt = wallClock(QDate(2010, 3, 15), QTime(10, 30, 5));
        const Status stored = records.storeTotals(kSerial, totals);
        EXPECT_TRUE(stored) << (stored ? std::string() : stored.error().detail.toStdString());
        EXPECT_TRUE(journal->seal(*entry, QStringLiteral("completed"), QStringLiteral("Datos recibidos"),
                                  QStringLiteral("Intervalos 3 0 0"), kTotals));
        return *entry;
    }
    // As the download workflow writes the totals it read.
    const QString kTotals = QStringLiteral(
        "passes-venue 300\nsensor-inactive 1\nerasures 7\npasses-neighbour 0\nread-at 2010-03-15 10:30:05");
    QList<JournalFinding::Kind> kinds(const JournalVerification& v)
    {
        QList<JournalFinding::Kind> list;
        for (const JournalFinding& f : v.findings)
            list << f.kind;
        return list;
    }
    // A row as the database gives it back.
    Row rawRow(const QString& sql)
    {
        QSqlQuery q(db->connection());
        Row r;
        EXPECT_TRUE(q.exec(sql) && q.next()) << sql.toStdString();
        for (int i = 0; i < q.record().count(); ++i)
            r.set(q.record().fieldName(i), q.value(i));
        return r;
    }
};

} // namespace

TEST_F(JournalTest, ADownloadVerifiesAndAHandEditedLevelIsNamed)
{
    const qint64 entry = download(80.0f);
    JournalVerification v = journal->verify();
    EXPECT_TRUE(v.findings.isEmpty());
    EXPECT_EQ(v.recordsChecked, 4);
    EXPECT_EQ(v.recordsNotJournaled, 0);
    EXPECT_EQ(v.head, journal->head().value());
    ASSERT_EQ(journal->entries().value().size(), 1);
    EXPECT_EQ(journal->entries().value()[0].hash, journal->head().value());
    EXPECT_EQ(journal->entries().value()[0].line, QStringLiteral("cable"));
    EXPECT_EQ(journal->entries().value()[0].totals, kTotals);

    // A row added by hand has no provenance: a finding, not a count.
    ASSERT_TRUE(store->insert("DiaReprogramado",
                              row({{"LNumeroSerie", kSerial}, {"DFecha", QDate(2009, 1, 1)}, {"THora", "08:00"}})));
    v = journal->verify();
    EXPECT_EQ(v.recordsNotJournaled, 1);
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::NoProvenance);
    EXPECT_EQ(v.findings[0].table, QStringLiteral("DiaReprogramado"));
    EXPECT_EQ(v.findings[0].key, QStringLiteral("1234 2009-01-01 08:00"));
    exec(QStringLiteral("DELETE FROM \"DiaReprogramado\""));

    // Levels are compared as stored: 0.04 dB is an edit.
    exec(QStringLiteral(
        "UPDATE \"Intervalos\" SET \"SLeqLocal\" = \"SLeqLocal\" + 0.04 WHERE \"THoraInicio\" = '10:00'"));
    v = journal->verify();
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::RecordEdited);
    EXPECT_EQ(v.findings[0].entry, entry);
    EXPECT_EQ(v.findings[0].table, QStringLiteral("Intervalos"));
    EXPECT_EQ(v.findings[0].key, QStringLiteral("1234 2010-03-15 10:00"));
    // Another unit's verification does not see it.
    EXPECT_TRUE(journal->verify(kSerial + 1).findings.isEmpty());
}

TEST_F(JournalTest, StoredTotalsAreComparedWithTheNewestDownloadThatReadThem)
{
    const qint64 entry = download(80.0f);
    EXPECT_TRUE(journal->verify().findings.isEmpty());
    exec(QStringLiteral("UPDATE \"Programacion\" SET \"LPasadasLocal\" = 299"));
    JournalVerification v = journal->verify();
    ASSERT_EQ(kinds(v), QList{JournalFinding::Kind::TotalsDiffer});
    EXPECT_EQ(v.findings[0].entry, entry);
    EXPECT_EQ(v.findings[0].key, QString::number(kSerial));
    exec(QStringLiteral("UPDATE \"Programacion\" SET \"LPasadasLocal\" = 300, \"THoraTotales\" = '10:31:05'"));
    EXPECT_EQ(kinds(journal->verify()), QList{JournalFinding::Kind::TotalsDiffer});
    // A later download's totals are the ones to match.
    exec(QStringLiteral("UPDATE \"Programacion\" SET \"THoraTotales\" = '10:30:05'"));
    download(80.0f);
    EXPECT_TRUE(journal->verify().findings.isEmpty());
}

TEST_F(JournalTest, AnOpenEntryMadeByHandIsNeitherTrustedNorSealed)
{
    download(80.0f);
    // The edited value's hash in an entry inserted by hand and never sealed.
    exec(QStringLiteral("UPDATE \"Intervalos\" SET \"SLeqLocal\" = 70 WHERE \"THoraInicio\" = '10:00'"));
    const Row edited = rawRow(QStringLiteral("SELECT * FROM \"Intervalos\" WHERE \"THoraInicio\" = '10:00'"));
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(canonicalRowText(QStringLiteral("Intervalos"), edited).toUtf8(),
                                                     QCryptographicHash::Sha256)
                                .toHex());
    exec(
        QStringLiteral("INSERT INTO \"Diario\" (\"LId\", \"TFechaHora\", \"TAccion\", \"LNumeroSerie\", "
                       "\"TLinea\", \"IVersion\") VALUES (900, '2010-03-16T08:00:00', 'download', 1234, 'cable', 2)"));
    exec(QStringLiteral("INSERT INTO \"DiarioRegistros\" (\"LEntrada\", \"TTabla\", \"TClave\", \"THuella\") "
                        "VALUES (900, 'Intervalos', '1234 2010-03-15 10:00', '%1')")
             .arg(digest));
    JournalVerification v = journal->verify();
    EXPECT_TRUE(kinds(v).contains(JournalFinding::Kind::EntryNotOpened));
    EXPECT_TRUE(kinds(v).contains(JournalFinding::Kind::RecordEdited));

    // The next exchange does not seal it into the chain.
    ASSERT_TRUE(
        journal->append(JournalAction::Download, kSerial, QStringLiteral("cable"), QStringLiteral("failed"), {}));
    EXPECT_EQ(journal->unlinkedOpenEntries(), QList<qint64>{900});
    for (const QList<JournalEntry> all = journal->entries().value(); const JournalEntry& e : all) {
        if (e.id == 900) {
            EXPECT_FALSE(e.sealed());
        }
    }
    v = journal->verify();
    EXPECT_TRUE(kinds(v).contains(JournalFinding::Kind::EntryNotOpened));
    EXPECT_TRUE(kinds(v).contains(JournalFinding::Kind::RecordEdited));
}

// On a server the journal is the server's: the login's own SQL changes
// nothing, another login can neither list lines in an entry nor seal it,
// and the login and time the server gave an entry are in its hash.
TEST_F(JournalTest, OnAServerOnlyTheOpeningLoginSealsItsEntryOnceAndNothingElseChanges)
{
    if (!db->isServer())
        GTEST_SKIP() << "a file has one user; its evidence is the chain and the PC's key";
    const qint64 sealed = download(80.0f);
    const auto opened = journal->open(JournalAction::Download, kSerial, QStringLiteral("cable"));
    ASSERT_TRUE(opened);
    const QString other = db->target().database + QStringLiteral("_other");
    struct DroppedRole {
        Database& db;
        QString name;
        ~DroppedRole()
        {
            QSqlQuery q(db.connection());
            q.exec(QStringLiteral("DROP OWNED BY %1").arg(quoteIdentifier(name)));
            q.exec(QStringLiteral("DROP ROLE IF EXISTS %1").arg(quoteIdentifier(name)));
        }
    } dropped{*db, other};
    const QString role = quoteIdentifier(other);
    exec(QStringLiteral("CREATE ROLE %1 LOGIN").arg(role));
    exec(QStringLiteral("GRANT ALL ON ALL TABLES IN SCHEMA public TO %1").arg(role));
    exec(QStringLiteral("GRANT ALL ON ALL SEQUENCES IN SCHEMA public TO %1").arg(role));
    exec(QStringLiteral("GRANT EXECUTE ON ALL FUNCTIONS IN SCHEMA public TO %1").arg(role));
    DatabaseTarget asOther = db->target();
    asOther.user = other;
    {
        auto otherDb = Database::openServer(asOther, {});
        ASSERT_TRUE(otherDb) << otherDb.error().detail.toStdString();
        const QString line = QStringLiteral("INSERT INTO \"DiarioRegistros\" (\"LEntrada\", \"TTabla\", \"TClave\", "
                                            "\"THuella\") VALUES (%1, 'Intervalos', '1234 2010-03-15 11:00', 'x')");
        const QString seal = QStringLiteral("UPDATE \"Diario\" SET \"THash\" = 'x', \"TResultado\" = 'completed' "
                                            "WHERE \"LId\" = %1");
        struct Refused {
            Database& as;
            QString sql;
        };
        for (const Refused& c : {
                 Refused{*db, QStringLiteral("DELETE FROM \"Diario\" WHERE \"LId\" = %1").arg(sealed)},
                 Refused{*db, QStringLiteral("UPDATE \"Diario\" SET \"TMensaje\" = 'x' WHERE \"LId\" = %1").arg(sealed)},
                 Refused{*db, seal.arg(sealed)},
                 Refused{*db, QStringLiteral("UPDATE \"Diario\" SET \"TUsuario\" = 'x' WHERE \"LId\" = %1").arg(*opened)},
                 Refused{*db, QStringLiteral("DELETE FROM \"DiarioRegistros\" WHERE \"LEntrada\" = %1").arg(sealed)},
                 Refused{*db, QStringLiteral("UPDATE \"DiarioRegistros\" SET \"THuella\" = 'x'")},
                 Refused{*db, QStringLiteral("TRUNCATE \"DiarioRegistros\"")},
                 Refused{*db, line.arg(sealed)},
                 Refused{**otherDb, seal.arg(*opened)},
                 Refused{**otherDb, line.arg(*opened)},
                 Refused{**otherDb, QStringLiteral("DELETE FROM \"Diario\" WHERE \"LId\" = %1").arg(*opened)},
             }) {
            QSqlQuery q(c.as.connection());
            EXPECT_FALSE(q.exec(c.sql)) << c.sql.toStdString();
            EXPECT_EQ(q.lastError().nativeErrorCode(), QStringLiteral("42501")) << c.sql.toStdString();
        }
        EXPECT_FALSE(Journal(**otherDb).seal(*opened, QStringLiteral("completed"), {}).ok());
    }
    EXPECT_TRUE(journal->seal(*opened, QStringLiteral("completed"), {}).ok());
    EXPECT_FALSE(journal->seal(*opened, QStringLiteral("failed"), {}).ok()) << "sealed once";
    EXPECT_EQ(test::countRows(*db, QStringLiteral("SELECT count(*) FROM \"Diario\"")), 2);

    QSqlQuery q(db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT session_user")) && q.next());
    const JournalEntry e = journal->entries().value()[0];
    EXPECT_EQ(e.user, q.value(0).toString());
    EXPECT_LE(qAbs(e.at.secsTo(QDateTime::currentDateTime())), 120);
    EXPECT_TRUE(journal->verify().findings.isEmpty());
    exec(QStringLiteral("UPDATE \"Diario\" SET \"TUsuario\" = 'someone' WHERE \"LId\" = %1").arg(*opened));
    const JournalVerification v = journal->verify();
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::EntryAltered);
    EXPECT_EQ(v.findings[0].entry, *opened);
}

TEST_F(JournalTest, AKeptHeadMustStillBeInTheChain)
{
    download(80.0f);
    const QByteArray kept = journal->head().value();
    download(81.0f);
    EXPECT_NE(journal->head().value(), kept);
    EXPECT_TRUE(journal->verify(std::nullopt, kept).findings.isEmpty());
    EXPECT_EQ(kinds(journal->verify(std::nullopt, QByteArray(64, 'a'))), QList{JournalFinding::Kind::HeadMissing});

    // The journal emptied: no head is there any more, and nothing has provenance.
    exec(QStringLiteral("DELETE FROM \"DiarioRegistros\""));
    exec(QStringLiteral("DELETE FROM \"Diario\""));
    const JournalVerification v = journal->verify(std::nullopt, kept);
    EXPECT_TRUE(kinds(v).contains(JournalFinding::Kind::HeadMissing));
    EXPECT_TRUE(kinds(v).contains(JournalFinding::Kind::NoProvenance));
    EXPECT_TRUE(v.head.isEmpty());
}

TEST_F(JournalTest, AnAttemptThatNeverIdentifiedAUnitIsAnUnknownUnit)
{
    ASSERT_TRUE(journal->append(JournalAction::Download, std::numeric_limits<qint32>::min(), QStringLiteral("cable"),
                                QStringLiteral("failed"), QStringLiteral("Sin respuesta")));
    ASSERT_EQ(journal->entries().value().size(), 1);
    EXPECT_EQ(journal->entries().value()[0].serial, 0);
    QSqlQuery q(db->connection());
    ASSERT_TRUE(q.exec("SELECT count(*) FROM \"Diario\" WHERE \"LNumeroSerie\" IS NULL") && q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);
    EXPECT_TRUE(journal->verify().findings.isEmpty());
}

TEST_F(JournalTest, EntriesHashedInTheFirstFormStillVerify)
{
    download(80.0f);
    // An entry as the first form wrote it: levels to 0.1 dB in the record
    // hashes, no version, link or source in the entry's hash.
    ASSERT_TRUE(store->insert("DiaBorrado",
                              row({{"LNumeroSerie", kSerial}, {"DFecha", QDate(2011, 1, 1)}, {"THora", "08:00"}})));
    const Row stored = rawRow(QStringLiteral("SELECT * FROM \"DiaBorrado\" WHERE \"THora\" = '08:00'"));
    const auto sha = [](const QByteArray& b) {
        return QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex();
    };
    const QByteArray digest = sha(canonicalRowText(QStringLiteral("DiaBorrado"), stored, 1).toUtf8());
    const QByteArray line =
        "DiaBorrado\x1f"
        "1234 2011-01-01 08:00\x1f"
        + digest + "\x1e";
    const JournalEntry head = journal->entries().value()[0];
    const QByteArray fields =
        QStringList{"50", "2011-01-01T09:00:00",   "download", "1234", "cable", "completed", "", "",
                    "",   QString::number(head.id)}
            .join(QChar(0x1f))
            .toUtf8();
    const QByteArray hash = sha(head.hash + '\x1f' + fields + '\x1f' + sha(line));
    exec(QStringLiteral("INSERT INTO \"DiarioRegistros\" (\"LEntrada\", \"TTabla\", \"TClave\", \"THuella\") "
                        "VALUES (50, 'DiaBorrado', '1234 2011-01-01 08:00', '%1')")
             .arg(QString::fromLatin1(digest)));
    exec(QStringLiteral("INSERT INTO \"Diario\" (\"LId\", \"TFechaHora\", \"TAccion\", \"LNumeroSerie\", "
                        "\"TLinea\", \"TResultado\", \"TMensaje\", \"TRecuentos\", \"TTotales\", \"THash\", "
                        "\"LAnterior\", \"LSello\") VALUES (50, '2011-01-01T09:00:00', 'download', 1234, 'cable', "
                        "'completed', '', '', '', '%1', %2, 1000)")
             .arg(QString::fromLatin1(hash))
             .arg(head.id));
    JournalVerification v = journal->verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
    EXPECT_EQ(v.head, hash);
    EXPECT_TRUE(journal->verify(kSerial).findings.isEmpty());
    // New entries chain to it.
    download(80.0f);
    EXPECT_TRUE(journal->verify().findings.isEmpty());
}

TEST_F(JournalTest, PackedLinesAreCheckedWithinTheScopeAskedAndAForgedLineIsFound)
{
    // Two units' intervals, listed by an import in packed lines of two records.
    ASSERT_TRUE(store->insert("Programacion", row({{"LNumeroSerie", kSerial + 1}})));
    const auto interval = [&](qint32 serial, int day, const char* time) {
        ASSERT_TRUE(store->insert("Intervalos", row({{"LNumeroSerie", serial}, {"DFechaInicio", QDate(2010, 3, day)},
                                                     {"THoraInicio", time}, {"SLeqLocal", 80.5}})));
    };
    for (const char* time : {"10:00", "10:15", "10:30"})
        interval(kSerial, 15, time);
    interval(kSerial, 16, "10:00");
    interval(kSerial + 1, 15, "10:00");
    const auto entry = journal->open(JournalAction::Import, 0, {});
    ASSERT_TRUE(entry);
    packed_lines::Packer packer(2);
    const TableDef& table = *schemaTable(QStringLiteral("Intervalos"));
    QSqlQuery q(db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT * FROM \"Intervalos\" ORDER BY \"LNumeroSerie\", \"DFechaInicio\", "
                                      "\"THoraInicio\"")));
    while (q.next()) {
        const Row r = journal_codec::rowFrom(q);
        const QByteArray digest = QCryptographicHash::hash(
            canonicalRowText(QStringLiteral("Intervalos"), r).toUtf8(), QCryptographicHash::Sha256);
        packer.add("Intervalos", journal_codec::keyText(table, r).toStdString(),
                   reinterpret_cast<const unsigned char*>(digest.constData()));
    }
    for (const packed_lines::Line& l : packer.take(true)) {
        q.prepare(QStringLiteral("INSERT INTO \"DiarioRegistros\" (\"LEntrada\", \"TTabla\", \"TClave\", "
                                 "\"TClaveFin\", \"THuella\", \"BRegistros\") VALUES (?, ?, ?, ?, ?, ?)"));
        for (const QVariant& v : QVariantList{*entry, QString::fromUtf8(l.table), QString::fromUtf8(l.firstKey),
                                              QString::fromUtf8(l.lastKey), QString::fromLatin1(l.digest), l.packed})
            q.addBindValue(v);
        ASSERT_TRUE(q.exec());
    }
    ASSERT_TRUE(journal->seal(*entry, QStringLiteral("completed"), {}));
    EXPECT_TRUE(journal->verify().findings.isEmpty()) << journal->verify().findings.value(0).detail.toStdString();
    const JournalScope range{kSerial, QStringLiteral("1234 2010-03-15 10:15"), QStringLiteral("1234 2010-03-16 10:00")};
    JournalVerification v = journal->verify(range);
    EXPECT_TRUE(v.findings.isEmpty());
    EXPECT_EQ(v.recordsChecked, 3);

    // An edit inside the range is found; another unit's, or one before the
    // range, only by the checks that read them.
    exec(QStringLiteral("UPDATE \"Intervalos\" SET \"SLeqLocal\" = 81 WHERE \"THoraInicio\" = '10:30'"));
    exec(QStringLiteral("UPDATE \"Intervalos\" SET \"SLeqLocal\" = 82 WHERE \"LNumeroSerie\" = 1235 OR "
                        "(\"THoraInicio\" = '10:00' AND \"DFechaInicio\" < '2010-03-16')"));
    v = journal->verify(range);
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::RecordEdited);
    EXPECT_EQ(v.findings[0].key, QStringLiteral("1234 2010-03-15 10:30"));
    EXPECT_EQ(journal->verify(kSerial).findings.size(), 2);
    EXPECT_EQ(journal->verify().findings.size(), 3);

    // A packed value forged under its digest, or a last key moved, is the entry's alteration.
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT rowid, \"BRegistros\" FROM \"DiarioRegistros\" WHERE \"TClave\" = "
                                      "'1234 2010-03-15 10:30'")) && q.next());
    const qint64 line = q.value(0).toLongLong();
    const QByteArray original = q.value(1).toByteArray();
    QByteArray forged = original;
    forged[forged.size() - 1] = char(forged.back() ^ 1);
    const auto rewrite = [&](const QByteArray& packed, const QString& lastKey) {
        const test::PastJournalTriggers past(*db);
        q.prepare(QStringLiteral("UPDATE \"DiarioRegistros\" SET \"BRegistros\" = ?, \"TClaveFin\" = ? WHERE rowid = ?"));
        for (const QVariant& value : QVariantList{packed, lastKey, line})
            q.addBindValue(value);
        ASSERT_TRUE(q.exec());
    };
    rewrite(forged, QStringLiteral("1234 2010-03-16 10:00"));
    EXPECT_TRUE(kinds(journal->verify(range)).contains(JournalFinding::Kind::EntryAltered));
    rewrite(original, QStringLiteral("1234 2010-03-15 10:45"));
    EXPECT_TRUE(kinds(journal->verify(range)).contains(JournalFinding::Kind::EntryAltered));
    rewrite(original, QStringLiteral("1234 2010-03-16 10:00"));
    EXPECT_EQ(journal->verify(range).findings.size(), 1);
    // A packed record gone is named by its key, read back from its line.
    exec(QStringLiteral("DELETE FROM \"Intervalos\" WHERE \"LNumeroSerie\" = 1235"));
    v = journal->verify(kSerial + 1);
    ASSERT_EQ(kinds(v), QList{JournalFinding::Kind::RecordMissing});
    EXPECT_EQ(v.findings[0].key, QStringLiteral("1235 2010-03-15 10:00"));
}

TEST_F(JournalTest, RecordsStoredAgainVerifyAgainstTheNewestEntryAndGoneRowsNeedADeletion)
{
    download(80.0f);
    const qint64 second = download(90.0f);
    JournalVerification v = journal->verify();
    EXPECT_TRUE(v.findings.isEmpty());
    EXPECT_EQ(v.recordsRewritten, 4);
    EXPECT_EQ(v.recordsChecked, 4);
    ASSERT_EQ(journal->entries().value().size(), 2);
    EXPECT_EQ(journal->entries().value()[0].previous, journal->entries().value()[1].id);

    exec(QStringLiteral("DELETE FROM \"DiaBorrado\""));
    v = journal->verify();
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::RecordMissing);
    EXPECT_EQ(v.findings[0].entry, second);
    EXPECT_EQ(v.findings[0].table, QStringLiteral("DiaBorrado"));
    EXPECT_EQ(v.findings[0].key, QStringLiteral("1234 2010-03-01 09:00"));

    ASSERT_TRUE(journal->append(JournalAction::UnitDeletion, kSerial, {}, QStringLiteral("completed"), {}));
    exec(QStringLiteral("DELETE FROM \"Intervalos\""));
    EXPECT_TRUE(journal->verify().findings.isEmpty());
}

TEST_F(JournalTest, AChangedEntryFieldOrLinkIsFound)
{
    const qint64 first = download(80.0f);
    const qint64 second = download(80.0f);
    exec(QStringLiteral("UPDATE \"Diario\" SET \"TMensaje\" = 'Otro' WHERE \"LId\" = %1").arg(first));
    JournalVerification v = journal->verify();
    ASSERT_FALSE(v.findings.isEmpty());
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::EntryAltered);
    EXPECT_EQ(v.findings[0].entry, first);

    exec(QStringLiteral("UPDATE \"Diario\" SET \"TMensaje\" = 'Datos recibidos' WHERE \"LId\" = %1").arg(first));
    EXPECT_TRUE(journal->verify().findings.isEmpty());
    exec(QStringLiteral("UPDATE \"Diario\" SET \"LAnterior\" = 0 WHERE \"LId\" = %1").arg(second));
    v = journal->verify();
    ASSERT_FALSE(v.findings.isEmpty());
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::ChainBroken);
    EXPECT_EQ(v.findings[0].entry, second);

    // A record line dropped from a sealed entry changes its hash too.
    exec(QStringLiteral("UPDATE \"Diario\" SET \"LAnterior\" = %1 WHERE \"LId\" = %2").arg(first).arg(second));
    exec(QStringLiteral("DELETE FROM \"DiarioRegistros\" WHERE \"LEntrada\" = %1 AND \"TTabla\" = 'DiaBorrado'")
             .arg(first));
    v = journal->verify();
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::EntryAltered);
    EXPECT_EQ(v.findings[0].entry, first);
}

TEST_F(JournalTest, AnEntryLeftOpenIsSealedInterruptedUnlessItsProgramStillHoldsIt)
{
    std::unique_ptr<Database> other = home.openDatabase();
    auto held = std::make_unique<Journal>(*other);
    const auto open = held->open(JournalAction::Download, kSerial, QStringLiteral("modem"));
    ASSERT_TRUE(open);
    const auto dropped = held->open(JournalAction::ProgramReceive, kSerial, QStringLiteral("modem"));
    ASSERT_TRUE(dropped);

    ASSERT_TRUE(journal->append(JournalAction::ProgramTransmit, kSerial, QStringLiteral("cable"),
                                QStringLiteral("completed"), {}));
    for (const QList<JournalEntry> all = journal->entries().value(); const JournalEntry& e : all)
        EXPECT_EQ(e.sealed(), e.id != *open && e.id != *dropped) << e.id;

    // The holder goes away without sealing (as when the program is killed).
    held.reset();
    const auto next = journal->open(JournalAction::Download, kSerial, QStringLiteral("cable"));
    ASSERT_TRUE(next);
    for (const QList<JournalEntry> all = journal->entries().value(); const JournalEntry& e : all) {
        if (e.id == *open || e.id == *dropped) {
            EXPECT_TRUE(e.sealed());
            EXPECT_EQ(e.outcome, QStringLiteral("interrupted"));
        }
    }
    EXPECT_FALSE(journal->seal(*open, QStringLiteral("completed"), {}));
    EXPECT_TRUE(journal->seal(*next, QStringLiteral("completed"), {}));
    EXPECT_TRUE(journal->verify().findings.isEmpty());
}

TEST(JournalSchema, AnOlderDatabaseGetsTheJournalTables)
{
    TempHome home;
    home.provision();
    {
        auto db = home.openDatabase();
        QSqlQuery q(db->connection());
        ASSERT_TRUE(q.exec("DROP TABLE \"Diario\""));
        ASSERT_TRUE(q.exec("DROP TABLE \"DiarioRegistros\""));
        if (!onServerBackend()) {
            EXPECT_TRUE(db->verifySchema().isEmpty());
        }
    }
    auto db = home.openDatabase();
    if (onServerBackend()) {
        // A server database is laid out by init or on the program's question.
        EXPECT_EQ(db->inspectSchema(), SchemaState::Partial);
        ASSERT_TRUE(test::succeeded(db->layOutSchema()));
        EXPECT_EQ(db->inspectSchema(), SchemaState::Ready);
    } else {
        const QStringList tables = db->connection().tables();
        EXPECT_TRUE(tables.contains("Diario"));
        EXPECT_TRUE(tables.contains("DiarioRegistros"));
        QSqlQuery q(db->connection());
        ASSERT_TRUE(q.exec("PRAGMA journal_mode") && q.next());
        EXPECT_EQ(q.value(0).toString(), QStringLiteral("wal"));
    }
    Journal journal(*db);
    EXPECT_TRUE(test::succeeded(journal.append(JournalAction::Merge, 0, {}, QStringLiteral("completed"), {})));
}

namespace {

QList<JournalEntry> entriesOf(Database& db, JournalAction action)
{
    QList<JournalEntry> list;
    for (const QList<JournalEntry> all = Journal(db).entries().value(); const JournalEntry& e : all)
        if (e.action == action)
            list << e;
    return list;
}

void storeOneOfEach(Database& db)
{
    Store store(db);
    ASSERT_TRUE(store.insert("Programacion", row({{"LNumeroSerie", kSerial}})));
    ASSERT_TRUE(store.insert("DiaBorrado",
                             row({{"LNumeroSerie", kSerial}, {"DFecha", QDate(2009, 1, 1)}, {"THora", "08:00"}})));
    ASSERT_TRUE(store.insert("DiaBorrado",
                             row({{"LNumeroSerie", kSerial}, {"DFecha", QDate(2009, 1, 1)}, {"THora", "09:00"}})));
    ASSERT_TRUE(store.insert("Sesiones",
                             spanRow(kSerial, QDateTime(QDate(2009, 1, 2), QTime(22, 0)),
                                     QDateTime(QDate(2009, 1, 3), QTime(3, 0)), {{"SLeq", 88.25}})));
}

void dropJournal(Database& db)
{
    QSqlQuery q(db.connection());
    ASSERT_TRUE(q.exec("DROP TABLE \"Diario\""));
    ASSERT_TRUE(q.exec("DROP TABLE \"DiarioRegistros\""));
}

std::unique_ptr<Database> reopen(TempHome& home)
{
    auto db = home.openDatabase();
    if (onServerBackend()) {
        EXPECT_TRUE(test::succeeded(db->layOutSchema()));
    }
    return db;
}

} // namespace

TEST(JournalSchema, ADatabaseFromBeforeTheJournalAdoptsWhatItHeldOnce)
{
    if (onServerBackend())
        GTEST_SKIP() << "a server database has had its journal from the start";
    TempHome home;
    home.provision();
    {
        auto db = home.openDatabase();
        storeOneOfEach(*db);
        dropJournal(*db);
        // As a file written before the journal: no mark in its header.
        QSqlQuery(db->connection()).exec("PRAGMA user_version = 0");
    }
    auto db = home.openDatabase();
    const QList<JournalEntry> adopted = entriesOf(*db, JournalAction::Adopt);
    ASSERT_EQ(adopted.size(), 1);
    EXPECT_EQ(adopted[0].counts, QStringLiteral("records 3"));
    EXPECT_TRUE(adopted[0].sealed());
    Journal journal(*db);
    EXPECT_EQ(journal.head().value(), adopted[0].hash);
    JournalVerification v = journal.verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
    EXPECT_EQ(v.recordsChecked, 3);

    // Opened again, nothing more is adopted: a record added later is a finding.
    ASSERT_TRUE(Store(*db).insert("DiaBorrado",
                                  row({{"LNumeroSerie", kSerial}, {"DFecha", QDate(2009, 2, 1)}, {"THora", "08:00"}})));
    db = home.openDatabase();
    EXPECT_EQ(entriesOf(*db, JournalAction::Adopt).size(), 1);
    v = Journal(*db).verify();
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::NoProvenance);
}

TEST(JournalSchema, AJournalRemovedWithItsTablesIsBegunAgainVisibly)
{
    TempHome home;
    home.provision();
    QByteArray kept;
    {
        auto db = home.openDatabase();
        storeOneOfEach(*db);
        Journal journal(*db);
        ASSERT_TRUE(journal.append(JournalAction::ProgramTransmit, kSerial, QStringLiteral("cable"),
                                   QStringLiteral("completed"), {}));
        kept = journal.head().value();
        dropJournal(*db);
        // Gone under an open journal: every read fails, none reads as an empty journal or chain.
        EXPECT_FALSE(journal.entries());
        EXPECT_FALSE(journal.head());
        EXPECT_FALSE(journal.oldestIntervalSinceLastCompletedDownload(kSerial));
    }
    auto db = reopen(home);
    EXPECT_TRUE(entriesOf(*db, JournalAction::Adopt).isEmpty());
    ASSERT_EQ(entriesOf(*db, JournalAction::Restart).size(), 1);
    const JournalVerification v = Journal(*db).verify(std::nullopt, kept);
    QSet<JournalFinding::Kind> kinds;
    for (const JournalFinding& f : v.findings)
        kinds.insert(f.kind);
    EXPECT_TRUE(kinds.contains(JournalFinding::Kind::JournalRestarted));
    EXPECT_TRUE(kinds.contains(JournalFinding::Kind::NoProvenance));
    EXPECT_TRUE(kinds.contains(JournalFinding::Kind::HeadMissing));
    EXPECT_EQ(v.recordsNotJournaled, 3);
}

TEST(JournalSchema, AJournalOfTheFirstFormGainsItsColumnsAndAdoptsWhatNoEntryListed)
{
    TempHome home;
    home.provision();
    {
        auto db = home.openDatabase();
        storeOneOfEach(*db);
        QSqlQuery q(db->connection());
        // The first journal's table, as it was laid out.
        ASSERT_TRUE(q.exec("DROP TABLE \"Diario\""));
        ASSERT_TRUE(q.exec(onServerBackend()
                               ? "CREATE TABLE \"Diario\" (\"LId\" BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY "
                                 "KEY, \"TFechaHora\" TEXT, \"TAccion\" TEXT, \"LNumeroSerie\" INTEGER, \"TLinea\" "
                                 "TEXT, \"TResultado\" TEXT, \"TMensaje\" TEXT, \"TRecuentos\" TEXT, \"TTotales\" "
                                 "TEXT, \"THash\" TEXT, \"LAnterior\" BIGINT, \"LSello\" BIGINT)"
                               : "CREATE TABLE \"Diario\" (\"LId\" INTEGER PRIMARY KEY, \"TFechaHora\" TEXT, "
                                 "\"TAccion\" TEXT, \"LNumeroSerie\" INTEGER, \"TLinea\" TEXT, \"TResultado\" TEXT, "
                                 "\"TMensaje\" TEXT, \"TRecuentos\" TEXT, \"TTotales\" TEXT, \"THash\" TEXT, "
                                 "\"LAnterior\" INTEGER, \"LSello\" INTEGER)"));
        if (onServerBackend()) {
            EXPECT_EQ(db->inspectSchema(), SchemaState::Partial);
        }
    }
    auto db = reopen(home);
    if (onServerBackend()) {
        EXPECT_EQ(db->inspectSchema(), SchemaState::Ready);
    }
    ASSERT_EQ(entriesOf(*db, JournalAction::Adopt).size(), 1);
    EXPECT_TRUE(Journal(*db).verify().findings.isEmpty());
}

TEST_F(JournalTest, ProgramsAppendingAtOnceKeepOneChain)
{
    constexpr int kEach = 25;
    std::atomic<int> failed{0};
    const auto appendMany = [&](qint32 serial) {
        auto connection = home.openDatabase();
        Journal own(*connection);
        for (int i = 0; i < kEach; ++i)
            if (!own.append(JournalAction::ProgramTransmit, serial, QStringLiteral("cable"),
                            QStringLiteral("completed"), {}))
                ++failed;
    };
    std::thread first(appendMany, kSerial), second(appendMany, kSerial + 1);
    first.join();
    second.join();
    EXPECT_EQ(failed, 0);
    const QList<JournalEntry> entries = journal->entries().value();
    ASSERT_EQ(entries.size(), 2 * kEach);
    QSet<qint64> previous;
    for (const JournalEntry& e : entries)
        previous.insert(e.previous);
    EXPECT_EQ(previous.size(), 2 * kEach) << "no two entries chain to the same one";
    const JournalVerification v = journal->verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
}

// Levels are formatted once and then remembered: what is remembered must be
// what formatting gives, for every value apart (0 and -0 kept apart), also
// after the memory has been emptied for room.
TEST(JournalCodec, SingleValuesHashAsTheyAreFormattedEachTime)
{
    const ColumnDef* level = schemaTable(QStringLiteral("Intervalos"))->column(QStringLiteral("SLeqLocal"));
    ASSERT_TRUE(level);
    const auto canonical = [&](float f) { return journal_codec::canonicalValue(*level, QVariant(double(f)), 2); };
    const QList<float> values{87.1f,         0.0f, -0.0f, 45.25f, 1e-7f, 123456789.0f,
                              87.1f,         -0.0f, 0.0f, std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN()};
    for (float f : values)
        EXPECT_EQ(canonical(f), QString::asprintf("%.9g", double(f))) << f;
    for (int i = 0; i < 10000; ++i) {
        const float f = float(i) / 10.0f + 0.05f;
        ASSERT_EQ(canonical(f), QString::asprintf("%.9g", double(f))) << i;
    }
    EXPECT_EQ(canonical(87.1f), QStringLiteral("87.0999985"));
}

// A check's listing names a record by SipHash-2-4's 128-bit form (the
// reference vectors: key 00..0f, messages 00, 01, ... of 0 and 15 bytes)
// of its table and key, and keeps the newest listing of each of many
// records across the growth of its index.
TEST(ListingTable, HashesAsSipHashAndKeepsEachOfManyRecordsNewestListing)
{
    const std::uint64_t key[2] = {0x0706050403020100ull, 0x0f0e0d0c0b0a0908ull};
    const auto hex = [](const ListingTable::Hash& h) {
        QByteArray b;
        for (std::uint64_t word : {h.first, h.second})
            for (int i = 0; i < 8; ++i)
                b.append(char(word >> (8 * i)));
        return b.toHex();
    };
    EXPECT_EQ(hex(sipHash128(key, {})), "a3817f04ba25a8e66df67214c7550293");
    EXPECT_EQ(hex(sipHash128(key, std::string_view("\0\1\2\3\4\5\6\7\10\11\12\13\14\15\16", 15))),
              "5493e99933b0a8117e08ec0f97cfc3d9");

    ListingTable listing;
    constexpr int kRecords = 200000; // the index grows several times
    const auto keyOf = [](int i) { return "7 " + std::to_string(i); };
    packed_lines::Digest digest{};
    int rewritten = 0;
    for (int entry = 1; entry <= 2; ++entry)
        for (int i = 0; i < kRecords; i += entry) {
            digest[0] = static_cast<unsigned char>(entry);
            rewritten += listing.list("Intervalos", keyOf(i), entry, i, digest.data());
        }
    EXPECT_FALSE(listing.list("Intervalos", keyOf(0), 2, 0, digest.data())) << "listed again by the same entry";
    EXPECT_EQ(rewritten, kRecords / 2);
    ASSERT_EQ(listing.size(), std::size_t(kRecords));
    EXPECT_EQ(listing.see("DiaBorrado", keyOf(0)), nullptr) << "the table is part of a record's name";
    int wrong = 0;
    for (int i = 0; i < kRecords; i += 2) {
        const ListingTable::Listing* l = listing.see("Intervalos", keyOf(i));
        wrong += !l || l->entry != 2 || l->digest[0] != 2 || l->line != i;
    }
    EXPECT_EQ(wrong, 0);
    for (std::size_t i = 0; i < listing.size(); ++i)
        wrong += listing.seen(i) != (listing.at(i).line % 2 == 0) || (listing.at(i).line % 2 == 1 && listing.at(i).entry != 1);
    EXPECT_EQ(wrong, 0);
}
