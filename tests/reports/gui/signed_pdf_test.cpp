#include "evidence/signed_pdf.h"
#include "evidence/signing.h"
#include "i18n/translator.h"
#include "reports/fleet_report.h"
#include "reports/report.h"
#include "support/file_bytes.h"
#include "support/result_checks.h"
#include "support/scripted_prompter.h"
#include "support/time_stamp_authority.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

const char kTemplate[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<reports>
  <report name="Signed" margins="10 10 10 10" size="9">
    <band kind="header" height="20">
      <field name="Level" kind="text" text="Leq 96.4 dB" x="0" y="0" w="90" h="6"/>
    </band>
    <pageFooter height="8">
      <field name="Firma" kind="text" x="0" y="2" w="190" h="4" size="6"/>
    </pageFooter>
  </report>
</reports>)";

RenderedReport rendered()
{
    auto report = Report::fromXml(kTemplate, QStringLiteral("Signed"));
    EXPECT_TRUE(report.ok());
    return report ? take((*report)->render(ReportSources())) : RenderedReport();
}

// This run's signing from a keys folder of its own, with a new key in it.
class SignedPdf : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString keys = dir.filePath(QStringLiteral("keys"));
    QString path = dir.filePath(QStringLiteral("signed.pdf"));

    void SetUp() override
    {
        ASSERT_TRUE(succeeded(KeyStore(keys).create(QStringLiteral("Ayuntamiento de Prueba")).status()));
        OfficeSigning::configure({keys, {}, {}});
    }
    void TearDown() override { OfficeSigning::configure({}); }

    ReportSignature signature() { return take(checkReportSignature(path, OfficeSigning::trust())); }
};

} // namespace

TEST_F(SignedPdf, AReaderFindsItValidWholeArchivalAndNamingItsSigner)
{
    const QString fleet = dir.filePath(QStringLiteral("fleet.pdf"));
    ASSERT_TRUE(succeeded(rendered().writePdf(path, QStringLiteral("Signed"))));
    FleetTable table{QStringLiteral("Estado"), {"Número de serie"}, {{"305"}, {"c0ffee"}}, {QStringLiteral("Oficina")}, {}, {}};
    ASSERT_TRUE(succeeded(writeFleetPdf(table, fleet)));
    const CertificateInfo own = *take(KeyStore(keys).current());
    for (const QString& file : {path, fleet}) {
        const QString checked = toolOutput(QStringLiteral("pdfsig"), {file}, true);
        EXPECT_TRUE(checked.contains(QStringLiteral("Signature is Valid"))) << qPrintable(checked);
        EXPECT_TRUE(checked.contains(QStringLiteral("Total document signed"))) << qPrintable(checked);
        const QString text = toolOutput(QStringLiteral("pdftotext"), {file, QStringLiteral("-")});
        EXPECT_TRUE(text.contains(signerLine(QString::fromUtf8(kSignerLinePattern), own))) << qPrintable(text);
        // A digest copied out of the PDF must not come back with ligatures.
        EXPECT_FALSE(text.contains(QChar(0xFB00)) || text.contains(QChar(0xFB01))) << qPrintable(text);
    }
    EXPECT_TRUE(toolOutput(QStringLiteral("pdftotext"), {fleet, QStringLiteral("-")}).contains(QStringLiteral("c0ffee")));
    const QByteArray pdf = readBytes(path);
    EXPECT_TRUE(pdf.contains("<pdfaid:part>1</pdfaid:part>") || pdf.contains("pdfaid:part=\"1\""));
    EXPECT_TRUE(pdf.contains("<pdfaid:conformance>B</pdfaid:conformance>") || pdf.contains("pdfaid:conformance=\"B\""));
    EXPECT_TRUE(pdf.contains("/Rect [0 0 0 0] /F 132")) << "invisible, printed, locked, and not hidden";
    EXPECT_EQ(pdf.count("%%EOF"), 2) << "one update appended to the file as written";

    const ReportSignature s = signature();
    EXPECT_TRUE(s.passed());
    EXPECT_EQ(s.check.signer.fingerprint, own.fingerprint);
    EXPECT_EQ(s.check.trust, SignerTrust::Own);
    EXPECT_FALSE(s.check.time.proven) << "the PC's clock proves nothing";
    EXPECT_LE(std::abs(s.check.time.at.secsTo(QDateTime::currentDateTimeUtc())), 60);
}

TEST_F(SignedPdf, NoKeyWritesUnsignedAKeyThatDoesNotLoadWritesNothing)
{
    OfficeSigning::configure({});
    ASSERT_TRUE(succeeded(rendered().writePdf(path)));
    const QByteArray unsignedFile = readBytes(path);
    EXPECT_FALSE(signature().present());
    EXPECT_FALSE(
        toolOutput(QStringLiteral("pdftotext"), {path, QStringLiteral("-")}).contains(QStringLiteral("Firmado")));

    // A key whose passphrase is not at hand is refused: the earlier file stays as it was.
    const QString locked = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(succeeded(KeyStore(locked).create(QStringLiteral("Otra"), QStringLiteral("secreta")).status()));
    OfficeSigning::configure({locked, {}, {}});
    EXPECT_FALSE(rendered().writePdf(path).ok());
    EXPECT_EQ(readBytes(path), unsignedFile);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"signed.pdf"})) << "no file left beside it";
}

TEST_F(SignedPdf, ATimeStampedSignatureIsReportedAsProven)
{
    TimeStampAuthority authority;
    ASSERT_TRUE(authority.start());
    Result<TrustStore> trust = TrustStore::load(keys);
    ASSERT_TRUE(trust.ok());
    ASSERT_TRUE(succeeded(trust->add(authority.caCertificateFile())));
    OfficeSigning::configure({keys, {}, authority.url()});
    ASSERT_TRUE(succeeded(rendered().writePdf(path)));
    const ReportSignature s = signature();
    EXPECT_TRUE(s.passed());
    EXPECT_TRUE(s.check.time.proven);
    EXPECT_FALSE(s.check.time.authority.isEmpty());
}

// An authority that does not answer leaves the PDF written and signed, and
// the user is told its time rests on the PC's clock.
TEST_F(SignedPdf, AnAuthorityThatDoesNotAnswerLeavesItSignedAndSaysSo)
{
    TimeStampAuthority authority;
    ASSERT_TRUE(authority.start());
    authority.setRefusing(true);
    OfficeSigning::configure({keys, {}, authority.url()});
    ASSERT_TRUE(succeeded(rendered().writePdf(path)));
    const ReportSignature s = signature();
    EXPECT_TRUE(s.passed());
    EXPECT_FALSE(s.check.time.proven);

    ScriptedPrompter prompter;
    Translator translator;
    warnOfPdfSigning(prompter, translator);
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_TRUE(prompter.shown()[0].text.contains(QStringLiteral("sin sello de tiempo")));
    prompter.clear();
    warnOfPdfSigning(prompter, translator);
    EXPECT_TRUE(prompter.shown().isEmpty()) << "told once for the PDF it concerns";
}
