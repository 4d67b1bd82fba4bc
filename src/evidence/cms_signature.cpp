#include "evidence/openssl_handles.h"
#include "evidence/time_stamp_token.h"

#include "core/own_words.h"

#include <openssl/err.h>

namespace tvq52 {

namespace {

constexpr unsigned int kSignFlags = CMS_DETACHED | CMS_BINARY | CMS_NOSMIMECAP;

QByteArray derOf(CMS_ContentInfo* cms)
{
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(cms, &der);
    if (length <= 0)
        return {};
    QByteArray bytes(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return bytes;
}

class KeySigner final : public Signer {
public:
    KeySigner(ssl::Key key, ssl::Cert cert, std::vector<ssl::Cert> chain, QString timestampUrl)
        : key_(std::move(key)),
          cert_(std::move(cert)),
          chain_(std::move(chain)),
          url_(std::move(timestampUrl)),
          info_(ssl::describe(cert_.get()))
    {}

    const CertificateInfo& certificate() const override { return info_; }

    Result<Signature> sign(QByteArrayView content, Stamp stamp) override
    {
        if (!info_.validAt(QDateTime::currentDateTimeUtc()))
            return ssl::notValidNow(info_);
        ssl::Cms cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, kSignFlags | CMS_PARTIAL));
        CMS_SignerInfo* signer =
            cms ? CMS_add1_signer(cms.get(), cert_.get(), key_.get(), EVP_sha256(), kSignFlags | CMS_PARTIAL) : nullptr;
        bool made = signer != nullptr && CMS_set_detached(cms.get(), 1) == 1;
        for (const ssl::Cert& link : chain_)
            made = made && CMS_add1_cert(cms.get(), link.get()) == 1;
        ssl::Bio data = ssl::memoryBio(content);
        made = made && CMS_final(cms.get(), data.get(), nullptr, kSignFlags) == 1;
        if (!made)
            return ownWords(QStringLiteral("No se puede firmar: %1"), {ssl::lastError()});
        Signature signature;
        if (!url_.isEmpty() && stamp == Stamp::Now) {
            signature.timeStampProblem = ssl::addTimeStampToken(signer, url_);
            signature.timeStamped = signature.timeStampProblem.isEmpty();
        }
        signature.cms = derOf(cms.get());
        return signature;
    }

private:
    ssl::Key key_;
    ssl::Cert cert_;
    std::vector<ssl::Cert> chain_;
    QString url_;
    CertificateInfo info_;
};

SignatureCheck damaged(SignatureCheck check, const QString& why)
{
    check.outcome = SignatureCheck::Outcome::Damaged;
    check.detail = why;
    ERR_clear_error();
    return check;
}

// The signature's one signer, or null (with why) when it has not exactly one.
CMS_SignerInfo* onlySigner(CMS_ContentInfo* cms, QString* why)
{
    if (OBJ_obj2nid(CMS_get0_type(cms)) != NID_pkcs7_signed) {
        *why = QStringLiteral("not a CMS SignedData");
        return nullptr;
    }
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms);
    if (sk_CMS_SignerInfo_num(signers) != 1) {
        *why = QStringLiteral("%1 signers where one is expected").arg(sk_CMS_SignerInfo_num(signers));
        return nullptr;
    }
    return sk_CMS_SignerInfo_value(signers, 0);
}

Result<QDateTime> signedTime(CMS_SignerInfo* signer)
{
    const int at = CMS_signed_get_attr_by_NID(signer, NID_pkcs9_signingTime, -1);
    if (at < 0)
        return QDateTime();
    const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(CMS_signed_get_attr(signer, at), 0);
    const int type = value ? ASN1_TYPE_get(value) : 0;
    if (type != V_ASN1_UTCTIME && type != V_ASN1_GENERALIZEDTIME)
        return Error(0, QStringLiteral("signing time of an unknown type"));
    const QDateTime time = ssl::toDateTime(value->value.utctime);
    if (!time.isValid())
        return Error(0, QStringLiteral("unreadable signing time"));
    return time;
}

// Whether the digest the signer signed is that of `content`; the error says
// why no answer can be given.
Result<bool> contentMatches(CMS_SignerInfo* signer, QByteArrayView content)
{
    X509_ALGOR* digestAlgorithm = nullptr;
    CMS_SignerInfo_get0_algs(signer, nullptr, nullptr, &digestAlgorithm, nullptr);
    const ASN1_OBJECT* oid = nullptr;
    X509_ALGOR_get0(&oid, nullptr, nullptr, digestAlgorithm);
    const int nid = OBJ_obj2nid(oid);
    // Collisions are within reach for the older digests: they prove nothing.
    if (nid != NID_sha256 && nid != NID_sha384 && nid != NID_sha512)
        return Error(0, QStringLiteral("digest algorithm not accepted: %1").arg(QString::fromLatin1(OBJ_nid2sn(nid))));
    const auto* expected = static_cast<const ASN1_OCTET_STRING*>(
        CMS_signed_get0_data_by_OBJ(signer, OBJ_nid2obj(NID_pkcs9_messageDigest), -3, V_ASN1_OCTET_STRING));
    if (!expected)
        return Error(0, QStringLiteral("no message digest attribute"));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(content.data(), static_cast<size_t>(content.size()), digest, &length, EVP_get_digestbynid(nid),
                   nullptr)
        != 1)
        return Error(0, ssl::lastError());
    return static_cast<int>(length) == ASN1_STRING_length(expected)
        && CRYPTO_memcmp(digest, ASN1_STRING_get0_data(expected), length) == 0;
}

} // namespace

std::unique_ptr<Signer> ssl::makeSigner(Key key, Cert cert, std::vector<Cert> chain, QString timestampUrl)
{
    return std::make_unique<KeySigner>(std::move(key), std::move(cert), std::move(chain), std::move(timestampUrl));
}

SignatureCheck verifySignature(const QByteArray& cms, QByteArrayView content, const TrustStore& trust)
{
    SignatureCheck check;
    const auto* der = reinterpret_cast<const unsigned char*>(cms.constData());
    ssl::Cms parsed(d2i_CMS_ContentInfo(nullptr, &der, static_cast<long>(cms.size())));
    if (!parsed)
        return damaged(check, ssl::lastError());
    QString why;
    CMS_SignerInfo* signer = onlySigner(parsed.get(), &why);
    if (!signer)
        return damaged(check, why);

    ssl::CertStack carried(CMS_get1_certs(parsed.get()));
    X509* signerCert = nullptr;
    QList<QByteArray> carriedDer;
    for (int i = 0; carried && i < sk_X509_num(carried.get()); ++i) {
        X509* cert = sk_X509_value(carried.get(), i);
        carriedDer.append(ssl::derOf(cert));
        if (!signerCert && CMS_SignerInfo_cert_cmp(signer, cert) == 0)
            signerCert = cert;
    }
    if (!signerCert)
        return damaged(check, QStringLiteral("the signer's certificate is not in the signature"));
    check.signer = ssl::describe(signerCert);
    CMS_SignerInfo_set1_signer_cert(signer, signerCert);
    if (CMS_SignerInfo_verify(signer) != 1)
        return damaged(check,
                       QStringLiteral("the signature does not verify with its certificate: ") + ssl::lastError());
    Result<QDateTime> signedAt = signedTime(signer);
    if (!signedAt)
        return damaged(check, signedAt.error().detail);
    check.time.at = *signedAt;
    if (std::optional<SigningTime> stamped = ssl::provenTime(signer, trust))
        check.time = *stamped;
    const QDateTime judgedAt = check.time.at.isValid() ? check.time.at : QDateTime::currentDateTimeUtc();
    check.trust = trust.judge(check.signer, carriedDer, judgedAt);

    Result<bool> matches = contentMatches(signer, content);
    if (!matches)
        return damaged(check, matches.error().detail);
    if (!*matches) {
        check.outcome = SignatureCheck::Outcome::Changed;
        check.detail = QStringLiteral("the content's digest differs from the signed one");
        return check;
    }
    check.outcome = SignatureCheck::Outcome::Valid;
    return check;
}

Result<QByteArray> addTimeStamp(const QByteArray& cms, const QString& timestampUrl)
{
    const auto* der = reinterpret_cast<const unsigned char*>(cms.constData());
    ssl::Cms parsed(d2i_CMS_ContentInfo(nullptr, &der, static_cast<long>(cms.size())));
    QString why = parsed ? QString() : ssl::lastError();
    CMS_SignerInfo* signer = parsed ? onlySigner(parsed.get(), &why) : nullptr;
    if (!signer)
        return ownWords(QStringLiteral("La firma no se puede leer para sellarla: %1"), {why});
    if (CMS_unsigned_get_attr_by_NID(signer, NID_id_smime_aa_timeStampToken, -1) >= 0)
        return cms;
    const QString problem = ssl::addTimeStampToken(signer, timestampUrl);
    if (!problem.isEmpty())
        return ownWords(QStringLiteral("La autoridad de sellado de tiempo %1 no ha sellado la firma: %2"),
                        {timestampUrl, problem});
    return derOf(parsed.get());
}

} // namespace tvq52
