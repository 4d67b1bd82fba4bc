#include "db/database.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "evidence/report_pdf_proof.h"
#include "programming/programming_fixture.h"
#include "records/record_store.h"
#include "reports/archival_pdf.h"
#include "reports/programming_report.h"
#include "reports/report_check.h"
#include "reports/shown_records.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

constexpr qint32 kSerial = 52017;

QDateTime at(int month, int day, int hour, int minute = 0)
{
    return wallClock(QDate(2026, month, day), QTime(hour, minute));
}

QStringList keysOf(const QList<ShownRecord>& records)
{
    QStringList keys;
    for (const ShownRecord& r : records)
        keys << r.table + QLatin1Char(' ') + r.key;
    return keys;
}

class ReportCheckTest : public FolderDatabaseTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FolderDatabaseTest::SetUp());
        ASSERT_TRUE(store->insert("Programacion", row({{"LNumeroSerie", kSerial},
                                                       {"TLocal", QStringLiteral("Sala Nit")},
                                                       {"THoraEmpiezaNoche", QStringLiteral("22:00")},
                                                       {"THoraTerminaNoche", QStringLiteral("06:00")}})));
    }

    // One journaled download storing intervals (and a session) that start at `starts`.
    void download(const QList<QDateTime>& starts, const QList<QDateTime>& sessions = {})
    {
        Journal journal(*db);
        const auto entry = journal.open(JournalAction::Download, kSerial, QStringLiteral("cable"));
        ASSERT_TRUE(test::succeeded(entry.status()));
        RecordStore records(*db);
        records.setJournalEntry(&journal, *entry);
        for (const QDateTime& start : starts) {
            IntervalRecord r;
            r.start = start;
            r.end = start.addSecs(15 * 60);
            r.leqMinutes = 15;
            r.leqVenue = 91.5F;
            ASSERT_TRUE(records.storeInterval(kSerial, r));
        }
        for (const QDateTime& start : sessions) {
            SessionRecord s;
            s.start = start;
            s.end = start.addSecs(4 * 3600);
            s.passesVenue = 30;
            ASSERT_TRUE(records.storeSession(kSerial, s));
        }
        ASSERT_TRUE(journal.seal(*entry, QStringLiteral("completed"), QString()));
    }

    void exec(const QString& sql, const QVariantList& binds = {})
    {
        QSqlQuery q(db->connection());
        q.prepare(sql);
        for (const QVariant& v : binds)
            q.addBindValue(v);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }

    // Changes one stored interval, as someone with the file in hand would.
    void editInterval(const QDateTime& start, double level)
    {
        exec(QStringLiteral("UPDATE \"Intervalos\" SET \"SLeqLocal\" = ? WHERE \"LNumeroSerie\" = ? AND "
                            "\"THoraInicio\" = ? AND \"DFechaInicio\" = ?"),
             {level, kSerial, start.time().toString(QStringLiteral("HH:mm")),
              db->dialect() == SqlDialect::PostgreSQL ? QVariant(start.date()) : QVariant(start.date().toString(Qt::ISODate))});
    }

    ReportProof proof(ReportKind kind, const QDateTime& from = {}, const QDateTime& to = {})
    {
        const Result<ReportProof> made = makeReportProof(*db, {kind, kind == ReportKind::Fleet ? 0 : kSerial, from, to, {}});
        EXPECT_TRUE(made) << made.error().detail.toStdString();
        return made ? *made : ReportProof();
    }

    ReportCheck check(const ReportProof& p)
    {
        const Result<ReportCheck> c = checkReport(*db, p);
        EXPECT_TRUE(c) << c.error().detail.toStdString();
        return c ? *c : ReportCheck();
    }
};

TEST_F(ReportCheckTest, AnIntervalReportHoldsUntilARecordOfItsRangeChangesAndNamesIt)
{
    download({at(3, 1, 22), at(3, 1, 22, 15), at(3, 2, 23), at(4, 2, 23)});
    const ReportProof march = proof(ReportKind::Intervals, at(3, 1, 0), at(3, 31, 23, 59));
    EXPECT_EQ(march.records, 3);
    EXPECT_FALSE(march.head.isEmpty());
    EXPECT_TRUE(march.carried.isEmpty()) << "the journal lists intervals: nothing to carry";
    EXPECT_TRUE(check(march).passed());

    // A record outside the range, edited, and a later download: neither bears on March.
    editInterval(at(4, 2, 23), 55.5);
    download({at(4, 3, 22)});
    const ReportCheck outside = check(march);
    EXPECT_TRUE(outside.passed()) << keysOf(outside.changed).join(QLatin1Char(',')).toStdString();

    editInterval(at(3, 1, 22, 15), 91.6);
    exec(QStringLiteral("DELETE FROM \"Intervalos\" WHERE \"LNumeroSerie\" = ? AND \"THoraInicio\" = ?"),
         {kSerial, QStringLiteral("23:00")});
    download({at(3, 20, 1)});
    const ReportCheck inside = check(march);
    EXPECT_FALSE(inside.passed());
    EXPECT_FALSE(inside.recordsMatch);
    EXPECT_TRUE(inside.headInChain);
    ASSERT_TRUE(inside.named);
    EXPECT_EQ(keysOf(inside.changed), QStringList{QStringLiteral("Intervalos 52017 2026-03-01 22:15")});
    EXPECT_EQ(keysOf(inside.removed), QStringList{QStringLiteral("Intervalos 52017 2026-03-02 23:00")});
    EXPECT_EQ(keysOf(inside.added), QStringList{QStringLiteral("Intervalos 52017 2026-03-20 01:00")});
    // The edit is the journal's finding too; the deletion made by hand as well.
    QStringList found;
    for (const JournalFinding& f : inside.findings)
        found << f.table + QLatin1Char(' ') + f.key;
    EXPECT_TRUE(found.contains(QStringLiteral("Intervalos 52017 2026-03-01 22:15")));
    EXPECT_FALSE(found.contains(QStringLiteral("Intervalos 52017 2026-04-02 23:00"))) << "outside the range";
}

TEST_F(ReportCheckTest, AHeadTheJournalNoLongerHoldsFailsTheReport)
{
    download({at(3, 1, 22)});
    const ReportProof p = proof(ReportKind::Intervals, at(3, 1, 0), at(3, 1, 23, 59));
    ASSERT_TRUE(check(p).passed());
    ReportProof forged = p;
    forged.head = QByteArray(64, 'a');
    const ReportCheck c = check(forged);
    EXPECT_FALSE(c.headInChain);
    EXPECT_FALSE(c.passed());
    EXPECT_TRUE(c.recordsMatch) << "the records themselves did not change";
}

TEST_F(ReportCheckTest, RecordsThatWereNotAsJournaledWhenPrintedAreNotVouchedFor)
{
    download({at(3, 1, 22), at(3, 1, 23)});
    editInterval(at(3, 1, 23), 42.0);
    const ReportProof p = proof(ReportKind::Intervals, at(3, 1, 0), at(3, 1, 23, 59));
    const ReportCheck c = check(p);
    EXPECT_TRUE(c.recordsMatch);
    EXPECT_FALSE(c.named) << "the journal at the printed head gives other values";
    ASSERT_FALSE(c.findings.isEmpty());
    EXPECT_EQ(c.findings.first().kind, JournalFinding::Kind::RecordEdited);
    EXPECT_FALSE(c.passed());
}

TEST_F(ReportCheckTest, TheProgrammingReportCarriesWhatTheJournalDoesNotList)
{
    ASSERT_TRUE(store->insert("IntervaloInhabil", row({{"LNumeroSerie", kSerial},
                                                       {"ByIntervalo", 1},
                                                       {"TDiaEmpiezaInt", QStringLiteral("01/08/26")},
                                                       {"THoraEmpiezaInt", QStringLiteral("00:00")},
                                                       {"TDiaTerminaInt", QStringLiteral("15/08/26")},
                                                       {"THoraTerminaInt", QStringLiteral("23:59")}})));
    const ReportProof p = proof(ReportKind::Programming);
    EXPECT_EQ(p.records, 2);
    ASSERT_EQ(p.carried.size(), 2);
    EXPECT_EQ(p.carried[0].table, QStringLiteral("Programacion"));
    EXPECT_EQ(p.carried[1].table, QStringLiteral("IntervaloInhabil"));
    EXPECT_FALSE(p.from.isValid()) << "the programming report has no range";
    // Intervals stored later are not part of it.
    download({at(3, 1, 22)});
    EXPECT_TRUE(check(p).passed());

    exec(QStringLiteral("UPDATE \"Programacion\" SET \"TLocal\" = ? WHERE \"LNumeroSerie\" = ?"),
         {QStringLiteral("Sala Dia"), kSerial});
    const ReportCheck c = check(p);
    EXPECT_FALSE(c.passed());
    ASSERT_TRUE(c.named);
    EXPECT_EQ(keysOf(c.changed), QStringList{QStringLiteral("Programacion 52017")});
    EXPECT_TRUE(c.removed.isEmpty());
}

TEST_F(ReportCheckTest, ExceedancesCoverIntervalsThenSessionsAndTheOverviewItsUnits)
{
    download({at(3, 1, 22)}, {at(3, 1, 21)});
    const ReportProof nights = proof(ReportKind::Exceedances, at(3, 1, 0), at(3, 2, 0));
    EXPECT_EQ(nights.records, 2);
    const ReportProof fleet = proof(ReportKind::Fleet);
    EXPECT_EQ(fleet.serial, 0);
    ASSERT_EQ(fleet.carried.size(), 1);
    EXPECT_TRUE(check(nights).passed());
    EXPECT_TRUE(check(fleet).passed());

    exec(QStringLiteral("UPDATE \"Sesiones\" SET \"LPasadasLocal\" = 31 WHERE \"LNumeroSerie\" = ?"), {kSerial});
    exec(QStringLiteral("UPDATE \"Programacion\" SET \"TTelefono\" = '933' WHERE \"LNumeroSerie\" = ?"), {kSerial});
    const ReportCheck n = check(nights);
    ASSERT_TRUE(n.named);
    EXPECT_EQ(keysOf(n.changed), QStringList{QStringLiteral("Sesiones 52017 2026-03-01 21:00")});
    const ReportCheck f = check(fleet);
    ASSERT_TRUE(f.named);
    EXPECT_EQ(keysOf(f.changed), QStringList{QStringLiteral("Flota 52017")});
}

TEST_F(ReportCheckTest, TheDigestIsTheJournalsLinesInTheOrderShown)
{
    download({at(3, 1, 23), at(3, 1, 22)});
    QList<ShownRecord> shown;
    ASSERT_TRUE(eachShownRecord(*db, {ReportKind::Intervals, kSerial, at(3, 1, 0), at(3, 1, 23, 59), {}},
                                [&](const ShownRecord& r, bool journaled) {
                                    EXPECT_TRUE(journaled);
                                    shown << r;
                                    return Status();
                                }));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].key, QStringLiteral("52017 2026-03-01 22:00")) << "oldest first, as printed";
    // Each line's hash is the one the journal listed for the record.
    QSqlQuery q(db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT \"TClave\", \"THuella\" FROM \"DiarioRegistros\"")));
    QHash<QString, QByteArray> listed;
    while (q.next())
        listed.insert(q.value(0).toString(), q.value(1).toString().toLatin1());
    for (const ShownRecord& r : shown)
        EXPECT_EQ(listed.value(r.key), r.hash) << r.key.toStdString();
    QList<ShownRecord> reversed{shown[1], shown[0]};
    EXPECT_NE(digestOf(reversed), digestOf(shown));
}

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

namespace {

class StoredProgrammingReport : public ProgrammingDatabase {
protected:
    void storeInterval(int number, const char* start, const char* startTime, const char* end, const char* endTime)
    {
        Row row;
        row.set(QStringLiteral("LNumeroSerie"), 4711);
        row.set(QStringLiteral("ByIntervalo"), number);
        row.set(QStringLiteral("TDiaEmpiezaInt"), QLatin1String(start));
        row.set(QStringLiteral("THoraEmpiezaInt"), QLatin1String(startTime));
        row.set(QStringLiteral("TDiaTerminaInt"), QLatin1String(end));
        row.set(QStringLiteral("THoraTerminaInt"), QLatin1String(endTime));
        ASSERT_TRUE(test::succeeded(store_->upsert(QStringLiteral("IntervaloInhabil"), row)));
    }

    tvq52::ProgrammingReportData read(const QString& firmware = QStringLiteral("3.3"))
    {
        auto result = readProgrammingReportData(*db_, 4711, firmware);
        if (!result) {
            ADD_FAILURE() << result.error().detail.toStdString();
            return {};
        }
        return *result;
    }

    QString memo() const
    {
        return test::take(store_->select(QStringLiteral("Configuracion")))
            .value(0)
            .value(QStringLiteral("Memo"))
            .toString();
    }
};

TEST_F(StoredProgrammingReport, ListingOfNoneOneAndThreeStoredIntervalsIsAlsoKeptInTheMemo)
{
    saveUnit(4711);
    saveUnit(4712);
    EXPECT_EQ(read().intervalListing, QStringLiteral(" "));
    EXPECT_EQ(memo(), QStringLiteral(" "));

    storeInterval(5, "01/08/24", "00:00", "15/08/24", "23:59");
    EXPECT_EQ(read().intervalListing, QStringLiteral("05 - 01/08/2024 00:00 <-> 15/08/2024 23:59     ,     "));

    storeInterval(1, "24/12/98", "18:00", "26/12/98", "09:00");
    storeInterval(30, "31/12/24", "20:00", "01/01/25", "10:00");
    // Another unit's interval stays out of it.
    Row other;
    other.set(QStringLiteral("LNumeroSerie"), 4712);
    other.set(QStringLiteral("ByIntervalo"), 2);
    other.set(QStringLiteral("TDiaEmpiezaInt"), QStringLiteral("02/02/24"));
    ASSERT_TRUE(store_->upsert(QStringLiteral("IntervaloInhabil"), other));

    const QString three = QStringLiteral(
        "01 - 24/12/1998 18:00 <-> 26/12/1998 09:00     ,     "
        "05 - 01/08/2024 00:00 <-> 15/08/2024 23:59\r"
        "30 - 31/12/2024 20:00 <-> 01/01/2025 10:00     ,     ");
    EXPECT_EQ(read().intervalListing, three);
    EXPECT_EQ(memo(), three);
}

TEST_F(StoredProgrammingReport, ComputedFactsFromTheStoredRow)
{
    ProgrammingRecord r = saveUnit(4711);
    r.version = QStringLiteral("4.0");
    ASSERT_TRUE(saveProgramming(*store_, r, unusedIntervals()));
    Row totals;
    totals.set(QStringLiteral("DFechaTotales"), QDate(2024, 3, 9));
    totals.set(QStringLiteral("THoraTotales"), QStringLiteral("21:05:30"));
    totals.set(QStringLiteral("TTipoActuacionVecino"), QStringLiteral("Leq5s"));
    Row key;
    key.set(QStringLiteral("LNumeroSerie"), 4711);
    ASSERT_EQ(test::take(store_->update(QStringLiteral("Programacion"), totals, key)), 1);

    const tvq52::ProgrammingReportData d = read(QString());
    EXPECT_EQ(d.intervalTotals, QStringLiteral("09/03/2024 21:05:30"));
    EXPECT_EQ(d.neighbourAction, QStringLiteral("Leq5s"));
    EXPECT_TRUE(d.showGlobalCorrection) << "no version given: the stored 4.0";
    EXPECT_FALSE(read(QStringLiteral("3.3")).showGlobalCorrection) << "the window's version counts";
    EXPECT_TRUE(read(QStringLiteral("4.10")).showGlobalCorrection);

    auto missing = readProgrammingReportData(*db_, 99, QString());
    ASSERT_FALSE(missing);
    EXPECT_TRUE(isReportFailure(missing.error(), ReportFailure::Database));
}

} // namespace
