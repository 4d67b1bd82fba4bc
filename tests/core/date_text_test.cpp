#include "core/date_text.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

} // namespace

TEST(DateText, ReadsTheDayFirstFormWithTwoAndFourDigitYears)
{
    EXPECT_EQ(parseDateTimeText(QStringLiteral("01/12/26 22:00")), at(2026, 12, 1, 22, 0));
    EXPECT_EQ(parseDateTimeText(QStringLiteral("1/2/2026 7:05")), at(2026, 2, 1, 7, 5));
    // The two-digit century turns at 50.
    EXPECT_EQ(parseDateTimeText(QStringLiteral("31/12/49 23:59")), at(2049, 12, 31, 23, 59));
    EXPECT_EQ(parseDateTimeText(QStringLiteral("01/01/50 00:00")), at(1950, 1, 1, 0, 0));
    EXPECT_EQ(parseDateTimeText(QStringLiteral("  05/06/1999   10:30:15 ")), at(1999, 6, 5, 10, 30, 15));
}

TEST(DateText, ReadsIsoWithTOrABlankAndOptionalSeconds)
{
    EXPECT_EQ(parseDateTimeText(QStringLiteral("2026-12-01T22:00")), at(2026, 12, 1, 22, 0));
    EXPECT_EQ(parseDateTimeText(QStringLiteral("2026-12-01 22:00")), at(2026, 12, 1, 22, 0));
    EXPECT_EQ(parseDateTimeText(QStringLiteral("2026-12-01T22:00:59")), at(2026, 12, 1, 22, 0, 59));
    EXPECT_EQ(parseDateTimeText(QStringLiteral("2024-02-29 00:00:00")), at(2024, 2, 29, 0, 0));
}

// A date alone is its day's first or last second; a zone is turned into this
// PC's local time, whichever way it is written.
TEST(DateText, ReadsIsoDatesAloneAndZonesAsLocalTime)
{
    EXPECT_EQ(parseDateTimeText(QStringLiteral("2026-12-01")), at(2026, 12, 1, 0, 0));
    EXPECT_EQ(parseDateTimeText(QStringLiteral(" 2026-12-01 "), DateAlone::EndOfDay), at(2026, 12, 1, 23, 59, 59));
    EXPECT_EQ(parseDateTimeText(QStringLiteral("2026-12-01T22:00"), DateAlone::EndOfDay), at(2026, 12, 1, 22, 0));
    const QDateTime local = QDateTime(QDate(2026, 12, 1), QTime(22, 0, 30), Qt::UTC).toLocalTime();
    for (const char* utc : {"2026-12-01T22:00:30Z", "2026-12-01 23:30:30+01:30", "2026-12-01T19:00:30-0300",
                            "2026-12-02T00:00:30.25+02", "2026-12-01T22:00:30 Z"})
        EXPECT_EQ(parseDateTimeText(QString::fromLatin1(utc)), QDateTime(local.date(), local.time())) << utc;
}

TEST(DateText, RefusesDaysAndTimesThatDoNotExistAndOtherShapes)
{
    for (const char* bad : {"2025-02-29T10:00", "31/04/26 10:00", "2026-13-01 10:00", "2026-12-01T24:00",
                            "2026-12-01T22:60", "2026-12-01T22:00:60", "01/12/26 22:00:61", "01/12/26", "2026-12-01Z",
                            "2026-12-01T22", "2026-12-01T22:00+15:00", "2026-12-01T22:00+01:60", "26-12-01 22:00",
                            "01/12/026 22:00", "2026-1-01 22:00", "01.12.26 22:00", "", "now"})
        EXPECT_FALSE(parseDateTimeText(QString::fromLatin1(bad))) << bad;
}

// A unit's reading held as UTC, the PC's local time and a date read back
// from another process's JSON all write the same text: the reading as local
// time with its offset, which reads back as that local moment.
TEST(DateText, WritesJsonDatesAsLocalTimeWithTheOffsetAndNothingForAnInvalidTime)
{
    const QDateTime local = at(2026, 3, 4, 5, 6, 7);
    const QString text = jsonDateTimeText(local);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^2026-03-04T05:06:07[+-]\\d\\d:\\d\\d$")).match(text).hasMatch())
        << qPrintable(text);
    EXPECT_EQ(jsonDateTimeText(QDateTime(local.date(), local.time(), QTimeZone::utc())), text);
    EXPECT_EQ(jsonDateTimeText(QDateTime::fromString(text, Qt::ISODate)), text);
    EXPECT_EQ(QDateTime::fromString(text, Qt::ISODate), local);
    EXPECT_EQ(QDateTime::fromString(text, Qt::ISODate).offsetFromUtc(), local.offsetFromUtc());
    EXPECT_EQ(jsonDateTimeText(QDateTime()), QString());
}
