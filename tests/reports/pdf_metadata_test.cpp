#include "reports/archival_pdf.h"
#include "reports/report_pdf_proof.h"
#include "support/result_checks.h"

#include <QBuffer>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

const QByteArray kHash(64, 'a');

ReportProof sampleProof()
{
    ReportProof p;
    p.kind = ReportKind::Intervals;
    p.serial = 4711;
    p.from = QDateTime(QDate(2026, 11, 1), QTime(0, 0));
    p.to = QDateTime(QDate(2026, 11, 30), QTime(23, 59, 59, 500));
    p.printed = QDateTime(QDate(2026, 12, 7), QTime(14, 3, 2), Qt::UTC);
    p.digest = QByteArray("0123456789abcdef").repeated(4);
    p.head = QByteArray("fedcba9876543210").repeated(4);
    p.records = 812;
    p.carried = {{QStringLiteral("programming"), QStringLiteral("4711"), kHash},
                 {QStringLiteral("intervals"), QStringLiteral("4711 2026-11-02T08:00:00; <&>"), QByteArray(64, 'b')}};
    return p;
}

PdfFacts facts(const QString& title = QStringLiteral("Informe"))
{
    return {title, QStringLiteral("TVQ-52 Manager"), QStringLiteral("Qt 6"),
            QLatin1String(CreationDateStamp::kDatePlaceholder)};
}

// The start of a PDF as the writer hands it over: the Info dictionary with
// its date, then the metadata stream holding `packet`.
QByteArray pdfStart(const QByteArray& infoDate, const QByteArray& packet)
{
    return "%PDF-1.4\n1 0 obj\n<<\n/Title (x)\n/CreationDate (D:" + infoDate + ")\n>>\nendobj\n2 0 obj\n<<\n/Length "
        + QByteArray::number(packet.size()) + "\n>>\nstream\n" + packet + "\nendstream\nendobj\n";
}

// Writes `bytes` through a stamp in pieces of `piece` bytes.
QByteArray stamped(const QByteArray& bytes, qsizetype piece, QString* date = nullptr)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    CreationDateStamp stamp(out, 2);
    stamp.open(QIODevice::WriteOnly);
    for (qsizetype at = 0; at < bytes.size(); at += piece)
        EXPECT_EQ(stamp.write(bytes.mid(at, piece)), std::min(piece, bytes.size() - at));
    EXPECT_TRUE(stamp.finish());
    if (date)
        *date = stamp.stampedDate();
    return out.data();
}

QString xmpDate(const QByteArray& pdf, const char* element)
{
    const QByteArray open = QByteArray("<xmp:") + element + ">";
    const qsizetype at = pdf.indexOf(open);
    return at < 0 ? QString() : QString::fromLatin1(pdf.mid(at + open.size(), 20));
}

} // namespace

// The metadata gets the Info dictionary's date, whatever second the clock
// has moved on to by then, in UTC, and no byte moves.
TEST(CreationDateStamp, TheInfoDatesInstantGoesIntoBothSlots)
{
    const QByteArray packet = reportXmp(facts(), sampleProof());
    struct Case {
        QByteArray info;
        QString utc;
    } cases[] = {
        {"20261207145959Z", "2026-12-07T14:59:59Z"},
        {"20261231233059+01'30'", "2026-12-31T22:00:59Z"},
        {"20261231210000-05'00'", "2027-01-01T02:00:00Z"},
        {"20260301000000", "2026-03-01T00:00:00Z"},
    };
    for (const Case& c : cases)
        for (qsizetype piece : {qsizetype(1), qsizetype(7), qsizetype(100), qsizetype(1 << 20)}) {
            const QByteArray in = pdfStart(c.info, packet);
            QString date;
            const QByteArray out = stamped(in, piece, &date);
            SCOPED_TRACE(c.info.toStdString() + " in pieces of " + std::to_string(piece));
            EXPECT_EQ(date, c.utc);
            EXPECT_EQ(out.size(), in.size());
            EXPECT_EQ(xmpDate(out, "CreateDate"), c.utc);
            EXPECT_EQ(xmpDate(out, "ModifyDate"), c.utc);
            EXPECT_FALSE(out.contains(CreationDateStamp::kDatePlaceholder));
            const qsizetype packetAt = out.indexOf("<?xpacket begin");
            EXPECT_EQ(take(proofFromXmp(out.mid(packetAt, packet.size()))), sampleProof());
        }
}

TEST(CreationDateStamp, OnlyItsOwnSlotsAreStampedAndAFileWithoutThemIsLeftAsItIs)
{
    // A title that spells the placeholder is the user's text, not a slot.
    const QString title = QStringLiteral("x>%1<y").arg(QLatin1String(CreationDateStamp::kDatePlaceholder));
    const QByteArray in = pdfStart("20261207145959Z", reportXmp(facts(title), std::nullopt));
    QString date;
    const QByteArray out = stamped(in, 5, &date);
    EXPECT_EQ(date, QStringLiteral("2026-12-07T14:59:59Z"));
    EXPECT_EQ(out.count(CreationDateStamp::kDatePlaceholder), 1) << "the title's copy stays";

    // No date in the Info dictionary, or slots missing: passed on untouched.
    for (const QByteArray& plain :
         {QByteArray("%PDF-1.4\nno info here\n").repeated(50), pdfStart("20261207145959Z", "<x:xmpmeta/>")}) {
        const QByteArray same = stamped(plain, 9, &date);
        EXPECT_EQ(same, plain);
        EXPECT_TRUE(date.isEmpty());
    }
}

// The values the Info dictionary repeats are checked on written files.
TEST(ReportXmp, DeclaresEveryPropertyOfTheProofAndOnlyWithOne)
{
    const QString text = QString::fromUtf8(reportXmp(facts(), sampleProof()));
    EXPECT_TRUE(text.startsWith(QStringLiteral("<?xpacket begin=\"\uFEFF\"")));
    EXPECT_TRUE(text.contains(QStringLiteral("<pdfaSchema:namespaceURI>%1<").arg(QLatin1String(kProofNamespace))));
    QStringList declared, written;
    static const QRegularExpression name(QStringLiteral("<pdfaProperty:name>(\\w+)<"));
    for (auto m = name.globalMatch(text); m.hasNext();)
        declared << m.next().captured(1);
    static const QRegularExpression used(QStringLiteral("<tvq52:(\\w+)>"));
    for (auto m = used.globalMatch(text); m.hasNext();)
        written << m.next().captured(1);
    EXPECT_EQ(declared, written);
    EXPECT_EQ(written.size(), 9);
    EXPECT_FALSE(reportXmp(facts(), std::nullopt).contains("tvq52"));
}

// Round trips are checked on written files.
TEST(ReportXmp, DamageIsNamed)
{
    const QByteArray good = reportXmp(facts(), sampleProof());
    struct Damage {
        QByteArray from, to, named;
    } damages[] = {
        {"<tvq52:kind>intervals<", "<tvq52:kind>interval<", "tvq52:kind"},
        {"<tvq52:serial>4711<", "<tvq52:serial>47x1<", "tvq52:serial"},
        {"<tvq52:digest>0123", "<tvq52:digest>G123", "tvq52:digest"},
        {"<tvq52:records>812<", "<tvq52:records>-12<", "tvq52:records"},
        {"<tvq52:printed>2026-12-07", "<tvq52:printed>2026-13-07", "tvq52:printed"},
        {";" + kHash + "<", ":" + kHash + "<", "tvq52:carried"},
        {"<tvq52:records>812</tvq52:records>", "<tvq52:records>812</tvq52:recordz>", ""},
        {"<tvq52:records>812</tvq52:records>", "", "tvq52:records"},
        {"<tvq52:digest>", "<tvq52:serial>1</tvq52:serial><tvq52:digest>", "tvq52:serial"},
    };
    for (const Damage& d : damages) {
        QByteArray bad = good;
        ASSERT_TRUE(bad.contains(d.from)) << d.from.toStdString();
        bad.replace(d.from, d.to);
        const Result<ReportProof> read = proofFromXmp(bad);
        ASSERT_FALSE(read.ok()) << d.to.toStdString();
        EXPECT_TRUE(untranslatedText(read.error()).contains(QString::fromLatin1(d.named)))
            << untranslatedText(read.error()).toStdString();
    }
}
