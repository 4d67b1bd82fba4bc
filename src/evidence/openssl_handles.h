#pragma once

// The signing sources' shared handles on libcrypto. Only src/evidence
// includes this: the other layers see signing.h, which names no library type.

#include "evidence/signing.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace tvq52::ssl {

template <auto Free> struct Deleter {
    template <typename T> void operator()(T* p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509_free>>;
using Cms = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo_free>>;
using Store = std::unique_ptr<X509_STORE, Deleter<X509_STORE_free>>;
using StoreContext = std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX_free>>;
using Time = std::unique_ptr<ASN1_TIME, Deleter<ASN1_TIME_free>>;

struct CertStackFree {
    void operator()(STACK_OF(X509) * s) const { sk_X509_pop_free(s, X509_free); }
};
using CertStack = std::unique_ptr<STACK_OF(X509), CertStackFree>;

// A read-only memory BIO over `bytes`, which must outlive it.
Bio memoryBio(QByteArrayView bytes);
// Everything written to a memory BIO.
QByteArray bioBytes(BIO* bio);
// The library's queued errors as one line, the queue emptied.
QString lastError();

QDateTime toDateTime(const ASN1_TIME* time);
Time toAsn1Time(const QDateTime& at);

// The certificate as the program shows it.
CertificateInfo describe(X509* cert);
QByteArray derOf(X509* cert);
// The first certificate in PEM (or DER) bytes; null when there is none.
Cert parseCertificate(QByteArrayView bytes);
Cert parsePem(const CertificateInfo& info);
// Every certificate in PEM bytes, in their order.
std::vector<Cert> parseCertificates(QByteArrayView pem);

// A signer over a key and certificate that belong together; `chain` goes
// into each signature after the certificate.
std::unique_ptr<Signer> makeSigner(Key key, Cert cert, std::vector<Cert> chain, QString timestampUrl);
// Refuses a new signature with a certificate outside its validity.
Error notValidNow(const CertificateInfo& info);

// The keys folder: the private key, the current certificate (and the chain
// that issued it), every certificate this PC had, and the ones trusted.
namespace layout {
inline QString key(const QString& folder)
{
    return folder + QStringLiteral("/key.pem");
}
inline QString certificate(const QString& folder)
{
    return folder + QStringLiteral("/certificate.pem");
}
inline QString own(const QString& folder)
{
    return folder + QStringLiteral("/own");
}
inline QString trusted(const QString& folder)
{
    return folder + QStringLiteral("/trusted");
}
inline QString authorities(const QString& folder)
{
    return folder + QStringLiteral("/authorities");
}
} // namespace layout

// Writes `bytes` whole or not at all, the file created with `mode`.
Status writeFileAtomically(const QString& path, const QByteArray& bytes, int mode = 0644);
// Makes `path` (and its parents), the last one private to its owner.
Status makePrivateFolder(const QString& path);
// Writes each file in turn into `dir` (made private, like `folder` above
// it), stopping at the first that fails.
struct FileToWrite {
    QString name;
    QByteArray bytes;
    int mode = 0644;
};
Status writeFiles(const QString& folder, const QString& dir, const QList<FileToWrite>& files);

} // namespace tvq52::ssl
