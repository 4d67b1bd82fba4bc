#include "db/journal_codec.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "evidence/signing.h"
#include "records/record_store.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"
#include "support/time_stamp_authority.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::FolderDatabaseTest;
using tvq52::test::row;
using tvq52::test::TempHome;

namespace {

constexpr qint32 kSerial = 1234;

class SignedJournalTest : public FolderDatabaseTest {
protected:
    std::unique_ptr<Journal> journal;
    CertificateInfo own;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FolderDatabaseTest::SetUp());
        journal = std::make_unique<Journal>(*db);
        ASSERT_TRUE(store->insert("Programacion", row({{"LNumeroSerie", kSerial}})));
    }
    void TearDown() override { useKeys({}); }
    // Signs with the key in `folder` (made there first when `name` is given).
    void useKeys(const QString& folder, const QString& name = {}, const QString& timestampUrl = {})
    {
        if (!name.isEmpty())
            own = test::take(KeyStore(folder).create(name));
        OfficeSigning::configure({folder, {}, timestampUrl});
        OfficeSigning::reset();
    }
    // A download's entry storing one interval ending at `hour`.
    qint64 download(int hour, float leq = 80.0f)
    {
        const auto entry = journal->open(JournalAction::Download, kSerial, QStringLiteral("cable"));
        EXPECT_TRUE(test::succeeded(entry.status()));
        if (!entry)
            return 0;
        RecordStore records(*db);
        records.setJournalEntry(journal.get(), *entry);
        IntervalRecord r;
        r.end = wallClock(QDate(2010, 3, 15), QTime(hour, 0));
        r.start = r.end.addSecs(-15 * 60);
        r.leqMinutes = 15;
        r.leqVenue = leq;
        r.stats.maxLeq1At = r.stats.minLeq1At = r.end;
        EXPECT_TRUE(records.storeInterval(kSerial, r));
        EXPECT_TRUE(test::succeeded(journal->seal(*entry, QStringLiteral("completed"), {})));
        return *entry;
    }
    static bool has(const JournalVerification& v, JournalFinding::Kind kind, qint64 entry)
    {
        return std::any_of(v.findings.cbegin(), v.findings.cend(),
                           [&](const JournalFinding& f) { return f.kind == kind && f.entry == entry; });
    }
    JournalEntry entry(qint64 id)
    {
        for (const QList<JournalEntry> all = journal->entries().value(); const JournalEntry& e : all)
            if (e.id == id)
                return e;
        return {};
    }
};

} // namespace

TEST_F(SignedJournalTest, SignedEntriesNameTheirSignerAndAChangedSignatureByteIsFound)
{
    useKeys(home.file("keys"), QStringLiteral("Oficina Norte"));
    const qint64 first = download(10);
    const qint64 second = download(11);
    JournalVerification v = journal->verify();
    EXPECT_TRUE(v.findings.isEmpty());
    EXPECT_TRUE(v.anySigned);
    ASSERT_EQ(v.signing.size(), 2);
    for (const JournalSigning& s : v.signing) {
        EXPECT_TRUE(s.isSigned && s.valid && s.trusted) << s.entry;
        EXPECT_EQ(s.signer.fingerprint, own.fingerprint);
        EXPECT_FALSE(s.timeProven) << "no authority: the PC's clock";
    }

    QByteArray cms = entry(first).sealSignature;
    ASSERT_FALSE(cms.isEmpty());
    cms[cms.size() - 20] = char(cms[cms.size() - 20] ^ 0x01);
    exec(QStringLiteral("UPDATE \"Diario\" SET \"TFirmaCierre\" = '%1' WHERE \"LId\" = %2")
             .arg(QString::fromLatin1(cms.toBase64()))
             .arg(first));
    v = journal->verify();
    EXPECT_TRUE(has(v, JournalFinding::Kind::SignatureInvalid, first));
    EXPECT_FALSE(has(v, JournalFinding::Kind::SignatureInvalid, second));
}

TEST_F(SignedJournalTest, AHandMadeOpenEntryStaysAFindingAndIsNeverSealed)
{
    useKeys(home.file("keys"), QStringLiteral("Oficina Norte"));
    const qint64 signedEntry = download(10);
    exec(QStringLiteral("UPDATE \"Intervalos\" SET \"SLeqLocal\" = 60"));
    // Linked as the program links an entry it opens, listing the edited record.
    JournalEntry forged;
    forged.id = 900;
    forged.at = QDateTime(QDate(2010, 3, 16), QTime(8, 0));
    forged.serial = kSerial;
    forged.line = QStringLiteral("cable");
    forged.version = journal_codec::kCurrentVersion;
    const QByteArray link = journal_codec::openingLink(journal->head().value(), forged);
    exec(QStringLiteral("INSERT INTO \"Diario\" (\"LId\", \"TFechaHora\", \"TAccion\", \"LNumeroSerie\", \"TLinea\", "
                        "\"IVersion\", \"TEnlace\") VALUES (900, '2010-03-16T08:00:00', 'download', %1, 'cable', %2, "
                        "'%3')")
             .arg(kSerial)
             .arg(forged.version)
             .arg(QString::fromLatin1(link)));
    exec(QStringLiteral("INSERT INTO \"DiarioRegistros\" (\"LEntrada\", \"TTabla\", \"TClave\", \"THuella\") "
                        "VALUES (900, 'Intervalos', '1234 2010-03-15 09:45', '%1')")
             .arg(QString(64, QLatin1Char('0'))));

    // Unsigned, then carrying another entry's opening signature.
    for (const bool copied : {false, true}) {
        if (copied)
            exec(QStringLiteral("UPDATE \"Diario\" SET \"TFirmaApertura\" = '%1' WHERE \"LId\" = 900")
                     .arg(QString::fromLatin1(entry(signedEntry).openingSignature.toBase64())));
        JournalVerification v = journal->verify();
        EXPECT_TRUE(has(v, copied ? JournalFinding::Kind::SignatureInvalid : JournalFinding::Kind::EntryUnsigned, 900));
        EXPECT_TRUE(has(v, JournalFinding::Kind::RecordEdited, signedEntry)) << "its listing vouches for nothing";
        ASSERT_TRUE(journal->append(JournalAction::Import, 0, {}, QStringLiteral("completed"), {}));
        EXPECT_TRUE(journal->unlinkedOpenEntries().contains(900));
        EXPECT_FALSE(entry(900).sealed());
        v = journal->verify();
        EXPECT_TRUE(has(v, JournalFinding::Kind::RecordEdited, signedEntry));
    }
}

TEST_F(SignedJournalTest, AnEntrySignedByAKeyThisPcDoesNotTrustIsAFinding)
{
    useKeys(home.file("other-keys"), QStringLiteral("Oficina Ajena"));
    const qint64 foreign = download(10);
    useKeys(home.file("keys"), QStringLiteral("Oficina Norte"));
    const qint64 ours = download(11);
    const JournalVerification v = journal->verify();
    EXPECT_TRUE(has(v, JournalFinding::Kind::SignerNotTrusted, foreign));
    EXPECT_FALSE(has(v, JournalFinding::Kind::SignerNotTrusted, ours));
    ASSERT_EQ(v.signing.size(), 2);
    EXPECT_TRUE(v.signing[0].valid && !v.signing[0].trusted);
    EXPECT_NE(v.signing[0].signer.fingerprint, own.fingerprint);
}

TEST_F(SignedJournalTest, UnsignedEntriesAreFromBeforeKeysUntilAKeySignsAndFindingsAfter)
{
    // No key: the journal verifies as before and says it is unsigned.
    const qint64 early = download(9);
    JournalVerification v = journal->verify();
    EXPECT_TRUE(v.findings.isEmpty());
    EXPECT_FALSE(v.anySigned);
    ASSERT_EQ(v.signing.size(), 1);
    EXPECT_TRUE(v.signing[0].beforeKeys);

    useKeys(home.file("keys"), QStringLiteral("Oficina Norte"));
    const qint64 signedEntry = download(10);
    v = journal->verify();
    EXPECT_TRUE(v.findings.isEmpty());
    ASSERT_EQ(v.signing.size(), 2);
    EXPECT_TRUE(v.signing[0].beforeKeys && !v.signing[0].isSigned);
    EXPECT_TRUE(v.signing[1].isSigned && v.signing[1].trusted);

    // A seal's signature taken away, and then every signed entry's.
    exec(QStringLiteral("UPDATE \"Diario\" SET \"TFirmaCierre\" = NULL WHERE \"LId\" = %1").arg(signedEntry));
    EXPECT_TRUE(has(journal->verify(), JournalFinding::Kind::EntryUnsigned, signedEntry));
    exec(QStringLiteral("DELETE FROM \"DiarioRegistros\" WHERE \"LEntrada\" = %1").arg(signedEntry));
    exec(QStringLiteral("DELETE FROM \"Diario\" WHERE \"LId\" = %1").arg(signedEntry));
    exec(QStringLiteral("DELETE FROM \"Intervalos\" WHERE \"THoraFinal\" = '10:00'"));
    v = journal->verify();
    EXPECT_EQ(v.findings.size(), 1);
    EXPECT_TRUE(has(v, JournalFinding::Kind::EntryUnsigned, 0)) << "this PC signs, the journal has no signature";
    EXPECT_FALSE(has(v, JournalFinding::Kind::EntryUnsigned, early));
}

TEST_F(SignedJournalTest, AKeyThatCannotBeLoadedStoresNothing)
{
    useKeys(home.file("keys"), QStringLiteral("Oficina Norte"));
    const QString keyFile = home.file("keys/key.pem");
    ASSERT_TRUE(QFile::exists(keyFile));
    ASSERT_TRUE(QFile::setPermissions(keyFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    OfficeSigning::reset();
    const Result<qint64> refused = journal->open(JournalAction::Download, kSerial, QStringLiteral("cable"));
    ASSERT_FALSE(refused);
    EXPECT_FALSE(untranslatedText(refused.error()).isEmpty());
    EXPECT_FALSE(journal->append(JournalAction::Merge, 0, {}, QStringLiteral("completed"), {}));
    EXPECT_TRUE(journal->entries().value().isEmpty());
}

TEST_F(SignedJournalTest, ATimeStampTheAuthorityDidNotGiveIsAddedAtTheNextRun)
{
    test::TimeStampAuthority authority;
    ASSERT_TRUE(authority.start());
    const QString caFile = home.file("tsa-ca.pem");
    home.writeFile(QStringLiteral("tsa-ca.pem"), authority.caCertificatePem());
    TrustStore trust = test::take(TrustStore::load(home.file("keys")));
    ASSERT_TRUE(test::succeeded(trust.add(caFile)));
    useKeys(home.file("keys"), QStringLiteral("Oficina Norte"), authority.url());

    authority.setRefusing(true);
    const qint64 unstamped = download(10);
    EXPECT_EQ(entry(unstamped).stampPending, kOpeningStampPending | kSealStampPending);
    JournalVerification v = journal->verify();
    ASSERT_EQ(v.signing.size(), 1);
    EXPECT_TRUE(v.signing[0].trusted && !v.signing[0].timeProven);

    authority.setRefusing(false);
    const qint64 stamped = download(11);
    EXPECT_EQ(entry(unstamped).stampPending, 0);
    EXPECT_EQ(entry(stamped).stampPending, 0);
    v = journal->verify();
    EXPECT_TRUE(v.findings.isEmpty());
    for (const JournalSigning& s : v.signing) {
        EXPECT_TRUE(s.timeProven) << s.entry;
        EXPECT_FALSE(s.time.authority.isEmpty());
    }
}
