#include "evidence/time_stamp_token.h"

#include "evidence/openssl_handles.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ts.h>

namespace tvq52::ssl {

namespace {

using Request = std::unique_ptr<TS_REQ, Deleter<TS_REQ_free>>;
using Response = std::unique_ptr<TS_RESP, Deleter<TS_RESP_free>>;
using Imprint = std::unique_ptr<TS_MSG_IMPRINT, Deleter<TS_MSG_IMPRINT_free>>;
using Algorithm = std::unique_ptr<X509_ALGOR, Deleter<X509_ALGOR_free>>;
using Integer = std::unique_ptr<ASN1_INTEGER, Deleter<ASN1_INTEGER_free>>;
using Token = std::unique_ptr<PKCS7, Deleter<PKCS7_free>>;
using TokenInfo = std::unique_ptr<TS_TST_INFO, Deleter<TS_TST_INFO_free>>;
using Number = std::unique_ptr<BIGNUM, Deleter<BN_free>>;

// Long enough for an authority across the country, short enough that a
// download does not seem to hang when it is away.
constexpr int kAnswerWithinMs = 15000;

QByteArray signatureValue(CMS_SignerInfo* signer)
{
    const ASN1_OCTET_STRING* value = CMS_SignerInfo_get0_signature(signer);
    return QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)), ASN1_STRING_length(value));
}

// The digest of `bytes` with the algorithm `nid`, when it is one that proves anything.
QByteArray digestOf(int nid, const QByteArray& bytes)
{
    if (nid != NID_sha256 && nid != NID_sha384 && nid != NID_sha512)
        return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.constData(), static_cast<size_t>(bytes.size()), digest, &length, EVP_get_digestbynid(nid),
                   nullptr)
        != 1)
        return {};
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length));
}

bool imprintMatches(TS_TST_INFO* info, const QByteArray& signature)
{
    TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(info);
    const ASN1_OBJECT* oid = nullptr;
    X509_ALGOR_get0(&oid, nullptr, nullptr, TS_MSG_IMPRINT_get_algo(imprint));
    const QByteArray expected = digestOf(OBJ_obj2nid(oid), signature);
    const ASN1_OCTET_STRING* stated = TS_MSG_IMPRINT_get_msg(imprint);
    return !expected.isEmpty() && expected.size() == ASN1_STRING_length(stated)
        && CRYPTO_memcmp(expected.constData(), ASN1_STRING_get0_data(stated), static_cast<size_t>(expected.size()))
        == 0;
}

template <typename T, int (*Encode)(const T*, unsigned char**)> QByteArray encode(const T* value)
{
    unsigned char* der = nullptr;
    const int length = Encode(value, &der);
    if (length <= 0)
        return {};
    QByteArray bytes(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return bytes;
}

Request makeRequest(const QByteArray& signature, Integer* nonce)
{
    Request request(TS_REQ_new());
    Imprint imprint(TS_MSG_IMPRINT_new());
    Algorithm algorithm(X509_ALGOR_new());
    unsigned char random[8];
    Number number(BN_new());
    if (!request || !imprint || !algorithm || !number || RAND_bytes(random, sizeof random) != 1
        || !BN_bin2bn(random, sizeof random, number.get()))
        return {};
    nonce->reset(BN_to_ASN1_INTEGER(number.get(), nullptr));
    const QByteArray digest = digestOf(NID_sha256, signature);
    X509_ALGOR_set0(algorithm.get(), OBJ_nid2obj(NID_sha256), V_ASN1_NULL, nullptr);
    const bool made = *nonce && TS_REQ_set_version(request.get(), 1)
        && TS_MSG_IMPRINT_set_algo(imprint.get(), algorithm.get())
        && TS_MSG_IMPRINT_set_msg(imprint.get(),
                                  reinterpret_cast<unsigned char*>(const_cast<char*>(digest.constData())),
                                  static_cast<int>(digest.size()))
        && TS_REQ_set_msg_imprint(request.get(), imprint.get()) && TS_REQ_set_nonce(request.get(), nonce->get())
        && TS_REQ_set_cert_req(request.get(), 1);
    return made ? std::move(request) : Request();
}

// The authority's answer to `query`; the problem, when there is no answer.
QByteArray post(const QString& url, const QByteArray& query, QString* problem)
{
    const QUrl address(url);
    if (!address.isValid() || (address.scheme() != u"http" && address.scheme() != u"https")) {
        *problem = QStringLiteral("not an http(s) address: %1").arg(url);
        return {};
    }
    QNetworkAccessManager manager;
    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/timestamp-query"));
    request.setTransferTimeout(kAnswerWithinMs);
    std::unique_ptr<QNetworkReply> reply(manager.post(request, query));
    // The wait runs the thread's events: windows repaint, a test's authority answers.
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kAnswerWithinMs + 1000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!reply->isFinished()) {
        reply->abort();
        *problem = QStringLiteral("no answer from %1 within %2 s").arg(url).arg(kAnswerWithinMs / 1000);
        return {};
    }
    if (reply->error() != QNetworkReply::NoError) {
        *problem = reply->errorString();
        return {};
    }
    return reply->readAll();
}

// The token of the authority's reply to a query with `nonce` over `signature`.
Token tokenOf(const QByteArray& answer, const ASN1_INTEGER* nonce, const QByteArray& signature, QString* problem)
{
    const auto* der = reinterpret_cast<const unsigned char*>(answer.constData());
    Response response(d2i_TS_RESP(nullptr, &der, static_cast<long>(answer.size())));
    if (!response) {
        *problem = QStringLiteral("the authority's reply is not a time-stamp response");
        return {};
    }
    TS_STATUS_INFO* status = TS_RESP_get_status_info(response.get());
    const long granted = ASN1_INTEGER_get(TS_STATUS_INFO_get0_status(status));
    if (granted != TS_STATUS_GRANTED && granted != TS_STATUS_GRANTED_WITH_MODS) {
        QString text;
        const STACK_OF(ASN1_UTF8STRING)* said = TS_STATUS_INFO_get0_text(status);
        for (int i = 0; said && i < sk_ASN1_UTF8STRING_num(said); ++i) {
            const ASN1_UTF8STRING* line = sk_ASN1_UTF8STRING_value(said, i);
            text += u' '
                + QString::fromUtf8(reinterpret_cast<const char*>(ASN1_STRING_get0_data(line)),
                                    ASN1_STRING_length(line));
        }
        *problem = QStringLiteral("the authority refused (status %1)%2").arg(granted).arg(text);
        return {};
    }
    TS_TST_INFO* info = TS_RESP_get_tst_info(response.get());
    PKCS7* token = TS_RESP_get_token(response.get());
    const ASN1_INTEGER* echoed = info ? TS_TST_INFO_get_nonce(info) : nullptr;
    if (!token || !echoed || ASN1_INTEGER_cmp(echoed, nonce) != 0 || !imprintMatches(info, signature)) {
        *problem = QStringLiteral("the authority's token is not for this query");
        return {};
    }
    return Token(PKCS7_dup(token));
}

} // namespace

QString addTimeStampToken(CMS_SignerInfo* signer, const QString& url)
{
    const QByteArray signature = signatureValue(signer);
    Integer nonce;
    Request request = makeRequest(signature, &nonce);
    const QByteArray query = request ? encode<TS_REQ, i2d_TS_REQ>(request.get()) : QByteArray();
    if (query.isEmpty())
        return lastError();
    QString problem;
    const QByteArray answer = post(url, query, &problem);
    if (!problem.isEmpty())
        return problem;
    Token token = tokenOf(answer, nonce.get(), signature, &problem);
    if (!token)
        return problem;
    const QByteArray der = encode<PKCS7, i2d_PKCS7>(token.get());
    // A SEQUENCE attribute value holds the token's whole encoding as it stands.
    if (der.isEmpty()
        || CMS_unsigned_add1_attr_by_NID(signer, NID_id_smime_aa_timeStampToken, V_ASN1_SEQUENCE, der.constData(),
                                         static_cast<int>(der.size()))
            != 1)
        return lastError();
    return {};
}

std::optional<SigningTime> provenTime(CMS_SignerInfo* signer, const TrustStore& trust)
{
    const int at = CMS_unsigned_get_attr_by_NID(signer, NID_id_smime_aa_timeStampToken, -1);
    if (at < 0)
        return std::nullopt;
    const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(CMS_unsigned_get_attr(signer, at), 0);
    if (!value || ASN1_TYPE_get(value) != V_ASN1_SEQUENCE)
        return std::nullopt;
    const unsigned char* der = ASN1_STRING_get0_data(value->value.sequence);
    Token token(d2i_PKCS7(nullptr, &der, ASN1_STRING_length(value->value.sequence)));
    TokenInfo info(token ? PKCS7_to_TS_TST_INFO(token.get()) : nullptr);
    if (!info || !imprintMatches(info.get(), signatureValue(signer))) {
        ERR_clear_error();
        return std::nullopt;
    }
    const QDateTime generated = toDateTime(TS_TST_INFO_get_time(info.get()));
    Store store(X509_STORE_new());
    if (!generated.isValid() || !store)
        return std::nullopt;
    // The authority chains to a certificate trusted here or to the system's
    // authorities, judged when it stamped.
    X509_STORE_set_default_paths(store.get());
    for (const TrustStore::Entry& entry : trust.entries())
        if (Cert cert = parsePem(entry.certificate))
            X509_STORE_add_cert(store.get(), cert.get());
    X509_VERIFY_PARAM* param = X509_STORE_get0_param(store.get());
    X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_PARTIAL_CHAIN);
    X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(generated.toSecsSinceEpoch()));
    X509* authority = nullptr;
    // Checks the token's signature, its signer's certificate for the
    // timeStamping purpose (a critical extended key usage) and its chain.
    const bool verified = TS_RESP_verify_signature(token.get(), nullptr, store.get(), &authority) == 1;
    Cert authorityCert(authority);
    ERR_clear_error();
    if (!verified)
        return std::nullopt;
    return SigningTime{generated, true, describe(authorityCert.get()).subject};
}

} // namespace tvq52::ssl
