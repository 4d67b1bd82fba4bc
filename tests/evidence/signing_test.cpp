#include "core/own_words.h"
#include "evidence/signing.h"
#include "evidence/test_identity.h"
#include "support/result_checks.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tvq52 {
namespace {

using test::makeIdentity;
using test::succeeded;
using test::take;
using test::TestIdentity;
using Outcome = SignatureCheck::Outcome;

std::unique_ptr<Signer> loadSigner(const QString& folder)
{
    return take(KeyStore(folder).load(SigningSetup{folder, {}, {}}));
}

TrustStore trustOf(const QString& folder)
{
    return take(TrustStore::load(folder));
}

TEST(Signing, SignatureVerifiesOverItsContentOnly)
{
    QTemporaryDir dir;
    const QString keys = dir.filePath(QStringLiteral("keys"));
    const CertificateInfo made = take(KeyStore(keys).create(QStringLiteral("Ayuntamiento de Prueba")));
    EXPECT_EQ(made.organization, QStringLiteral("Ayuntamiento de Prueba"));
    EXPECT_EQ(made.subject, QStringLiteral("CN=Ayuntamiento de Prueba, O=Ayuntamiento de Prueba"));
    EXPECT_GE(made.notAfter, made.notBefore.addYears(10).addSecs(-1));
    EXPECT_FALSE(
        KeyStore(dir.filePath(QStringLiteral("long"))).create(QString(65, u'x')).ok()); // over a subject's limit
    std::unique_ptr<Signer> signer = loadSigner(keys);
    ASSERT_TRUE(signer);
    EXPECT_EQ(signer->certificate().fingerprint, made.fingerprint);

    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    const QByteArray content = "journal entry 17: record 4711 stored";
    const Signature signature = take(signer->sign(content));

    const SignatureCheck check = verifySignature(signature.cms, content, trustOf(keys));
    EXPECT_EQ(check.outcome, Outcome::Valid) << check.detail.toStdString();
    EXPECT_EQ(check.trust, SignerTrust::Own);
    EXPECT_EQ(check.signer.fingerprint, made.fingerprint);
    EXPECT_GE(check.time.at, before);
    EXPECT_LE(check.time.at, QDateTime::currentDateTimeUtc().addSecs(1));

    // One byte more, one byte changed: the content is not what was signed.
    for (QByteArray changed : {content + ' ', QByteArray(content).replace("4711", "4712")}) {
        const SignatureCheck after = verifySignature(signature.cms, changed, trustOf(keys));
        EXPECT_EQ(after.outcome, Outcome::Changed);
        EXPECT_FALSE(after.trusted());
    }

    // Cut short, not CMS at all, or its signature value altered: damaged.
    QByteArray altered = signature.cms;
    altered[altered.size() - 5] = static_cast<char>(altered[altered.size() - 5] ^ 0x01);
    for (const QByteArray& broken :
         {signature.cms.left(signature.cms.size() / 2), QByteArray("not a signature"), QByteArray(), altered}) {
        const SignatureCheck damaged = verifySignature(broken, content, trustOf(keys));
        EXPECT_EQ(damaged.outcome, Outcome::Damaged);
        EXPECT_FALSE(damaged.detail.isEmpty());
    }
}

TEST(Signing, ReplacedKeyStaysOwnAndOtherOfficesNeedTrust)
{
    QTemporaryDir dir;
    const QString keys = dir.filePath(QStringLiteral("keys"));
    KeyStore store(keys);
    const CertificateInfo first = take(store.create(QStringLiteral("Oficina")));
    const QByteArray content = "an older report";
    const QByteArray old = take(loadSigner(keys)->sign(content)).cms;
    const CertificateInfo second = take(store.create(QStringLiteral("Oficina")));
    ASSERT_NE(first.fingerprint, second.fingerprint);
    EXPECT_EQ(take(store.current())->fingerprint, second.fingerprint);
    const QList<CertificateInfo> own = store.ownCertificates();
    ASSERT_EQ(own.size(), 2);
    EXPECT_EQ(own[0].fingerprint, second.fingerprint);
    EXPECT_EQ(own[1].fingerprint, first.fingerprint);
    EXPECT_EQ(verifySignature(old, content, trustOf(keys)).trust, SignerTrust::Own);

    // Another office signs: known only by its fingerprint until it is added.
    const QString otherKeys = dir.filePath(QStringLiteral("other"));
    KeyStore other(otherKeys);
    take(other.create(QStringLiteral("Otra oficina")));
    const QByteArray foreign = take(loadSigner(otherKeys)->sign(content)).cms;
    TrustStore trust = trustOf(keys);
    SignatureCheck check = verifySignature(foreign, content, trust);
    EXPECT_TRUE(check.valid());
    EXPECT_EQ(check.trust, SignerTrust::Untrusted);

    const QString pem = dir.filePath(QStringLiteral("other.pem"));
    ASSERT_TRUE(succeeded(other.writeCertificate(pem)));
    ASSERT_TRUE(succeeded(trust.add(pem)));
    EXPECT_EQ(verifySignature(foreign, content, trust).trust, SignerTrust::Trusted);
    EXPECT_EQ(verifySignature(foreign, content, trustOf(keys)).trust, SignerTrust::Trusted); // kept in the folder

    // Removing takes a unique prefix; too short a prefix and an own certificate are refused.
    const QString print = QString::fromLatin1(check.signer.fingerprint);
    EXPECT_FALSE(trust.remove(print.left(6)).ok());
    EXPECT_FALSE(trust.remove(QString::fromLatin1(first.fingerprint)).ok());
    EXPECT_TRUE(take(trust.remove(print.left(10).toUpper())));
    EXPECT_EQ(verifySignature(foreign, content, trustOf(keys)).trust, SignerTrust::Untrusted);
}

TEST(Signing, AuthorityVouchesForItsOrganizationOnly)
{
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const TestIdentity ca = makeIdentity(QStringLiteral("Provincia"), now.addDays(-10), now.addYears(5), nullptr, true);
    const TestIdentity ours = makeIdentity(QStringLiteral("Ayuntamiento A"), now.addDays(-1), now.addYears(1), &ca);
    const TestIdentity theirs = makeIdentity(QStringLiteral("Ayuntamiento B"), now.addDays(-1), now.addYears(1), &ca);
    test::writeTestFile(dir.filePath(QStringLiteral("ours.key")), ours.keyPem());
    test::writeTestFile(dir.filePath(QStringLiteral("ours.pem")), ours.certificatePem());
    test::writeTestFile(dir.filePath(QStringLiteral("ca.pem")), ca.certificatePem());
    QProcess openssl;
    openssl.setWorkingDirectory(dir.path());
    openssl.start(QStringLiteral("openssl"),
                  QStringLiteral("pkcs12 -export -inkey ours.key -in ours.pem -certfile "
                                 "ca.pem -passout pass:secreto -out ours.p12")
                      .split(u' '));
    ASSERT_TRUE(openssl.waitForFinished(30000) && openssl.exitCode() == 0);

    // The authority's PKCS#12 is imported: a wrong passphrase or another file is refused.
    const QString keys = dir.filePath(QStringLiteral("keys"));
    KeyStore store(keys);
    const QString p12 = dir.filePath(QStringLiteral("ours.p12"));
    const Result<CertificateInfo> badPass = store.importPkcs12(p12, QStringLiteral("otro"));
    ASSERT_FALSE(badPass.ok());
    EXPECT_TRUE(untranslatedText(badPass.error()).contains(QStringLiteral("frase de paso")));
    EXPECT_FALSE(store.importPkcs12(dir.filePath(QStringLiteral("ours.pem")), QStringLiteral("secreto")).ok());
    EXPECT_EQ(take(store.importPkcs12(p12, QStringLiteral("secreto"))).fingerprint,
              ssl::describe(ours.cert.get()).fingerprint);
    const QString pass = dir.filePath(QStringLiteral("pass.txt"));
    test::writeTestFile(pass, "secreto\n");
    std::unique_ptr<Signer> signer = take(store.load(SigningSetup{keys, pass, {}}));
    ASSERT_TRUE(signer);
    const QByteArray content = "exchange file";
    const QByteArray cms = take(signer->sign(content)).cms;
    EXPECT_EQ(verifySignature(cms, content, trustOf(keys)).trust, SignerTrust::Own);

    // Another PC trusts the authority for organization A only.
    const QString caFile = dir.filePath(QStringLiteral("ca.pem"));
    TrustStore trust = trustOf(dir.filePath(QStringLiteral("elsewhere")));
    EXPECT_FALSE(trust.addAuthority(dir.filePath(QStringLiteral("ours.pem")), QStringLiteral("Ayuntamiento A")).ok());
    EXPECT_FALSE(trust.addAuthority(caFile, QStringLiteral("  ")).ok());
    ASSERT_TRUE(succeeded(trust.addAuthority(caFile, QStringLiteral("Ayuntamiento A"))));
    ASSERT_EQ(trustOf(dir.filePath(QStringLiteral("elsewhere"))).entries().size(), 1);
    EXPECT_EQ(trust.entries()[0].organization, QStringLiteral("Ayuntamiento A"));
    EXPECT_EQ(verifySignature(cms, content, trust).trust, SignerTrust::Trusted);
    EXPECT_EQ(verifySignature(theirs.signAt(content, now, &ca), content, trust).trust, SignerTrust::Untrusted);
    // Signed before the certificate began: the authority did issue it, but not for then.
    EXPECT_EQ(verifySignature(ours.signAt(content, now.addDays(-5), &ca), content, trust).trust,
              SignerTrust::NotValidThen);
}

TEST(Signing, ExpiredCertificateSignsNothingButItsSignaturesStand)
{
    QTemporaryDir dir;
    const QString keys = dir.filePath(QStringLiteral("keys"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const TestIdentity expired = makeIdentity(QStringLiteral("Antigua"), now.addYears(-2), now.addYears(-1));
    const TestIdentity future = makeIdentity(QStringLiteral("Futura"), now.addYears(1), now.addYears(2));
    for (const TestIdentity* identity : {&expired, &future}) {
        ASSERT_TRUE(QDir().mkpath(keys));
        test::writeTestFile(ssl::layout::key(keys), identity->keyPem());
        QFile::setPermissions(ssl::layout::key(keys), QFile::ReadOwner | QFile::WriteOwner);
        test::writeTestFile(ssl::layout::certificate(keys), identity->certificatePem());
        EXPECT_FALSE(KeyStore(keys).load(SigningSetup{keys, {}, {}}).ok());
    }

    const QString pem = dir.filePath(QStringLiteral("expired.pem"));
    test::writeTestFile(pem, expired.certificatePem());
    TrustStore trust = trustOf(keys);
    ASSERT_TRUE(succeeded(trust.add(pem)));
    const QByteArray content = "a report of last year";
    const SignatureCheck then = verifySignature(expired.signAt(content, now.addMonths(-18)), content, trust);
    EXPECT_TRUE(then.trusted()) << then.detail.toStdString();
    EXPECT_EQ(then.time.at.date(), now.addMonths(-18).date());
    const SignatureCheck late = verifySignature(expired.signAt(content, now.addMonths(-6)), content, trust);
    EXPECT_TRUE(late.valid());
    EXPECT_EQ(late.trust, SignerTrust::NotValidThen);
}

} // namespace
} // namespace tvq52
