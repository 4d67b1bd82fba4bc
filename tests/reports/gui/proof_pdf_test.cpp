#include "evidence/report_pdf_proof.h"
#include "reports/fleet_report.h"
#include "reports/report.h"
#include "support/file_bytes.h"
#include "support/result_checks.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

const char kTemplate[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<reports>
  <report name="Proved" margins="10 10 10 10" size="9">
    <band kind="header" height="60">
      <field name="Intro" kind="text" text="proved report" x="0" y="0" w="90" h="6"/>
    </band>
  </report>
</reports>)";

ReportProof proofOf(ReportKind kind)
{
    ReportProof p;
    p.kind = kind;
    p.serial = kind == ReportKind::Fleet ? 0 : 305;
    p.from = QDateTime(QDate(2026, 10, 1), QTime(8, 0));
    p.to = QDateTime(QDate(2026, 10, 31), QTime(23, 0));
    p.printed = QDateTime(QDate(2026, 12, 7), QTime(9, 30, 15), Qt::UTC);
    p.digest = QByteArray("5a").repeated(32);
    p.head = QByteArray("c3").repeated(32);
    p.records = 3;
    p.carried = {{QStringLiteral("programming"), QStringLiteral("305"), QByteArray("01").repeated(32)},
                 {QStringLiteral("units"), QStringLiteral("305 Bar; Ñandú"), QByteArray("02").repeated(32)}};
    return p;
}

RenderedReport rendered(std::optional<ReportProof> proof)
{
    auto report = Report::fromXml(kTemplate, QStringLiteral("Proved"));
    EXPECT_TRUE(report.ok());
    if (!report)
        return {};
    RenderedReport out = take((*report)->render(ReportSources()));
    if (proof)
        out.setProof(*proof, [digest = proof->digest] { return Result<QByteArray>(digest); });
    return out;
}

// A literal string of the Info dictionary, decoded as a reader would.
QString infoString(const QByteArray& pdf, const char* key)
{
    const QByteArray open = QByteArray("/") + key + " (";
    qsizetype at = pdf.indexOf(open);
    if (at < 0)
        return QStringLiteral("<missing>");
    QByteArray raw;
    for (at += open.size(); at < pdf.size() && pdf[at] != ')'; ++at)
        raw += pdf[at] == '\\' ? pdf[++at] : pdf[at];
    if (!raw.startsWith("\xFE\xFF"))
        return QString::fromLatin1(raw);
    QString text;
    for (qsizetype k = 2; k + 1 < raw.size(); k += 2)
        text += QChar(char16_t((uchar(raw[k]) << 8) | uchar(raw[k + 1])));
    return text;
}

// The simple values of the metadata stream by qualified name (dc:title is
// its text), the stream read as long as its dictionary says it is.
QHash<QString, QString> xmpValues(const QByteArray& pdf)
{
    const qsizetype length = pdf.indexOf("/Length ", pdf.indexOf("/Type /Metadata /Subtype /XML"));
    const qsizetype stream = pdf.indexOf("stream\n", length) + 7;
    const qsizetype size = pdf.mid(length + 8, pdf.indexOf('\n', length) - length - 8).toLongLong();
    EXPECT_TRUE(pdf.mid(stream + size).startsWith("\nendstream")) << "the length is the packet's";
    QHash<QString, QString> values;
    QXmlStreamReader x(pdf.mid(stream, size));
    QString property;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isStartElement() && x.qualifiedName() != QStringLiteral("rdf:Alt")
            && x.qualifiedName() != QStringLiteral("rdf:li"))
            property = x.qualifiedName().toString();
        else if (x.isCharacters() && !x.isWhitespace())
            values[property] += x.text().toString();
    }
    EXPECT_FALSE(x.hasError()) << x.errorString().toStdString();
    return values;
}

} // namespace

TEST(ProofPdf, AReportsProofReadsBackAsItWasWritten)
{
    QTemporaryDir dir;
    ReportProof bare = proofOf(ReportKind::Sessions);
    bare.head.clear(); // an empty journal
    bare.from = bare.to = QDateTime();
    bare.carried.clear();
    for (const ReportProof& proof : {proofOf(ReportKind::Intervals), bare}) {
        const QString path = dir.filePath(QStringLiteral("proved.pdf"));
        ASSERT_TRUE(succeeded(rendered(proof).writePdf(path, QStringLiteral("Proved"))));
        EXPECT_EQ(take(readReportProof(path)), proof);
    }
}

// What the metadata says is what the Info dictionary says, the date to the
// second included, and it says which archival level the file keeps.
TEST(ProofPdf, TheMetadataAgreesWithTheInfoDictionary)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("títol.pdf"));
    const QString title = QStringLiteral("Intervalos — Ñandú (año 2026) \\ «Größe»");
    ASSERT_TRUE(succeeded(rendered(proofOf(ReportKind::Intervals)).writePdf(path, title)));
    const QByteArray pdf = readBytes(path);
    ASSERT_TRUE(pdf.startsWith("%PDF-1.4"));
    const QHash<QString, QString> xmp = xmpValues(pdf);

    EXPECT_EQ(infoString(pdf, "Title"), title);
    EXPECT_EQ(xmp.value(QStringLiteral("dc:title")), title);
    EXPECT_EQ(xmp.value(QStringLiteral("xmp:CreatorTool")), infoString(pdf, "Creator"));
    EXPECT_EQ(infoString(pdf, "Creator"), QStringLiteral("TVQ-52 Manager"));
    EXPECT_EQ(xmp.value(QStringLiteral("pdf:Producer")), infoString(pdf, "Producer"));
    EXPECT_TRUE(infoString(pdf, "Producer").startsWith(QStringLiteral("Qt 6.")));
    EXPECT_EQ(xmp.value(QStringLiteral("pdfaid:part")), QStringLiteral("1"));
    EXPECT_EQ(xmp.value(QStringLiteral("pdfaid:conformance")), QStringLiteral("B"));
    EXPECT_EQ(xmp.value(QStringLiteral("tvq52:kind")), QStringLiteral("intervals"));

    const QString info = infoString(pdf, "CreationDate");
    const QDateTime created = QDateTime::fromString(xmp.value(QStringLiteral("xmp:CreateDate")), Qt::ISODate);
    ASSERT_TRUE(created.isValid()) << xmp.value(QStringLiteral("xmp:CreateDate")).toStdString();
    EXPECT_EQ(created.timeSpec(), Qt::UTC);
    EXPECT_EQ(QStringLiteral("D:") + created.toString(QStringLiteral("yyyyMMddHHmmss")) + QLatin1Char('Z'), info);
    EXPECT_EQ(xmp.value(QStringLiteral("xmp:ModifyDate")), xmp.value(QStringLiteral("xmp:CreateDate")));
    EXPECT_LE(std::abs(created.secsTo(QDateTime::currentDateTimeUtc())), 60);
    EXPECT_TRUE(pdf.contains("/OutputIntents")) << "the colour profile the level asks for";

    const QString pdffonts = QStandardPaths::findExecutable(QStringLiteral("pdffonts"));
    if (!pdffonts.isEmpty()) {
        const QStringList lines = toolOutput(pdffonts, {path}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_GT(lines.size(), 2) << "a font is used";
        for (const QString& line : lines.mid(2))
            EXPECT_TRUE(line.contains(QStringLiteral(" yes "))) << "not embedded: " << line.toStdString();
    }
}

TEST(ProofPdf, FilesWithoutAProofOfOursGiveTheirOwnErrors)
{
    QTemporaryDir dir;
    const QString ours = dir.filePath(QStringLiteral("plain.pdf"));
    ASSERT_TRUE(succeeded(rendered(std::nullopt).writePdf(ours)));
    const QString text = dir.filePath(QStringLiteral("notes.pdf"));
    ASSERT_TRUE(writeBytes(text, "serial;level\n305;96\n"));
    // A large file from elsewhere is refused from its start, not read whole.
    const QString big = dir.filePath(QStringLiteral("scan.pdf"));
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.7\n");
        ASSERT_TRUE(f.resize(qint64(64) << 20));
        f.seek(f.size() - 100);
        f.write(kProofNamespace);
    }
    const QString damaged = dir.filePath(QStringLiteral("damaged.pdf"));
    ASSERT_TRUE(succeeded(rendered(proofOf(ReportKind::Graph)).writePdf(damaged)));
    QByteArray edited = readBytes(damaged);
    ASSERT_TRUE(edited.contains("<tvq52:records>3<"));
    ASSERT_TRUE(writeBytes(damaged, edited.replace("<tvq52:records>3<", "<tvq52:records>x<")));
    const QString missing = dir.filePath(QStringLiteral("gone.pdf"));

    QStringList texts;
    for (const QString& path : {ours, text, big, damaged, missing}) {
        const Result<ReportProof> read = readReportProof(path);
        ASSERT_FALSE(read.ok()) << path.toStdString();
        EXPECT_EQ(read.error().textArgs.value(0), path);
        texts << read.error().text;
    }
    EXPECT_EQ(texts[0], texts[2]) << "neither is ours";
    texts.removeAt(2);
    texts.removeDuplicates();
    EXPECT_EQ(texts.size(), 4) << "no proof, not a PDF, damaged and unreadable differ";
    EXPECT_TRUE(untranslatedText(readReportProof(damaged).error()).contains(QStringLiteral("tvq52:records")));
}

TEST(ProofPdf, TheFleetOverviewCarriesItsProofAndFooterOnEveryPage)
{
    FleetTable table;
    table.title = QStringLiteral("Estado de las unidades — 2026-12-07 09:30");
    table.headings = {"Número de serie", "Local", "Teléfono", "Última descarga", "Días", "Avisos"};
    for (int k = 1; k <= 70; ++k)
        table.rows << QStringList{
            QString::number(k), QStringLiteral("Venue-%1").arg(k, 3, 10, QLatin1Char('0')), "555", "-", "-",
            "sin leer"};
    table.footer = {QStringLiteral("Oficina central"), QStringLiteral("Resumen: ") + QString(64, QLatin1Char('e'))};
    table.proof = proofOf(ReportKind::Fleet);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fleet.pdf"));
    ASSERT_TRUE(succeeded(writeFleetPdf(table, path)));
    EXPECT_EQ(take(readReportProof(path)), *table.proof);
    const QHash<QString, QString> xmp = xmpValues(readBytes(path));
    EXPECT_EQ(xmp.value(QStringLiteral("dc:title")), table.title);
    EXPECT_EQ(xmp.value(QStringLiteral("pdfaid:part")), QStringLiteral("1"));

    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        return;
    const QStringList pages = toolOutput(pdftotext, {QStringLiteral("-layout"), path, QStringLiteral("-")})
                                  .split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    ASSERT_GE(pages.size(), 2) << "70 rows take more than one page";
    QString all;
    for (int k = 0; k < pages.size(); ++k) {
        EXPECT_TRUE(pages[k].contains(table.footer[0])) << k;
        EXPECT_TRUE(pages[k].contains(table.footer[1])) << k;
        EXPECT_TRUE(pages[k].contains(QStringLiteral("%1 / %2").arg(k + 1).arg(pages.size()))) << k;
        // The footer is the page's last text: no row runs into it.
        const QString afterFooter = pages[k].mid(pages[k].indexOf(table.footer[0]));
        EXPECT_FALSE(afterFooter.contains(QStringLiteral("Venue-"))) << k;
        all += pages[k];
    }
    for (int k = 1; k <= 70; ++k)
        EXPECT_EQ(all.count(QStringLiteral("Venue-%1").arg(k, 3, 10, QLatin1Char('0'))), 1) << k;
}
