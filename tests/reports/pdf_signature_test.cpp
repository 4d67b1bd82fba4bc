#include "core/own_words.h"
#include "reports/pdf_signature.h"
#include "reports/pdf_structure.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::pdf;

namespace {

// A classic PDF laid out as a writer lays it out: objects numbered from 1,
// one cross-reference table, a trailer.
QByteArray classicPdf(const QList<QByteArray>& objects)
{
    QByteArray out = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype k = 0; k < objects.size(); ++k) {
        offsets << out.size();
        out += QByteArray::number(k + 1) + " 0 obj\n" + objects[k] + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1)
        + " /Root 1 0 R /ID [<0a1b> <0a1b>] >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

QByteArray onePagePdf(const QByteArray& pageExtra)
{
    return classicPdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R" + pageExtra + " >>",
                       "<< /Length 18 >>\nstream\nBT (12.5 dB) Tj ET\nendstream", "[ ]"});
}

// A stand-in for a CMS: a DER sequence of the covered bytes' SHA-256.
QByteArray fakeDer(QByteArrayView covered)
{
    return QByteArray("\x30\x20", 2) + QCryptographicHash::hash(covered, QCryptographicHash::Sha256);
}

QByteArray signedPdf(const QByteArray& pdf)
{
    const Result<QByteArray> update =
        signatureUpdate(pdf, QDateTime(QDate(2026, 12, 7), QTime(22, 0), Qt::UTC),
                        [](QByteArrayView covered) -> Result<QByteArray> { return fakeDer(covered); });
    EXPECT_TRUE(update.ok());
    return update.ok() ? pdf + *update : QByteArray();
}

QByteArray objectText(const Structure& s, int number)
{
    const std::optional<Span> span = s.object(number);
    return span ? s.text(*span).toByteArray() : QByteArray();
}

} // namespace

TEST(PdfStructure, ReadsDictionariesWhateverTheirValuesHold)
{
    const QByteArray dict =
        "<< /S (a >> b \\) (c) d) % a comment >>\n/H <3e3e> /N << /A [1 0 R << /B 2 >>] >> "
        "/R 12 0 R /I 7 /K /Name>>";
    qsizetype end = 0;
    const std::optional<QList<DictEntry>> entries = dictEntries(dict, 0, &end);
    ASSERT_TRUE(entries);
    EXPECT_EQ(end, dict.size());
    QStringList keys;
    for (const DictEntry& e : *entries)
        keys << QString::fromLatin1(e.key);
    EXPECT_EQ(keys, QStringList({"S", "H", "N", "R", "I", "K"}));
    const auto value = [&](const char* key) {
        return dict.mid(findEntry(*entries, key)->value.begin,
                        findEntry(*entries, key)->value.end - findEntry(*entries, key)->value.begin);
    };
    EXPECT_EQ(value("S"), "(a >> b \\) (c) d)");
    EXPECT_EQ(referenceTo(value("R")), 12);
    EXPECT_EQ(integerValue(value("I")), 7);
    EXPECT_EQ(arrayItems(dict, dict.indexOf('['))->size(), 2) << "a reference is one item";
    EXPECT_FALSE(dictEntries("<< /A (never closed >>", 0));
    EXPECT_FALSE(dictEntries(QByteArray(200, '[') + "<< >>", 0)) << "nesting without end is refused, not recursed";
}

TEST(PdfSignature, AnUpdateSignsTheWholeFileAndLeavesItsBytesAsTheyWere)
{
    // Annotations in an array of their own, as the program's writer keeps them.
    const QByteArray pdf = onePagePdf(" /Annots 5 0 R");
    const QByteArray file = signedPdf(pdf);
    ASSERT_TRUE(file.startsWith(pdf)) << "an incremental update only appends";

    const FoundSignature found = findSignature(file);
    ASSERT_EQ(found.state, FoundSignature::State::Found) << qPrintable(found.problem);
    EXPECT_TRUE(found.wholeFile());
    EXPECT_EQ(found.cms, fakeDer(found.covered)) << "the bytes read back are those signed, padding dropped";
    EXPECT_EQ(found.covered.size() + 2 + 2 * kSignatureRoom, file.size());

    QString problem;
    const std::optional<Structure> s = Structure::read(file, &problem);
    ASSERT_TRUE(s) << qPrintable(problem);
    EXPECT_EQ(s->trailerValue("ID"), "[<0a1b> <0a1b>]");
    EXPECT_EQ(integerValue(s->trailerValue("Size")), 8);
    EXPECT_EQ(integerValue(s->trailerValue("Prev")), pdf.lastIndexOf("\nxref") + 1);
    EXPECT_TRUE(objectText(*s, 1).contains("/Pages 2 0 R")) << "the catalog's new version keeps its entries";
    EXPECT_TRUE(objectText(*s, 1).contains("/AcroForm << /Fields [7 0 R] /SigFlags 3 >>"));
    EXPECT_EQ(objectText(*s, 5), "[7 0 R]") << "the page's annotation array gets the widget";
    const QByteArray widget = objectText(*s, 7);
    for (const char* part : {"/Rect [0 0 0 0]", "/F 132", "/P 3 0 R", "/V 6 0 R", "/FT /Sig"})
        EXPECT_TRUE(widget.contains(part)) << part;
    EXPECT_TRUE(objectText(*s, 6).contains("/M (D:20261207220000Z)"));
}

TEST(PdfSignature, TheWidgetJoinsThePagesOwnAnnotationsWhereverTheyAre)
{
    for (const QByteArray& extra : {QByteArray(" /Annots [5 0 R]"), QByteArray()}) {
        const QByteArray file = signedPdf(onePagePdf(extra));
        QString problem;
        const std::optional<Structure> s = Structure::read(file, &problem);
        ASSERT_TRUE(s) << qPrintable(problem);
        const QByteArray page = objectText(*s, 3);
        EXPECT_TRUE(page.contains(extra.isEmpty() ? "/Annots [7 0 R]" : "/Annots [5 0 R 7 0 R]")) << page.constData();
        EXPECT_TRUE(page.contains("/Contents 4 0 R"));
        EXPECT_TRUE(findSignature(file).wholeFile());
    }
}

TEST(PdfSignature, ARangeThatLeavesBytesOutIsSeen)
{
    const QByteArray file = signedPdf(onePagePdf({}));
    EXPECT_EQ(findSignature(onePagePdf({})).state, FoundSignature::State::None);

    const FoundSignature appended = findSignature(file + "% later\n");
    EXPECT_TRUE(appended.startsAtZero && appended.gapIsContents);
    EXPECT_FALSE(appended.reachesEnd);

    // The range rewritten in place to leave out ten more bytes before the signature.
    const FoundSignature found = findSignature(file);
    const auto rewritten = [&](qint64 a, qint64 b, qint64 c, qint64 d) {
        QByteArray range = "[" + QByteArray::number(a) + ' ' + QByteArray::number(b) + ' ' + QByteArray::number(c) + ' '
            + QByteArray::number(d);
        const qsizetype at = file.indexOf("/ByteRange [") + 11;
        const qsizetype width = file.indexOf(']', at) - at;
        return QByteArray(file).replace(at, width, range.leftJustified(width, ' '));
    };
    const auto& r = found.range;
    const FoundSignature wider = findSignature(rewritten(0, r[1] - 10, r[2], r[3]));
    EXPECT_EQ(wider.state, FoundSignature::State::Found);
    EXPECT_FALSE(wider.gapIsContents);
    EXPECT_FALSE(findSignature(rewritten(10, r[1] - 10, r[2], r[3])).startsAtZero);
    EXPECT_EQ(findSignature(rewritten(0, r[1], r[2], r[3] + 100)).state, FoundSignature::State::Unreadable);
    EXPECT_EQ(findSignature("%PDF-1.4\nno table\n").state, FoundSignature::State::Unreadable);
}

TEST(PdfSignature, WhatCannotBeSignedIsRefusedWithNothingToAppend)
{
    const auto update = [](const QByteArray& pdf, const SignCovered& sign) {
        return signatureUpdate(pdf, QDateTime::currentDateTimeUtc(), sign);
    };
    const SignCovered fake = [](QByteArrayView covered) -> Result<QByteArray> { return fakeDer(covered); };
    const QByteArray withForm =
        classicPdf({"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [] >> >>",
                    "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", "<< /Type /Page /Parent 2 0 R >>"});
    EXPECT_FALSE(update(withForm, fake).ok());
    EXPECT_FALSE(update("%PDF-1.4\nno table\n", fake).ok());

    const Result<QByteArray> refused = update(onePagePdf({}), [](QByteArrayView) -> Result<QByteArray> {
        return ownWords(QStringLiteral("certificado caducado"));
    });
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().text, QStringLiteral("certificado caducado")) << "the key's own reason";
    EXPECT_FALSE(update(onePagePdf({}), [](QByteArrayView) -> Result<QByteArray> {
                     return QByteArray(kSignatureRoom + 1, '\x30');
                 }).ok());
}

// Every byte outside the signature's own hex string, changed or cut off
// with all after it: the change is seen, and nothing reads past the file.
TEST(PdfSignature, NoChangeOutsideTheSignatureGoesUnseen)
{
    const QByteArray file = signedPdf(onePagePdf(" /Annots 5 0 R"));
    const FoundSignature found = findSignature(file);
    ASSERT_TRUE(found.wholeFile());
    const auto seen = [](const FoundSignature& f) {
        return f.state != FoundSignature::State::Found || !f.wholeFile() || f.cms != fakeDer(f.covered);
    };
    for (qsizetype at = 0; at < file.size(); ++at) {
        if (at == found.range[1])
            at = found.range[2];
        QByteArray changed = file;
        changed[at] = char(changed[at] ^ 0x01);
        ASSERT_TRUE(seen(findSignature(changed))) << "byte " << at;
        ASSERT_TRUE(seen(findSignature(file.left(at)))) << "cut at " << at;
    }
}
