#include "link/frame.h"
#include "records/download_frames.h"
#include "records/record_frames.h"

#include <gtest/gtest.h>

#include <climits>

using namespace tvq52;
using namespace tvq52::test;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

} // namespace

TEST(DownloadRequests, RangeYearsGoOutAsYearsSinceNineteenHundredAndComeBackInTheirCentury)
{
    EXPECT_EQ(totalsRequest(), hex("0200060203"));
    EXPECT_EQ(eventDatesRequest(), hex("0200060303"));

    const DownloadRange r = DownloadRange::from(at(2009, 12, 31, 23, 0), at(2010, 1, 1, 0, 0));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.bytes.data()), 10),
              hex("1f0c091700"
                  "01010a0000"));
    EXPECT_EQ(intervalsRequest(r),
              hex("02001005"
                  "1f0c6d1700"
                  "01016e0000"
                  "03"));
    EXPECT_EQ(sessionsRequest(r),
              hex("02001006"
                  "1f0c6d1700"
                  "01016e0000"
                  "03"));
    EXPECT_EQ(intervalsRequest(r).size() + 1, 16); // N counts the check byte

    struct Year {
        int full;
        std::uint8_t sent;
    };
    for (const Year y : {Year{2009, 109}, Year{1998, 98}, Year{2049, 149}, Year{1950, 50}, Year{2000, 100}}) {
        const DownloadRange range = DownloadRange::from(at(y.full, 3, 1, 8, 15), at(y.full, 3, 2, 8, 15));
        EXPECT_EQ(std::uint8_t(range.requestBytes()[2]), y.sent) << y.full;
        EXPECT_EQ(std::uint8_t(range.requestBytes()[7]), y.sent) << y.full;
        EXPECT_EQ(range.start(), wallClock(QDate(y.full, 3, 1), QTime(8, 15))) << y.full;
        EXPECT_EQ(range.end(), wallClock(QDate(y.full, 3, 2), QTime(8, 15))) << y.full;
    }
    DownloadRange bad;
    bad.bytes = {31, 4, 10, 0, 0, 1, 5, 10, 0, 0};
    EXPECT_FALSE(bad.start().isValid());
}

TEST(DownloadTotals, CountersAreSignedThirtyTwoBitAndTheReadingTimeIsThePcs)
{
    QByteArray frame = completeFrame(0x02,
                                     hex("0000012c"
                                         "80000000"
                                         "ffffffff"
                                         "7fffffff"));
    const QDateTime now = at(2024, 5, 6, 7, 8);
    const auto t = decodeTotals(reinterpret_cast<const std::uint8_t*>(frame.constData()), int(frame.size()), now);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->passesVenue, 300);
    EXPECT_EQ(t->sensorInactive, INT_MIN);
    EXPECT_EQ(t->erasures, -1);
    EXPECT_EQ(t->passesNeighbour, INT_MAX);
    EXPECT_EQ(t->readAt, now);
    // The last counter needs offsets up to 19 before the check byte.
    EXPECT_FALSE(decodeTotals(reinterpret_cast<const std::uint8_t*>(frame.constData()), 20, now));
    EXPECT_TRUE(decodeTotals(reinterpret_cast<const std::uint8_t*>(frame.constData()), 21, now));
}

TEST(DownloadEventDates, OnlySlotsThatAreDatesAndInTheFrameCount)
{
    QByteArray payload(150, 0);
    payload.replace(0, 5, hex("0f036e0a1e"));   // erasure 0: 15/03/2010 10:30
    payload.replace(5, 5, hex("1f046e0a1e"));   // erasure 1: 31 April, skipped
    payload.replace(10, 5, hex("0d0d6e0a1e"));  // erasure 2: month 13, skipped
    payload.replace(55, 5, hex("1d0264173b"));  // battery end 1: 29/02/2000 23:59
    payload.replace(145, 5, hex("01016e0000")); // last reprogramming slot
    const QByteArray frame = completeFrame(0x03, payload);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.constData());

    const QList<EventDate> dates = decodeEventDates(bytes, int(frame.size()));
    ASSERT_EQ(dates.size(), 3);
    EXPECT_EQ(dates[0].kind, EventKind::Erasure);
    EXPECT_EQ(dates[0].at, wallClock(QDate(2010, 3, 15), QTime(10, 30)));
    EXPECT_EQ(dates[1].kind, EventKind::BatteryEnd);
    EXPECT_EQ(dates[1].at, wallClock(QDate(2000, 2, 29), QTime(23, 59)));
    EXPECT_EQ(dates[2].kind, EventKind::Reprogramming);
    // One byte short of the last slot: it is not read.
    EXPECT_EQ(decodeEventDates(bytes, int(frame.size()) - 2).size(), 2);
}

TEST(DownloadIntervals, BothLayoutsDecodeEveryFieldAndTheStartIsComputedAcrossMidnight)
{
    sim::IntervalRecord s = sampleInterval(at(2010, 1, 1, 0, 5), 10);
    s.progMode = true;
    for (IntervalLayout layout : {IntervalLayout::From30, IntervalLayout::Before30}) {
        const auto d = decodeIntervalBytes(intervalBytes(s, layout), layout);
        ASSERT_EQ(d.kind, RecordFrame::Record) << d.refusal.toStdString();
        const IntervalRecord& r = d.record;
        EXPECT_EQ(r.end, wallClock(QDate(2010, 1, 1), QTime(0, 5)));
        EXPECT_EQ(r.start, wallClock(QDate(2009, 12, 31), QTime(23, 55)));
        EXPECT_EQ(r.leqMinutes, 10);
        EXPECT_EQ(r.disconnections, 1);
        EXPECT_EQ(r.passesNeighbour, 12);
        EXPECT_EQ(r.passesVenue, 34);
        EXPECT_FLOAT_EQ(r.leqVenue, 87.1f);
        EXPECT_EQ(r.limitNeighbour, 35);
        EXPECT_EQ(r.limitVenue, 95);
        EXPECT_FLOAT_EQ(r.stats.maxLeq1, 93.4f);
        EXPECT_EQ(r.stats.maxLeq1At, wallClock(QDate(2010, 1, 1), QTime(0, 3)));
        EXPECT_FLOAT_EQ(r.stats.minLeq1, 65.5f);
        EXPECT_EQ(r.stats.minLeq1At, wallClock(QDate(2010, 1, 1), QTime(0, 1)));
        EXPECT_FLOAT_EQ(r.stats.lfmax, 101.2f);
        EXPECT_EQ(r.stats.lfmaxLimit, 110);
        EXPECT_EQ(r.lfmaxPasses, 7);
        const float percentiles[] = {r.stats.l1, r.stats.l5, r.stats.l10, r.stats.l50, r.stats.l90};
        const float expected[] = {95.1f, 90.2f, 88.4f, 80.3f, 70.1f};
        for (int i = 0; i < 5; ++i)
            EXPECT_FLOAT_EQ(percentiles[i], expected[i]) << i;
        EXPECT_TRUE(r.rs232);
        EXPECT_TRUE(r.progMode);
        if (layout == IntervalLayout::From30) {
            EXPECT_EQ(r.dna, std::optional<std::uint8_t>(3));
            EXPECT_EQ(r.ena, std::optional<std::uint8_t>(4));
            EXPECT_EQ(r.lineShort, std::optional<std::uint8_t>(5));
        } else {
            EXPECT_FALSE(r.dna || r.ena || r.lineShort);
        }
    }
}

TEST(DownloadIntervals, LevelsAreCheckedAsSignedTenthsAndStoredWithTheRangeMarkers)
{
    const QByteArray base = intervalBytes(sampleInterval(at(2012, 6, 1, 22, 0)), IntervalLayout::From30);
    struct Level {
        int offset;
        const char* column;
    };
    const Level levels[] = {{17, "SLeqVecino"}, {19, "SLeqLocal"}, {24, "SMaxLeq1min"}, {31, "SMinLeq1min"},
                            {38, "SMaxFast"},   {43, "SL1"},       {45, "SL5"},         {47, "SL10"},
                            {49, "SL50"},       {51, "SL90"}};
    for (const Level& l : levels) {
        for (int bad : {1401, 0x8000, 0xFFFF}) {
            QByteArray f = base;
            put16(f, l.offset, bad);
            const auto d = decodeIntervalBytes(f, IntervalLayout::From30);
            EXPECT_EQ(d.kind, RecordFrame::Refused) << l.column << " " << bad;
            EXPECT_TRUE(d.refusal.startsWith(QLatin1String(l.column))) << d.refusal.toStdString();
        }
    }
    // Over range is 121, under range (0 included) 59; the neighbour level of
    // the newer layout alone is kept as sent.
    for (IntervalLayout layout : {IntervalLayout::From30, IntervalLayout::Before30}) {
        sim::IntervalRecord s = sampleInterval(at(2012, 6, 1, 22, 0));
        s.leqVenue = 1400;
        s.leqNeighbour = 0;
        s.stats.lfmax = 0;
        s.stats.l90 = 1201;
        s.stats.l50 = 1200;
        const auto d = decodeIntervalBytes(intervalBytes(s, layout), layout);
        ASSERT_EQ(d.kind, RecordFrame::Record) << d.refusal.toStdString();
        EXPECT_EQ(d.record.leqVenue, kOverRange);
        EXPECT_EQ(d.record.leqNeighbour, layout == IntervalLayout::From30 ? 0.0f : kUnderRange);
        EXPECT_EQ(d.record.stats.lfmax, kUnderRange);
        EXPECT_EQ(d.record.stats.l90, kOverRange);
        EXPECT_FLOAT_EQ(d.record.stats.l50, 120.0f);
    }
}

TEST(DownloadIntervals, CountersStampsAndTheOlderLayoutsBytesAreRangeChecked)
{
    struct Case {
        IntervalLayout layout;
        int offset;
        int value;
        bool wide; // a 16-bit field
        bool accepted;
    };
    const auto newer = IntervalLayout::From30;
    const auto older = IntervalLayout::Before30;
    const Case cases[] = {
        {newer, 9, 4000, true, true},     {newer, 9, 4001, true, false},  {newer, 11, 4001, true, false},
        {newer, 13, 4001, true, false},   {newer, 15, 4001, true, false}, {newer, 41, 4001, true, false},
        {newer, 41, 0x8001, true, false}, {newer, 26, 32, false, false}, // max stamp day 32
        {newer, 34, 13, false, false},                                   // min stamp month 13
        {newer, 23, 200, false, true},    {older, 23, 60, false, true},   {older, 23, 61, false, false},
        {newer, 53, 7, false, true},      {older, 53, 2, false, false},   {older, 54, 2, false, false},
        {older, 55, 2, false, false},     {older, 56, 3, false, false},   {older, 57, 3, false, false},
        {older, 57, 2, false, true},
    };
    for (const Case& c : cases) {
        QByteArray f = intervalBytes(sampleInterval(at(2012, 6, 1, 22, 0)), c.layout);
        if (c.wide)
            put16(f, c.offset, c.value);
        else
            f[c.offset] = char(c.value);
        const auto d = decodeIntervalBytes(f, c.layout);
        EXPECT_EQ(d.kind, c.accepted ? RecordFrame::Record : RecordFrame::Refused)
            << "offset " << c.offset << " value " << c.value << " " << d.refusal.toStdString();
    }
}

TEST(DownloadIntervals, ActionTextsAndFlagBytesFollowTheLayout)
{
    struct Case {
        IntervalLayout layout;
        int venue, neighbour;
        const char* venueText;
        const char* neighbourText;
    };
    const Case cases[] = {
        {IntervalLayout::From30, 125, 0, "Leq125ms", "0"},
        {IntervalLayout::From30, 5, 125, "Leq5s", "Leq125ms"},
        {IntervalLayout::From30, 10, 30, "Leq10s", "Leq30s"},
        {IntervalLayout::Before30, 1, 0, "Leq1s", "0"},
        {IntervalLayout::Before30, 2, 1, "Leq125ms", "Leq1s"},
        {IntervalLayout::Before30, 1, 2, "Leq1s", "Leq125ms"},
        // 0 at the venue has no known text: stored empty, never another record's.
        {IntervalLayout::Before30, 0, 0, "", "0"},
    };
    for (const Case& c : cases) {
        QByteArray f = intervalBytes(sampleInterval(at(2012, 6, 1, 22, 0)), c.layout);
        f[56] = char(c.venue);
        f[57] = char(c.neighbour);
        const auto d = decodeIntervalBytes(f, c.layout);
        ASSERT_EQ(d.kind, RecordFrame::Record) << d.refusal.toStdString();
        EXPECT_EQ(d.record.actionVenue, QLatin1String(c.venueText)) << c.venue;
        EXPECT_EQ(d.record.actionNeighbour, QLatin1String(c.neighbourText)) << c.neighbour;
    }

    // D.N.A. 255: both minute counts are 255, the flags still come from bit 7.
    QByteArray f = intervalBytes(sampleInterval(at(2012, 6, 1, 22, 0)), IntervalLayout::From30);
    f[53] = char(255);
    f[54] = char(0x85);
    f[55] = char(0x06);
    const auto d = decodeIntervalBytes(f, IntervalLayout::From30);
    ASSERT_EQ(d.kind, RecordFrame::Record);
    EXPECT_EQ(d.record.dna, std::optional<std::uint8_t>(255));
    EXPECT_EQ(d.record.ena, std::optional<std::uint8_t>(255));
    EXPECT_EQ(d.record.lineShort, std::optional<std::uint8_t>(255));
    EXPECT_TRUE(d.record.rs232);
    EXPECT_FALSE(d.record.progMode);
}

TEST(DownloadIntervals, SensorInactiveZeroesTheLevelsButNotLfmaxNorItsPasses)
{
    sim::IntervalRecord s = sampleInterval(at(2012, 6, 1, 22, 0));
    s.sensorInactive = 9;
    s.stats.lfmax = 1300;
    const auto d = decodeIntervalBytes(intervalBytes(s, IntervalLayout::From30), IntervalLayout::From30);
    ASSERT_EQ(d.kind, RecordFrame::Record);
    const IntervalRecord& r = d.record;
    for (float level : {r.leqVenue, r.leqNeighbour, r.stats.maxLeq1, r.stats.minLeq1, r.stats.l1, r.stats.l5,
                        r.stats.l10, r.stats.l50, r.stats.l90})
        EXPECT_EQ(level, kNoLevel);
    EXPECT_EQ(r.passesVenue, 0);
    EXPECT_EQ(r.passesNeighbour, 0);
    EXPECT_EQ(r.sensorInactive, 9);
    EXPECT_EQ(r.stats.lfmax, kOverRange);
    EXPECT_EQ(r.lfmaxPasses, 7);
}

TEST(DownloadIntervals, TheKeyStampEndsRefusesOrStopsTheList)
{
    const QByteArray base = intervalBytes(sampleInterval(at(2010, 1, 20, 12, 0)), IntervalLayout::From30);
    const QDateTime rangeStart = wallClock(QDate(2010, 1, 20), QTime(12, 0));

    // The end frame is recognised whatever its length.
    QByteArray end = base;
    end[4] = 0;
    EXPECT_EQ(decodeIntervalBytes(end.left(6), IntervalLayout::From30).kind, RecordFrame::EndOfList);
    EXPECT_EQ(decodeIntervalBytes(sim::intervalListEnd(), IntervalLayout::From30).kind, RecordFrame::EndOfList);

    EXPECT_EQ(decodeIntervalBytes(base, IntervalLayout::From30, rangeStart).kind, RecordFrame::Record);
    EXPECT_EQ(decodeIntervalBytes(base, IntervalLayout::From30, rangeStart.addSecs(60)).kind,
              RecordFrame::OlderThanRange);

    QByteArray january = base;
    january[5] = char(244);
    const auto d = decodeIntervalBytes(january, IntervalLayout::From30);
    ASSERT_EQ(d.kind, RecordFrame::Record);
    EXPECT_EQ(d.record.end, wallClock(QDate(2010, 1, 20), QTime(12, 0)));
    january[5] = char(243);
    EXPECT_EQ(decodeIntervalBytes(january, IntervalLayout::From30).kind, RecordFrame::Refused);

    QByteArray april31 = base;
    april31[4] = 31;
    april31[5] = 4;
    EXPECT_EQ(decodeIntervalBytes(april31, IntervalLayout::From30, rangeStart).kind, RecordFrame::Refused);

    // Offsets up to 57 must lie before the check byte.
    EXPECT_EQ(decodeIntervalBytes(base.left(59), IntervalLayout::From30).kind, RecordFrame::Record);
    EXPECT_EQ(decodeIntervalBytes(base.left(58), IntervalLayout::From30).kind, RecordFrame::Refused);
    EXPECT_EQ(decodeIntervalBytes(base.left(5), IntervalLayout::Before30).kind, RecordFrame::Refused);
}

TEST(DownloadSessions, FieldsCountersAndTheSensorRule)
{
    const sim::SessionRecord s = sampleSession(at(2011, 8, 12, 21, 30));
    const auto d = decodeSessionBytes(sessionBytes(s));
    ASSERT_EQ(d.kind, RecordFrame::Record) << d.refusal.toStdString();
    const SessionRecord& r = d.record;
    EXPECT_EQ(r.start, wallClock(QDate(2011, 8, 12), QTime(21, 30)));
    EXPECT_EQ(r.end, wallClock(QDate(2011, 8, 13), QTime(2, 30)));
    EXPECT_EQ(r.nightStart, QStringLiteral("23:00"));
    EXPECT_EQ(r.nightEnd, QStringLiteral("07:30"));
    EXPECT_EQ(r.dayLimitVenue, 95);
    EXPECT_EQ(r.nightLimitNeighbour, 30);
    EXPECT_EQ(r.attenuationSeconds, 120);
    EXPECT_EQ(r.disconnections, 70000);
    EXPECT_EQ(r.passesVenue, 65536);
    EXPECT_EQ(r.passesNeighbour, 300);
    EXPECT_EQ(r.lfmaxPasses, 80000);
    EXPECT_FLOAT_EQ(r.leq, 88.7f);
    EXPECT_FLOAT_EQ(r.stats.l90, 70.1f);

    struct Case {
        int offset;
        int value;
        bool wide24;
        bool accepted;
    };
    const Case cases[] = {{22, 9000, false, true},  {22, 9001, false, false},    {24, 90000, true, true},
                          {24, 90001, true, false}, {27, 0xFFFFFF, true, false}, {55, 90001, true, false},
                          {36, 1401, false, false}, {58, 1401, false, false},    {66, 0x8000, false, false}};
    for (const Case& c : cases) {
        QByteArray f = sessionBytes(s);
        if (c.wide24)
            put24(f, c.offset, c.value);
        else
            put16(f, c.offset, c.value);
        EXPECT_EQ(decodeSessionBytes(f).kind, c.accepted ? RecordFrame::Record : RecordFrame::Refused)
            << c.offset << " " << c.value;
    }
    QByteArray badEnd = sessionBytes(s);
    badEnd[10] = 2;
    badEnd[9] = 30; // 30 February
    EXPECT_EQ(decodeSessionBytes(badEnd).kind, RecordFrame::Refused);
    QByteArray month244 = sessionBytes(s);
    month244[5] = char(244); // only interval stamps take 244 for January
    EXPECT_EQ(decodeSessionBytes(month244).kind, RecordFrame::Refused);

    QByteArray out = sessionBytes(s);
    put24(out, 33, 1);
    put16(out, 52, 1300);
    const auto zeroed = decodeSessionBytes(out);
    ASSERT_EQ(zeroed.kind, RecordFrame::Record);
    for (float level : {zeroed.record.leq, zeroed.record.stats.lfmax, zeroed.record.stats.maxLeq1,
                        zeroed.record.stats.minLeq1, zeroed.record.stats.l1, zeroed.record.stats.l5,
                        zeroed.record.stats.l10, zeroed.record.stats.l50, zeroed.record.stats.l90})
        EXPECT_EQ(level, kNoLevel);
    EXPECT_EQ(zeroed.record.passesVenue, 65536); // session counters are kept

    const QByteArray whole = sessionBytes(s);
    EXPECT_EQ(decodeSessionBytes(whole.left(69)).kind, RecordFrame::Record);
    EXPECT_EQ(decodeSessionBytes(whole.left(68)).kind, RecordFrame::Refused);
    EXPECT_EQ(decodeSessionBytes(sim::sessionListEnd()).kind, RecordFrame::EndOfList);
    EXPECT_EQ(decodeSessionBytes(whole, wallClock(QDate(2011, 8, 12), QTime(21, 31))).kind,
              RecordFrame::OlderThanRange);
}

TEST(DownloadIntervals, LayoutFollowsTheFirmwareAsADecimalNumber)
{
    EXPECT_EQ(intervalLayoutFor(QStringLiteral("2.9")), IntervalLayout::Before30);
    EXPECT_EQ(intervalLayoutFor(QStringLiteral("3.0")), IntervalLayout::From30);
    EXPECT_EQ(intervalLayoutFor(QStringLiteral("10.1")), IntervalLayout::From30);
    EXPECT_EQ(intervalLayoutFor(QStringLiteral("2.10")), IntervalLayout::Before30);
}
