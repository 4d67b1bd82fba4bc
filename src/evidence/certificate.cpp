#include "evidence/openssl_handles.h"

#include "core/sha256.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <ctime>

namespace tvq52 {

QByteArray sha256Hex(QByteArrayView bytes)
{
    return Sha256::hex(bytes);
}

namespace ssl {

Bio memoryBio(QByteArrayView bytes)
{
    return Bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

QByteArray bioBytes(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<qsizetype>(size));
}

QString lastError()
{
    QStringList reasons;
    while (unsigned long code = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        reasons << QString::fromLatin1(text);
    }
    return reasons.isEmpty() ? QStringLiteral("unknown error") : reasons.join(QStringLiteral("; "));
}

QDateTime toDateTime(const ASN1_TIME* time)
{
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

Time toAsn1Time(const QDateTime& at)
{
    return Time(ASN1_TIME_set(nullptr, static_cast<time_t>(at.toSecsSinceEpoch())));
}

static QString nameEntry(X509_NAME* name, int nid)
{
    const int at = X509_NAME_get_index_by_NID(name, nid, -1);
    if (at < 0)
        return {};
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at)));
    if (length < 0)
        return {};
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(utf8), length);
    OPENSSL_free(utf8);
    return text;
}

QByteArray derOf(X509* cert)
{
    unsigned char* der = nullptr;
    const int length = i2d_X509(cert, &der);
    if (length <= 0)
        return {};
    QByteArray bytes(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return bytes;
}

CertificateInfo describe(X509* cert)
{
    CertificateInfo info;
    X509_NAME* subject = X509_get_subject_name(cert);
    info.commonName = nameEntry(subject, NID_commonName);
    info.organization = nameEntry(subject, NID_organizationName);
    Bio line(BIO_new(BIO_s_mem()));
    // RFC 2253's order (CN first) with its escapes, but accents kept as UTF-8.
    const unsigned long flags =
        (ASN1_STRFLGS_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) | XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_DN_REV | XN_FLAG_FN_SN;
    X509_NAME_print_ex(line.get(), subject, 0, flags);
    info.subject = QString::fromUtf8(bioBytes(line.get()));
    info.fingerprint = sha256Hex(derOf(cert));
    info.notBefore = toDateTime(X509_get0_notBefore(cert));
    info.notAfter = toDateTime(X509_get0_notAfter(cert));
    Bio pem(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(pem.get(), cert);
    info.pem = bioBytes(pem.get());
    return info;
}

Cert parseCertificate(QByteArrayView bytes)
{
    Bio in = memoryBio(bytes);
    Cert cert(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
    if (!cert) {
        const auto* der = reinterpret_cast<const unsigned char*>(bytes.data());
        cert.reset(d2i_X509(nullptr, &der, static_cast<long>(bytes.size())));
    }
    ERR_clear_error();
    return cert;
}

std::vector<Cert> parseCertificates(QByteArrayView pem)
{
    std::vector<Cert> certs;
    Bio in = memoryBio(pem);
    while (X509* cert = PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr))
        certs.emplace_back(cert);
    ERR_clear_error(); // the end of the input reads as an error
    return certs;
}

Cert parsePem(const CertificateInfo& info)
{
    return parseCertificate(info.pem);
}

} // namespace ssl
} // namespace tvq52
