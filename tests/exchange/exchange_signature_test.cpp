#include "db/store.h"
#include "evidence/journal.h"
#include "exchange/exchange_import.h"
#include "exchange/exchange_writer.h"
#include "i18n/translator.h"
#include "support/file_bytes.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;
using Kind = ProvenanceVerdict::Kind;

namespace {

QByteArray sha(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QList<QByteArray> signatureLines(const QByteArray& file)
{
    QList<QByteArray> out;
    for (const QByteArray& l : file.split('\n'))
        if (l.startsWith("Firma;"))
            out << l + '\n';
    return out;
}

QByteArray unsignedPart(const QByteArray& file)
{
    return file.left(file.indexOf("Firma;"));
}

// One unit's erasures written signed with this PC's key, and a second
// database on this PC that receives the files.
class SignedExchangeTest : public FolderDatabaseTest {
protected:
    void SetUp() override
    {
        FolderDatabaseTest::SetUp();
        ASSERT_TRUE(store->insert("Programacion", row({{"LNumeroSerie", 5150}})));
        for (int day : {1, 2})
            erase(day);
        ASSERT_TRUE(KeyStore(keys.path()).create(QStringLiteral("Oficina Norte")));
        OfficeSigning::configure(SigningSetup{keys.path(), {}, {}});
        other.provision();
        otherDb = other.openDatabase();
        ASSERT_TRUE(otherDb);
    }
    void TearDown() override { OfficeSigning::configure(SigningSetup{}); }

    void erase(int day)
    {
        ASSERT_TRUE(store->insert("DiaBorrado",
                                  row({{"LNumeroSerie", 5150}, {"DFecha", QDate(2024, 2, day)}, {"THora", "09:00"}})));
    }
    QByteArray written()
    {
        const QString path = home.file(QStringLiteral("out.TQ52"));
        EXPECT_TRUE(writeExchangeFile(*db, path, {5150}));
        return tvq52::test::readBytes(path);
    }
    ImportSummary importThere(const QByteArray& bytes)
    {
        home.writeFile(QStringLiteral("sent.TQ52"), bytes);
        return ExchangeImporter(*otherDb).run(home.file(QStringLiteral("sent.TQ52")));
    }

    Translator translator;
    QTemporaryDir keys;
    TempHome other;
    std::unique_ptr<Database> otherDb;
};

// The record, the digest, the time of writing or the signature: whatever
// was changed, nothing of the file is stored and the journal says why.
TEST_F(SignedExchangeTest, AFileChangedAfterSigningStoresNothing)
{
    const QByteArray sent = written();
    QByteArray record = sent, written1999 = sent;
    record[record.indexOf("2024-02-02") + 9] = '7';
    QByteArray redigested = record;
    redigested.replace(sha(sent.left(sent.indexOf("//Procedencia//"))),
                       sha(record.left(record.indexOf("//Procedencia//"))));
    written1999.replace(written1999.indexOf("Cabeza;;;;") + 10, 4, "1999");
    erase(3); // the same office's signature of the file once it held a record more
    const QByteArray swapped = unsignedPart(sent) + signatureLines(written()).join();
    for (const QByteArray& file : {record, redigested, written1999, swapped}) {
        const ImportSummary s = importThere(file);
        EXPECT_FALSE(s.succeeded());
        EXPECT_EQ(s.verdict.kind, Kind::Changed);
        EXPECT_EQ(summaryLines(s, translator), QStringList{s.refusal});
        EXPECT_EQ(test::take(Store(*otherDb).count("DiaBorrado")), 0);
        const JournalEntry entry = Journal(*otherDb).entries().value().value(0);
        EXPECT_EQ(entry.outcome, QStringLiteral("failed"));
        EXPECT_TRUE(entry.message.contains(s.refusal));
    }
    EXPECT_TRUE(Journal(*otherDb).verify().findings.isEmpty());
}

// Stripped, or written before files were signed, a file is unsigned; a
// signature whose lines were touched is damage, never passed over.
TEST_F(SignedExchangeTest, SignatureLinesAreReadStrictly)
{
    const QByteArray sent = written();
    const QList<QByteArray> lines = signatureLines(sent);
    ASSERT_GT(lines.size(), 1);
    for (const QByteArray& l : lines)
        EXPECT_LE(l.size() - 2, kProvenanceLineBytes);
    const QByteArray bare = unsignedPart(sent);
    const QByteArray rows = "\xEF\xBB\xBF//DiaBorrado//\r\nLNumeroSerie;DFecha;THora\r\n5150;2024-02-03;\"09:00\"\r\n";
    const QByteArray old = rows + "//Procedencia//\r\n" + provenanceColumns().join(';').toLatin1() + "\r\nSHA256;;;;;;"
        + sha(rows) + ";\r\nCabeza;;;;2024-02-03T10:00:00;;;\r\n";
    const struct {
        QByteArray file;
        Kind kind;
    } cases[] = {{bare, Kind::Unsigned},
                 {old, Kind::Unsigned},
                 {sent.left(sent.size() - lines.last().size()), Kind::Damaged},
                 {bare + lines[1] + lines[0] + lines.mid(2).join(), Kind::Damaged},
                 {sent + "\r\n", Kind::Damaged}};
    for (const auto& c : cases) {
        const ImportSummary s = importThere(c.file);
        EXPECT_EQ(s.verdict.kind, c.kind) << c.file.right(300).toStdString();
        EXPECT_TRUE(s.refusal.isEmpty()) << "rows arrive as from any unsigned or damaged file";
        EXPECT_EQ(s.succeeded(), c.kind == Kind::Unsigned);
        EXPECT_EQ(s.provenance.damage == FileProvenance::Damage::Signature, c.kind == Kind::Damaged);
    }
}

} // namespace
