#include "db/journal.h"
#include "db/store.h"
#include "exchange/exchange_import.h"
#include "exchange/exchange_signature.h"
#include "exchange/exchange_writer.h"
#include "i18n/loc_guru.h"
#include "support/folder_database.h"
#include "support/rows.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;
using Kind = ProvenanceVerdict::Kind;

namespace {

constexpr qint32 kUnit = 5150;

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

QByteArray without(QByteArray file, const QList<QByteArray>& lines)
{
    for (const QByteArray& l : lines)
        file.replace(l, "");
    return file;
}

QByteArray recordChanged(QByteArray file)
{
    file[file.indexOf("2024-02-02") + 9] = '7';
    return file;
}

// The digest worked out again after a change, as anyone can.
QByteArray redigested(QByteArray file, const QByteArray& stated)
{
    return file.replace(stated, sha(file.left(file.indexOf("//Procedencia//"))));
}

// Two offices with keys of their own, one unit's records here, and a second
// database on this PC that receives the files.
class SignedExchangeTest : public FolderDatabaseTest {
protected:
    void SetUp() override
    {
        FolderDatabaseTest::SetUp();
        ASSERT_TRUE(store->insert("Programacion", row({{"LNumeroSerie", kUnit}})));
        for (int day : {1, 2})
            ASSERT_TRUE(store->insert("DiaBorrado", row({{"LNumeroSerie", kUnit},
                                                          {"DFecha", QDate(2024, 2, day)},
                                                          {"THora", "09:00"}})));
        const Result<CertificateInfo> a = KeyStore(ours.path()).create(QStringLiteral("Oficina Norte"));
        const Result<CertificateInfo> b = KeyStore(theirs.path()).create(QStringLiteral("Oficina Sur"));
        ASSERT_TRUE(a && b);
        ourCert = *a;
        theirCert = *b;
        other.provision();
        otherDb = other.openDatabase();
        ASSERT_TRUE(otherDb);
    }
    void TearDown() override
    {
        OfficeSigning::configure(SigningSetup{noKey.path(), {}, {}});
        OfficeSigning::reset();
    }

    QByteArray written(const QString& keys)
    {
        OfficeSigning::configure(SigningSetup{keys, {}, {}});
        OfficeSigning::reset();
        signing = {};
        const QString path = home.file(QStringLiteral("out.TQ52"));
        const Result<qint64> rows = writeExchangeFile(*db, path, {kUnit}, &signing);
        EXPECT_TRUE(rows) << rows.error().detail.toStdString();
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    ImportSummary importHere(const QByteArray& bytes)
    {
        home.writeFile(QStringLiteral("sent.TQ52"), bytes);
        const Result<TrustStore> trust = TrustStore::load(ours.path());
        EXPECT_TRUE(trust);
        ExchangeImporter importer(*otherDb);
        importer.trust = &*trust;
        importer.requireSigned = requireSigned;
        importer.acceptUnsigned = accept;
        return importer.run(home.file(QStringLiteral("sent.TQ52")));
    }
    qint64 storedThere() { return Store(*otherDb).count("DiaBorrado"); }

    LocGuru guru;
    QTemporaryDir ours, theirs, noKey;
    CertificateInfo ourCert, theirCert;
    ExchangeSigning signing;
    TempHome other;
    std::unique_ptr<Database> otherDb;
    bool requireSigned = false;
    std::function<bool(const ProvenanceVerdict&)> accept;
};

TEST_F(SignedExchangeTest, TheSigningOfficeIsNamedAndTrustedOnlyOnceKnownHere)
{
    const QByteArray fromHere = written(ours.path());
    EXPECT_EQ(signing.signer.fingerprint, ourCert.fingerprint);
    // The base64 runs over several lines, each within the section's limit, and ends the file.
    const QList<QByteArray> lines = signatureLines(fromHere);
    ASSERT_GT(lines.size(), 1);
    for (const QByteArray& l : lines)
        EXPECT_LE(l.size() - 2, kProvenanceLineBytes);
    EXPECT_TRUE(fromHere.endsWith(lines.last()));

    ImportSummary s = importHere(fromHere);
    EXPECT_TRUE(s.succeeded()) << summaryLines(s, guru).join('\n').toStdString();
    EXPECT_EQ(s.verdict.kind, Kind::Trusted);
    const QString line = verdictLine(s.verdict, s.provenance, &guru);
    EXPECT_TRUE(line.contains(ourCert.subject) && line.contains(QString::fromLatin1(ourCert.fingerprint)));
    EXPECT_TRUE(summaryLines(s, guru).contains(line));
    EXPECT_TRUE(Journal(*otherDb).entries().value(0).provenance.contains(QString::fromLatin1(ourCert.fingerprint)));

    const QByteArray fromThere = written(theirs.path());
    s = importHere(fromThere);
    EXPECT_TRUE(s.succeeded());
    EXPECT_EQ(s.verdict.kind, Kind::Untrusted);
    const QString untrusted = verdictLine(s.verdict, s.provenance, &guru);
    EXPECT_TRUE(untrusted.contains(QString::fromLatin1(theirCert.fingerprint))) << untrusted.toStdString();
    EXPECT_FALSE(untrusted.contains(QStringLiteral("comprobada")));
    const QJsonObject json = verdictJson(s.verdict);
    EXPECT_TRUE(json.value("intact").toBool() && json.value("signed").toBool());
    EXPECT_FALSE(json.value("trusted").toBool());
    EXPECT_EQ(json.value("signer").toString(), QString::fromLatin1(theirCert.fingerprint));

    const QString pem = home.file(QStringLiteral("sur.pem"));
    ASSERT_TRUE(KeyStore(theirs.path()).writeCertificate(pem));
    Result<TrustStore> trust = TrustStore::load(ours.path());
    ASSERT_TRUE(trust && trust->add(pem));
    EXPECT_EQ(importHere(fromThere).verdict.kind, Kind::Trusted);
}

TEST_F(SignedExchangeTest, AFileChangedAfterSigningStoresNothing)
{
    const QByteArray sent = written(ours.path());
    const QByteArray stated = sha(sent.left(sent.indexOf("//Procedencia//")));
    ASSERT_TRUE(sent.contains(stated));
    QByteArray rewritten = sent;
    rewritten.replace(rewritten.indexOf("Cabeza;;;;") + 10, 4, "1999");
    // The same office's signature of the unit's file once a record more was stored.
    ASSERT_TRUE(store->insert("DiaBorrado",
                              row({{"LNumeroSerie", kUnit}, {"DFecha", QDate(2024, 2, 3)}, {"THora", "09:00"}})));
    QByteArray swapped = without(sent, signatureLines(sent));
    for (const QByteArray& l : signatureLines(written(ours.path())))
        swapped += l;
    const struct {
        const char* what;
        QByteArray file;
    } cases[] = {{"a record changed", recordChanged(sent)},
                 {"a record changed and the digest worked out again", redigested(recordChanged(sent), stated)},
                 {"the written time changed", rewritten},
                 {"another file's signature", swapped}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ImportSummary s = importHere(c.file);
        EXPECT_FALSE(s.succeeded());
        EXPECT_EQ(s.verdict.kind, Kind::Changed);
        EXPECT_EQ(summaryLines(s, guru), QStringList{s.refusal});
        EXPECT_EQ(storedThere(), 0);
        const JournalEntry entry = Journal(*otherDb).entries().value(0);
        EXPECT_EQ(entry.outcome, QStringLiteral("failed"));
        EXPECT_TRUE(entry.message.contains(s.refusal));
    }
    EXPECT_TRUE(Journal(*otherDb).verify().findings.isEmpty());
}

// Stripped, the file is unsigned; a signature whose lines were touched is
// damage, never a signature passed over; a file written before files were
// signed reads as unsigned.
TEST_F(SignedExchangeTest, SignatureLinesAreReadStrictly)
{
    const QByteArray sent = written(ours.path());
    const QList<QByteArray> lines = signatureLines(sent);
    const QByteArray bare = without(sent, lines);
    QByteArray widened = lines[0];
    widened.insert(widened.lastIndexOf(';'), "AAAA");
    const QByteArray rows = "\xEF\xBB\xBF//DiaBorrado//\r\nLNumeroSerie;DFecha;THora\r\n5150;2024-02-03;\"09:00\"\r\n";
    const QByteArray old = rows + "//Procedencia//\r\n" + provenanceColumns().join(';').toLatin1() + "\r\nSHA256;;;;;;"
        + sha(rows) + ";\r\nCabeza;;;;2024-02-03T10:00:00;;;\r\n";
    const struct {
        const char* what;
        QByteArray file;
        Kind kind;
    } cases[] = {{"stripped", bare, Kind::Unsigned},
                 {"written before files were signed", old, Kind::Unsigned},
                 {"its last line lost", without(sent, {lines.last()}), Kind::Damaged},
                 {"two lines swapped", bare + lines[1] + lines[0] + lines.mid(2).join(), Kind::Damaged},
                 {"a blank line after it", sent + "\r\n", Kind::Damaged},
                 {"its base64 wrapped otherwise", bare + widened + lines.mid(1).join(), Kind::Damaged}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ImportSummary s = importHere(c.file);
        EXPECT_EQ(s.verdict.kind, c.kind);
        EXPECT_TRUE(s.refusal.isEmpty()) << "rows arrive as from any unsigned or damaged file";
        EXPECT_EQ(s.succeeded(), c.kind == Kind::Unsigned) << summaryLines(s, guru).join('\n').toStdString();
        if (c.kind == Kind::Damaged)
            EXPECT_EQ(s.provenance.damage, FileProvenance::Damage::Signature);
        else
            EXPECT_FALSE(verdictJson(s.verdict).value("signed").toBool());
    }
}

TEST_F(SignedExchangeTest, RequiringSignedFilesRefusesOthersUnlessTheUserAccepts)
{
    const QByteArray trusted = written(ours.path()), untrusted = written(theirs.path()), bare = written(noKey.path());
    ASSERT_TRUE(signatureLines(bare).isEmpty());
    written(noKey.path());
    EXPECT_FALSE(signing.warning) << "one warning a run that files go out unsigned";
    requireSigned = true;
    QList<Kind> asked;
    bool answer = false;
    accept = [&](const ProvenanceVerdict& v) {
        asked << v.kind;
        return answer;
    };
    ImportSummary s = importHere(bare);
    EXPECT_FALSE(s.succeeded());
    EXPECT_EQ(summaryLines(s, guru), QStringList{unsignedRefusal(s.verdict, &guru)});
    s = importHere(untrusted);
    EXPECT_TRUE(s.refusal.contains(QString::fromLatin1(theirCert.fingerprint))) << s.refusal.toStdString();
    EXPECT_EQ(storedThere(), 0);
    EXPECT_EQ(asked, (QList<Kind>{Kind::Unsigned, Kind::Untrusted}));

    answer = true;
    EXPECT_TRUE(importHere(bare).succeeded());
    EXPECT_TRUE(importHere(untrusted).succeeded());
    EXPECT_EQ(storedThere(), 2);
    asked.clear();
    EXPECT_TRUE(importHere(trusted).succeeded());
    EXPECT_TRUE(asked.isEmpty()) << "a trusted office's file is taken without asking";
}

} // namespace
