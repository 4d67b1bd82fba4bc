#include "evidence/openssl_handles.h"
#include "evidence/signing.h"
#include "support/result_checks.h"
#include "support/time_stamp_authority.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tvq52 {
namespace {

using test::succeeded;
using test::take;

CMS_SignerInfo* signerOf(CMS_ContentInfo* cms)
{
    return sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms), 0);
}

// `to` with the time-stamp token of `from` added, as a forger would move it.
QByteArray withTokenOf(const QByteArray& from, const QByteArray& to)
{
    const auto* fromDer = reinterpret_cast<const unsigned char*>(from.constData());
    const auto* toDer = reinterpret_cast<const unsigned char*>(to.constData());
    ssl::Cms source(d2i_CMS_ContentInfo(nullptr, &fromDer, static_cast<long>(from.size())));
    ssl::Cms target(d2i_CMS_ContentInfo(nullptr, &toDer, static_cast<long>(to.size())));
    const int at = CMS_unsigned_get_attr_by_NID(signerOf(source.get()), NID_id_smime_aa_timeStampToken, -1);
    EXPECT_GE(at, 0);
    EXPECT_EQ(CMS_unsigned_add1_attr(signerOf(target.get()), CMS_unsigned_get_attr(signerOf(source.get()), at)), 1);
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(target.get(), &der);
    QByteArray bytes(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return bytes;
}

class TimeStamps : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(authority_.start());
        take(KeyStore(keys_).create(QStringLiteral("Oficina")));
        signer_ = take(KeyStore(keys_).load(SigningSetup{keys_, {}, authority_.url()}));
        ASSERT_TRUE(signer_);
    }

    // A trust store that knows the authority's CA.
    TrustStore trustingAuthority()
    {
        TrustStore trust = take(TrustStore::load(keys_));
        EXPECT_TRUE(succeeded(trust.add(authority_.caCertificateFile())));
        return trust;
    }

    QTemporaryDir dir_;
    QString keys_ = dir_.filePath(QStringLiteral("keys"));
    test::TimeStampAuthority authority_;
    std::unique_ptr<Signer> signer_;
    const QByteArray content_ = "journal entry stamped by an authority";
};

TEST_F(TimeStamps, TokenFromATrustedAuthorityProvesTheTime)
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-2);
    const Signature signature = take(signer_->sign(content_));
    EXPECT_TRUE(signature.timeStamped) << signature.timeStampProblem.toStdString();
    EXPECT_TRUE(signature.timeStampProblem.isEmpty());

    // An authority nobody here trusts proves nothing: the signer's own clock says when.
    const SignatureCheck unproven = verifySignature(signature.cms, content_, take(TrustStore::load(keys_)));
    EXPECT_TRUE(unproven.trusted());
    EXPECT_FALSE(unproven.time.proven);
    EXPECT_TRUE(unproven.time.at.isValid());
    EXPECT_TRUE(unproven.time.authority.isEmpty());

    const SignatureCheck proven = verifySignature(signature.cms, content_, trustingAuthority());
    EXPECT_TRUE(proven.trusted()) << proven.detail.toStdString();
    EXPECT_TRUE(proven.time.proven);
    EXPECT_TRUE(proven.time.authority.contains(QStringLiteral("TestTSA")));
    EXPECT_GE(proven.time.at, before);
    EXPECT_LE(proven.time.at, QDateTime::currentDateTimeUtc().addSecs(2));
    EXPECT_EQ(verifySignature(signature.cms, content_ + '!', trustingAuthority()).outcome,
              SignatureCheck::Outcome::Changed);

    // A token moved onto another signature does not cover its value.
    std::unique_ptr<Signer> unstamped = take(KeyStore(keys_).load(SigningSetup{keys_, {}, {}}));
    const QByteArray moved = withTokenOf(signature.cms, take(unstamped->sign(content_)).cms);
    const SignatureCheck forged = verifySignature(moved, content_, trustingAuthority());
    EXPECT_TRUE(forged.valid());
    EXPECT_FALSE(forged.time.proven);
}

TEST_F(TimeStamps, AuthorityThatRefusesOrIsAwayLeavesTheSignatureMade)
{
    authority_.setRefusing(true);
    const Signature refused = take(signer_->sign(content_));
    EXPECT_FALSE(refused.timeStamped);
    EXPECT_TRUE(refused.timeStampProblem.contains(QStringLiteral("refused")));
    const SignatureCheck check = verifySignature(refused.cms, content_, trustingAuthority());
    EXPECT_TRUE(check.trusted());
    EXPECT_FALSE(check.time.proven);

    // Stamped later, once the authority answers again.
    EXPECT_FALSE(addTimeStamp(refused.cms, authority_.url()).ok());
    authority_.setRefusing(false);
    const QByteArray stamped = take(addTimeStamp(refused.cms, authority_.url()));
    EXPECT_TRUE(verifySignature(stamped, content_, trustingAuthority()).time.proven);
    EXPECT_EQ(take(addTimeStamp(stamped, authority_.url())), stamped); // already stamped: as it was

    authority_.stop();
    const Signature away = take(signer_->sign(content_));
    EXPECT_FALSE(away.timeStamped);
    EXPECT_FALSE(away.timeStampProblem.isEmpty());
    EXPECT_TRUE(verifySignature(away.cms, content_, trustingAuthority()).valid());
}

} // namespace
} // namespace tvq52
