#include "evidence/test_identity.h"

#include <QFile>
#include <gtest/gtest.h>

#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace tvq52::test {

QByteArray TestIdentity::certificatePem() const
{
    return ssl::describe(cert.get()).pem;
}

QByteArray TestIdentity::keyPem() const
{
    ssl::Bio out(BIO_new(BIO_s_mem()));
    PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    return ssl::bioBytes(out.get());
}

QByteArray TestIdentity::signAt(QByteArrayView content, const QDateTime& at, const TestIdentity* issuer) const
{
    const unsigned int flags = CMS_DETACHED | CMS_BINARY | CMS_PARTIAL;
    ssl::Cms cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
    CMS_SignerInfo* signer = CMS_add1_signer(cms.get(), cert.get(), key.get(), EVP_sha256(), flags);
    EXPECT_TRUE(signer);
    if (issuer)
        CMS_add1_cert(cms.get(), issuer->cert.get());
    ssl::Time time = ssl::toAsn1Time(at);
    CMS_signed_add1_attr_by_NID(signer, NID_pkcs9_signingTime, ASN1_STRING_type(time.get()), time.get(), -1);
    ssl::Bio data = ssl::memoryBio(content);
    EXPECT_EQ(CMS_final(cms.get(), data.get(), nullptr, flags & ~CMS_PARTIAL), 1);
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(cms.get(), &der);
    QByteArray bytes(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return bytes;
}

TestIdentity makeIdentity(const QString& organization, const QDateTime& from, const QDateTime& to,
                          const TestIdentity* issuer, bool authority)
{
    TestIdentity made{ssl::Key(EVP_EC_gen("P-256")), ssl::Cert(X509_new())};
    X509* cert = made.cert.get();
    X509_set_version(cert, X509_VERSION_3);
    // Issuer and serial name the signer inside a signature: each one its own.
    static long serial = QDateTime::currentSecsSinceEpoch();
    ASN1_INTEGER_set(X509_get_serialNumber(cert), ++serial);
    const QByteArray org = organization.toUtf8();
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_NID(name, NID_organizationName, MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(org.constData()), -1, -1, 0);
    X509_NAME_add_entry_by_NID(name, NID_commonName, MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(authority ? "CA" : "Office"), -1, -1, 0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer->cert.get()) : name);
    X509_set1_notBefore(cert, ssl::toAsn1Time(from).get());
    X509_set1_notAfter(cert, ssl::toAsn1Time(to).get());
    X509_set_pubkey(cert, made.key.get());
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer ? issuer->cert.get() : cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* basic =
        X509V3_EXT_conf(nullptr, &ctx, "basicConstraints", authority ? "critical,CA:TRUE" : "critical,CA:FALSE");
    X509_add_ext(cert, basic, -1);
    X509_EXTENSION_free(basic);
    EXPECT_GT(X509_sign(cert, issuer ? issuer->key.get() : made.key.get(), EVP_sha256()), 0);
    return made;
}

void writeTestFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

} // namespace tvq52::test
