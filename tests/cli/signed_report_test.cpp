#include "cli_run.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "evidence/signing.h"
#include "support/file_bytes.h"
#include "support/rows.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace tvq52;
using test::CliResult;
using test::CliRuns;
using test::readBytes;
using test::writeBytes;

namespace {

// A data folder with unit 4711's programming stored, and a key when `signer` names one.
void prepare(const CliRuns& cli, const QString& signer)
{
    cli.storeUnits({{4711, "2.5", ""}});
    if (!signer.isEmpty()) {
        ASSERT_TRUE(KeyStore(QDir(cli.home.path()).filePath(QStringLiteral("keys"))).create(signer).ok());
    }
}

QString programmingPdf(const CliRuns& cli, const QString& name)
{
    const QString pdf = QDir(cli.home.path()).filePath(name);
    const CliResult written = cli({"report", "programming", "4711", "--pdf", pdf});
    EXPECT_EQ(written.exitCode, 0) << qPrintable(written.err);
    return pdf;
}

struct Verified {
    int exitCode = -1;
    QJsonObject signature;
};

Verified verify(const CliRuns& cli, const QString& pdf)
{
    const CliResult r = cli({"verify-report", pdf, "--json"});
    const QJsonObject doc = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(doc.value("verified").toBool(), r.exitCode == 0) << qPrintable(r.out + r.err);
    return {r.exitCode, doc.value("signature").toObject()};
}

QString copyOf(const QString& pdf, const QString& name, QByteArray bytes)
{
    const QString path = QFileInfo(pdf).dir().filePath(name);
    EXPECT_TRUE(writeBytes(path, bytes));
    return path;
}

} // namespace

TEST(CliSignedReport, AReportHoldsOnlyAsItsTrustedSignerWroteIt)
{
    CliRuns cli;
    prepare(cli, QStringLiteral("Oficina Norte"));
    const QString pdf = programmingPdf(cli, QStringLiteral("signed.pdf"));
    const Verified held = verify(cli, pdf);
    EXPECT_EQ(held.exitCode, 0);
    EXPECT_TRUE(held.signature.value("present").toBool());
    EXPECT_EQ(held.signature.value("trust").toString(), QStringLiteral("own"));
    EXPECT_TRUE(held.signature.value("signer").toString().contains(QStringLiteral("Oficina Norte")));
    EXPECT_FALSE(held.signature.value("timeProven").toBool());

    const QByteArray bytes = readBytes(pdf);
    const Verified appended = verify(cli, copyOf(pdf, QStringLiteral("appended.pdf"), bytes + "% more\n"));
    EXPECT_EQ(appended.exitCode, 1);
    EXPECT_TRUE(appended.signature.value("appended").toBool());
    // One byte of the page's drawing, inside the first content stream.
    QByteArray changed = bytes;
    const qsizetype drawing = changed.indexOf("stream\n", changed.indexOf("/Type /Page\n")) + 30;
    changed[drawing] = char(changed[drawing] ^ 0x04);
    const QString editedPdf = copyOf(pdf, QStringLiteral("edited.pdf"), changed);
    const Verified edited = verify(cli, editedPdf);
    EXPECT_EQ(edited.exitCode, 1);
    EXPECT_EQ(edited.signature.value("outcome").toString(), QStringLiteral("changed"));
    // A reader of its own comes to the same.
    EXPECT_TRUE(test::toolOutput(QStringLiteral("pdfsig"), {pdf}, true).contains(QStringLiteral("Signature is Valid")));
    EXPECT_FALSE(
        test::toolOutput(QStringLiteral("pdfsig"), {editedPdf}, true).contains(QStringLiteral("Signature is Valid")));

    // Another office's key, unknown here: well signed, but by nobody trusted.
    CliRuns other;
    prepare(other, QStringLiteral("Oficina Sur"));
    const Verified stranger = verify(cli, programmingPdf(other, QStringLiteral("stranger.pdf")));
    EXPECT_EQ(stranger.exitCode, 1);
    EXPECT_EQ(stranger.signature.value("outcome").toString(), QStringLiteral("valid"));
    EXPECT_EQ(stranger.signature.value("trust").toString(), QStringLiteral("untrusted"));
}

TEST(CliSignedReport, WithoutAKeyTheReportIsUnsignedSaidOnceAndStillVerifies)
{
    CliRuns cli;
    prepare(cli, QString());
    const QString pdf = QDir(cli.home.path()).filePath(QStringLiteral("plain.pdf"));
    const CliResult written = cli({"report", "programming", "4711", "--pdf", pdf});
    ASSERT_EQ(written.exitCode, 0) << qPrintable(written.err);
    EXPECT_EQ(written.err.count(QStringLiteral("sin firmar")), 1) << qPrintable(written.err);
    const Verified plain = verify(cli, pdf);
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_FALSE(plain.signature.value("present").toBool());
    const CliResult told = cli({"verify-report", pdf});
    EXPECT_TRUE(told.out.startsWith(QStringLiteral("Sus páginas no están cubiertas por ninguna firma.")))
        << qPrintable(told.out);
}

// Once the journal was signed when a report was printed, a copy with the
// signature taken off is not taken for a report from before keys.
TEST(CliSignedReport, AReportStrippedOfItsSignatureFailsOnceTheJournalWasSigned)
{
    CliRuns cli;
    prepare(cli, QStringLiteral("Oficina Norte"));
    {
        auto db = cli.home.openDatabase();
        ASSERT_TRUE(db);
        OfficeSigning::configure({QDir(cli.home.path()).filePath(QStringLiteral("keys")), {}, {}});
        const Status appended = Journal(*db).append(JournalAction::ProgramReceive, 4711, QStringLiteral("cable"),
                                                    QStringLiteral("completed"), QString());
        OfficeSigning::configure({});
        ASSERT_TRUE(appended);
    }
    const QString pdf = programmingPdf(cli, QStringLiteral("signed.pdf"));
    const Verified held = verify(cli, pdf);
    EXPECT_EQ(held.exitCode, 0);
    EXPECT_TRUE(held.signature.value("expected").toBool());

    const QByteArray bytes = readBytes(pdf);
    const qsizetype end = bytes.indexOf("%%EOF");
    ASSERT_GT(end, 0);
    ASSERT_LT(end + 6, bytes.size()); // the signature was an update after the first end
    const QString copy = copyOf(pdf, QStringLiteral("stripped.pdf"), bytes.left(end + 6));
    const Verified stripped = verify(cli, copy);
    EXPECT_EQ(stripped.exitCode, 1);
    EXPECT_FALSE(stripped.signature.value("present").toBool());
    EXPECT_TRUE(stripped.signature.value("expected").toBool());
    // Its records still match: the last line must not read as a pass.
    const CliResult told = cli({"verify-report", copy});
    EXPECT_TRUE(told.out.trimmed().endsWith(QStringLiteral("su firma no lo avala tal como está.")))
        << qPrintable(told.out);
}
