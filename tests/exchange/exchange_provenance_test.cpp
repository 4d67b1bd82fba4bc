#include "evidence/exchange_provenance.h"
#include "evidence/journal.h"
#include "exchange/exchange_import.h"
#include "exchange/exchange_reader.h"
#include "exchange/exchange_writer.h"
#include "i18n/translator.h"
#include "records/outcome_text.h"
#include "support/exchange_lines.h"
#include "support/file_bytes.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

constexpr qint32 kUnit = 4242;
const QByteArray kMarker = "//Procedencia//\r\n";

QByteArray sha(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray erasure(qint32 serial, const char* date)
{
    return dataLine("DiaBorrado",
                    {{"LNumeroSerie", QString::number(serial)},
                     {"DFecha", QString::fromLatin1(date)},
                     {"THora", QStringLiteral("\"10:00\"")}});
}

// An office whose unit's records came by two imports and one by hand, with
// another unit's record beside them: the file of the unit is exported.
class ProvenanceTest : public FolderDatabaseTest {
protected:
    void SetUp() override
    {
        FolderDatabaseTest::SetUp();
        ASSERT_TRUE(store->insert("Programacion", row({{"LNumeroSerie", kUnit}})));
        ASSERT_TRUE(store->insert("Programacion", row({{"LNumeroSerie", 9}})));
        firstImport = importInto(*db,
                                 sectionStart("DiaBorrado") + erasure(kUnit, "2024-01-01")
                                     + erasure(kUnit, "2024-01-02") + erasure(9, "2024-01-01"));
        secondImport = importInto(*db, sectionStart("DiaBorrado") + erasure(kUnit, "2024-01-03"));
        ASSERT_TRUE(store->insert("DiaBorrado",
                                  row({{"LNumeroSerie", kUnit}, {"DFecha", QDate(2024, 1, 4)}, {"THora", "11:00"}})));
        sourceHead = Journal(*db).head().value();
        ASSERT_FALSE(sourceHead.isEmpty());
        const Result<qint64> rows = writeExchangeFile(*db, home.file(QStringLiteral("out.TQ52")), {kUnit});
        ASSERT_TRUE(rows) << rows.error().detail.toStdString();
        EXPECT_EQ(*rows, 5); // the unit's programming and its four erasures
        exported = tvq52::test::readBytes(home.file(QStringLiteral("out.TQ52")));
        other.provision();
        otherDb = other.openDatabase();
        ASSERT_TRUE(otherDb);
    }
    qint64 importInto(Database& target, const QByteArray& bytes)
    {
        home.writeFile(QStringLiteral("in.TQ52"), bytes);
        const ImportSummary s = ExchangeImporter(target).run(home.file(QStringLiteral("in.TQ52")));
        EXPECT_TRUE(s.succeeded()) << summaryLines(s, translator).join(QLatin1Char('\n')).toStdString();
        return s.journalEntry;
    }
    // `bytes` imported into the other office.
    ImportSummary importElsewhere(const QByteArray& bytes)
    {
        home.writeFile(QStringLiteral("sent.TQ52"), bytes);
        return ExchangeImporter(*otherDb).run(home.file(QStringLiteral("sent.TQ52")));
    }
    JournalEntry newestElsewhere() { return Journal(*otherDb).entries().value().value(0); }
    static qint64 sum(const ImportSummary& s, qint64 TableImport::*count)
    {
        qint64 n = 0;
        for (const TableImport& t : s.tables)
            n += t.*count;
        return n;
    }
    static qint64 added(const ImportSummary& s) { return sum(s, &TableImport::added); }
    // Lines refused or passed over as not ours.
    static qint64 refusedOrIgnored(const ImportSummary& s)
    {
        return s.ignoredLines + s.ignoredSections.size() + sum(s, &TableImport::refused);
    }

    Translator translator;
    qint64 firstImport = 0, secondImport = 0;
    QByteArray sourceHead, exported;
    TempHome other;
    std::unique_ptr<Database> otherDb;
};

TEST_F(ProvenanceTest, TheFileCarriesItsDigestHeadAndEntriesAndTheImportKeepsThem)
{
    const qsizetype at = exported.indexOf(kMarker);
    ASSERT_GT(at, 0);
    // Header, digest, head, the two imports and the record no entry listed; nothing after.
    EXPECT_EQ(exported.mid(at + kMarker.size()).count('\n'), 6) << exported.mid(at).toStdString();

    const ImportSummary s = importElsewhere(exported);
    EXPECT_TRUE(s.succeeded()) << summaryLines(s, translator).join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(added(s), 5);
    EXPECT_EQ(refusedOrIgnored(s), 0);
    const FileProvenance& p = s.provenance;
    ASSERT_TRUE(p.present);
    EXPECT_TRUE(p.digestMatches());
    EXPECT_EQ(p.readDigest, sha(exported.left(at)));
    EXPECT_EQ(p.head, sourceHead);
    ASSERT_EQ(p.entries.size(), 3);
    // In entry order: what no entry listed, then the imports with the records each stored last.
    EXPECT_EQ(p.entries[0].entry, 0);
    EXPECT_EQ(p.entries[0].records, 1);
    EXPECT_EQ(p.entries[1].entry, firstImport);
    EXPECT_EQ(p.entries[1].records, 2) << "the other unit's record is not the file's";
    EXPECT_EQ(p.entries[2].entry, secondImport);
    EXPECT_EQ(p.entries[2].records, 1);
    EXPECT_EQ(p.entries[2].hash, sourceHead) << "the second import was sealed last";

    // The receiving journal keeps it in the entry's hash, and verifies.
    const std::optional<FileProvenance> kept = provenanceFromJson(newestElsewhere().provenance);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->head, sourceHead);
    EXPECT_EQ(kept->entries.size(), 3);
    const JournalVerification v = Journal(*otherDb).verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
    EXPECT_EQ(v.recordsChecked, 4);
}

TEST_F(ProvenanceTest, AFileChangedOnTheWayIsImportedAndToldAsChanged)
{
    const qsizetype at = exported.indexOf(kMarker);
    QByteArray record = exported;
    // A byte of a record line: the date stays a date, the row stays valid.
    const qsizetype date = record.indexOf("2024-01-03");
    ASSERT_GT(date, 0);
    record[date + 9] = '5';
    QByteArray digest = exported;
    const qsizetype stated = digest.indexOf(sha(exported.left(at)));
    ASSERT_GT(stated, at);
    digest[stated] = digest[stated] == 'a' ? 'b' : 'a';

    const QByteArray files[] = {record, digest};
    for (const QByteArray& changed : files) {
        const ImportSummary s = importElsewhere(changed);
        EXPECT_FALSE(s.succeeded());
        EXPECT_EQ(s.provenance.damage, FileProvenance::Damage::None);
        EXPECT_EQ(s.provenance.readDigest, sha(changed.left(at)));
        // The changed file first: all its rows are new here; then only the
        // row the change had moved.
        EXPECT_EQ(added(s), &changed == &files[0] ? 5 : 1) << "the rows are stored all the same";
        const QString warning = provenanceWarning(s.provenance, &translator);
        EXPECT_TRUE(warning.contains(QStringLiteral("modificado"))) << warning.toStdString();
        EXPECT_TRUE(summaryLines(s, translator).contains(warning));
        const JournalEntry entry = newestElsewhere();
        EXPECT_TRUE(entry.message.contains(warning)) << entry.message.toStdString();
        EXPECT_TRUE(entry.provenance.contains(QStringLiteral("\"matches\":false")));
    }
    EXPECT_TRUE(Journal(*otherDb).verify().findings.isEmpty());
    EXPECT_EQ(test::take(Store(*otherDb).count("DiaBorrado")), 5) << "the changed date is a row of its own";
}

// An import stopped before the section (the user's Stop, a full disk) has
// not read the file changed: it says nothing of the file.
TEST_F(ProvenanceTest, AnImportStoppedEarlyDoesNotTellTheFileAsChanged)
{
    home.writeFile(QStringLiteral("sent.TQ52"), exported);
    ExchangeImporter importer(*otherDb);
    importer.cancelRequested = [] { return true; };
    const ImportSummary s = importer.run(home.file(QStringLiteral("sent.TQ52")));
    ASSERT_TRUE(s.cancelled);
    EXPECT_TRUE(s.provenance.digestMatches());
    EXPECT_EQ(provenanceWarning(s.provenance, &translator), QString());
}

// Whatever the section holds, it is never a refused or ignored line, never
// stops the rows, and its first damage is told with its line.
TEST_F(ProvenanceTest, ADamagedSectionIsToldWithItsLineAndTheRowsStillArrive)
{
    const qsizetype at = exported.indexOf(kMarker);
    const QByteArray before = exported.left(at);
    const QList<QByteArray> lines = exported.mid(at + kMarker.size()).split('\n');
    const qint64 sectionLine = before.count('\n') + 1;
    auto section = [&](const QList<QByteArray>& body) {
        QByteArray out = before + kMarker;
        for (const QByteArray& l : body)
            out += l.endsWith('\r') ? l + '\n' : l + "\r\n";
        return out;
    };
    const QByteArray header = lines[0].trimmed(), digest = lines[1].trimmed(), head = lines[2].trimmed();
    using Damage = FileProvenance::Damage;
    struct Case {
        const char* what;
        QByteArray file;
        Damage damage;
        qint64 line; // after the section line
    };
    const std::vector<Case> cases{
        {"garbage", section({header, digest, "\x01\xff;garbage", head}), Damage::BadLine, 3},
        {"an over-long line", section({header, digest, "Entrada;" + QByteArray(200000, '7')}), Damage::LineTooLong, 3},
        {"another header", section({"a;b", digest, head}), Damage::Header, 1},
        {"no digest", section({header, head}), Damage::NoDigest, 2},
        {"a section after it",
         section({header, digest, head}) + sectionStart("DiaBorrado") + erasure(kUnit, "2025-01-01"), Damage::NotLast,
         4},
        {"twice", section({header, digest, head}) + kMarker + header + "\r\n", Damage::Twice, 4},
    };
    // The entry written without a translator reads in its reader's language.
    Translator english;
    english.foreignColumnName = QStringLiteral("English");
    ASSERT_TRUE(english.openLanguageDatabase(QStringLiteral(TVQ52_ASSET_DIR "/Language.db"), true, Translator::SqlDb));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ImportSummary s = importElsewhere(c.file);
        EXPECT_FALSE(s.succeeded());
        EXPECT_EQ(s.provenance.damage, c.damage);
        EXPECT_EQ(s.provenance.damageLine, sectionLine + c.line);
        EXPECT_EQ(refusedOrIgnored(s), 0);
        EXPECT_TRUE(provenanceWarning(s.provenance, &translator).contains(QString::number(sectionLine + c.line)));
        EXPECT_TRUE(newestElsewhere().message.contains(provenanceWarning(s.provenance, &translator)));
        const QString read = journalMessageText(english, newestElsewhere());
        EXPECT_NE(provenanceWarning(s.provenance, &english), provenanceWarning(s.provenance, &translator));
        EXPECT_EQ(read,
                  QFileInfo(home.file(QStringLiteral("sent.TQ52"))).absoluteFilePath() + QStringLiteral(": ")
                      + provenanceWarning(s.provenance, &english));
    }
    // Only the section and no table of ours: still not an exchange file.
    EXPECT_TRUE(importElsewhere("\xEF\xBB\xBF" + exported.mid(at)).notExchange);
    // The first case stored the file's rows; the one after the section came too.
    EXPECT_EQ(test::take(Store(*otherDb).count("DiaBorrado")), 5);
    EXPECT_TRUE(Journal(*otherDb).verify().findings.isEmpty());
}

// The reader's digest covers exactly the bytes before the last section line
// read, however the records before it were read or passed over; the same
// read gives the whole file's.
TEST(ExchangeReaderDigest, CoversEveryByteBeforeTheSectionLineAndTheWholeFileInOneRead)
{
    TempHome home;
    QByteArray before = "\xEF\xBB\xBF" + sectionStart("DiaBorrado");
    before += QByteArray("1;").repeated(300000) + "\r\n";             // too long: passed over in pieces
    before += "\"" + QByteArray("x\r\n").repeated(100000) + "\"\r\n"; // a quote open over many lines
    before += erasure(kUnit, "2024-01-01") + "\r\n";                  // and a blank line
    before += sectionStart("Sesiones");
    const QByteArray file = before + kMarker + "after\r\n";
    home.writeFile(QStringLiteral("d.TQ52"), file);
    ExchangeReader reader;
    reader.setDigesting(true);
    ASSERT_TRUE(reader.open(home.file(QStringLiteral("d.TQ52"))).ok());
    reader.setLimits(longestRowBytes(*exchangeSection(QStringLiteral("DiaBorrado"))), 3);
    ExchangeRecord r;
    QString last;
    while (last != QStringLiteral("Procedencia") && test::take(reader.next(&r)) == ExchangeReader::Read::Record)
        if (r.kind == ExchangeRecord::Kind::Section)
            last = r.section;
    ASSERT_EQ(last, QStringLiteral("Procedencia"));
    EXPECT_EQ(reader.finishDigest(), sha(before));
    const Result<FileScan> scan = scanFile(home.file(QStringLiteral("d.TQ52")));
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->provenance.readDigest, sha(before));
    EXPECT_EQ(scan->fileDigest, sha(file));
}

} // namespace
