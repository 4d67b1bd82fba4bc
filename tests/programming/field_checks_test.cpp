#include "programming/field_checks.h"
#include "programming/programming_record.h"

#include <gtest/gtest.h>

using namespace tvq52;
using Focus = FieldCheck::Focus;

TEST(VenueLimit, ClampsTo60And120AndBringsTheLimitsPageForwardTheNeighbourOnlyAbove)
{
    const FieldCheck high = checkVenueLimit(QStringLiteral("150"));
    EXPECT_EQ(high.text, QStringLiteral("120"));
    EXPECT_EQ(high.messageId, 0);
    EXPECT_EQ(high.focus, Focus::BackToField);
    EXPECT_TRUE(high.showLimitsPage);

    const FieldCheck low = checkVenueLimit(QStringLiteral("45"));
    EXPECT_EQ(low.text, QStringLiteral("60"));
    EXPECT_TRUE(low.showLimitsPage);

    const FieldCheck inRange = checkVenueLimit(QStringLiteral("85"));
    EXPECT_EQ(inRange.text, QStringLiteral("85"));
    EXPECT_EQ(inRange.focus, Focus::MoveOn);
    EXPECT_FALSE(inRange.showLimitsPage);

    const FieldCheck empty = checkVenueLimit(QString());
    EXPECT_EQ(empty.messageId, 60);
    EXPECT_EQ(empty.focus, Focus::BackToField);
    EXPECT_TRUE(empty.showLimitsPage);

    // The neighbour limit has no lower bound.
    EXPECT_EQ(checkNeighbourLimit(QStringLiteral("10")).text, QStringLiteral("10"));
    EXPECT_EQ(checkNeighbourLimit(QStringLiteral("10")).focus, Focus::MoveOn);
    EXPECT_EQ(checkNeighbourLimit(QStringLiteral("0")).text, QStringLiteral("0"));
    const FieldCheck neighbourHigh = checkNeighbourLimit(QStringLiteral("121"));
    EXPECT_EQ(neighbourHigh.text, QStringLiteral("120"));
    EXPECT_TRUE(neighbourHigh.showLimitsPage);
    EXPECT_EQ(checkNeighbourLimit(QStringLiteral(" ")).messageId, 60);
}

TEST(SilentCorrections, RingsAttenuationLeqTimeAndLfmax)
{
    using Check = FieldCheck (*)(const QString&);
    const std::tuple<Check, const char*, const char*> cases[] = {
        {checkRings, "0", "1"},
        {checkRings, "", "1"},
        {checkRings, "5", "1"},
        {checkRings, "4", "4"},
        {checkAttenuationTime, "1", "0"},
        {checkAttenuationTime, "0", "0"},
        {checkAttenuationTime, "2", "2"},
        {checkAttenuationTime, "9999", "9999"},
        {checkAttenuationTime, "10000", "0"},
        {checkAttenuationTime, "", "0"},
        {checkLeqTime, "", "2"},
        {checkLeqTime, "1", "2"},
        {checkLeqTime, "61", "60"},
        {checkLeqTime, "15", "15"},
        {checkFastLimit, "", "60"},
        {checkFastLimit, "130", "120"},
        {checkFastLimit, "1", "60"},
    };
    for (const auto& [check, typed, kept] : cases) {
        const FieldCheck c = check(QString::fromUtf8(typed));
        EXPECT_EQ(c.text, QString::fromUtf8(kept)) << typed;
        EXPECT_EQ(c.messageId, 0) << typed;
        EXPECT_EQ(c.focus, Focus::MoveOn) << typed;
    }
}

TEST(ActionSeconds, EmptyIsRefusedOthersAreClampedToTwoDigits)
{
    const FieldCheck empty = checkActionSeconds(QString());
    EXPECT_EQ(empty.messageId, 106);
    EXPECT_EQ(empty.focus, Focus::BackToField);
    EXPECT_EQ(checkActionSeconds(QStringLiteral("0")).text, QStringLiteral("01"));
    EXPECT_EQ(checkActionSeconds(QStringLiteral("11")).text, QStringLiteral("10"));
    EXPECT_EQ(checkActionSeconds(QStringLiteral("7")).text, QStringLiteral("7"));
    EXPECT_EQ(secondsForChosenOption(QString()), QStringLiteral("01"));
    EXPECT_EQ(secondsForChosenOption(QStringLiteral("00")), QStringLiteral("01"));
    EXPECT_EQ(secondsForChosenOption(QStringLiteral("05")), QStringLiteral("05"));
}

TEST(NightHours, EqualStartAndEndAreRefusedAndTheDayFollowsOtherwise)
{
    const FieldCheck same = checkNightEnd(QStringLiteral("22:00"), QStringLiteral("22:00"));
    EXPECT_EQ(same.messageId, 97);
    EXPECT_EQ(same.focus, Focus::ToNightStart);
    EXPECT_TRUE(same.showLimitsPage);
    EXPECT_FALSE(same.updateDayHours);
    EXPECT_EQ(checkNightStart(QStringLiteral("8:00"), QStringLiteral("08:00")).messageId, 97);

    const FieldCheck ok = checkNightEnd(QStringLiteral("22:00"), QStringLiteral("7:30"));
    EXPECT_EQ(ok.messageId, 0);
    EXPECT_TRUE(ok.updateDayHours);
    EXPECT_EQ(ok.text, QStringLiteral("07:30"));

    const FieldCheck badStart = checkNightStart(QStringLiteral("25:00"), QStringLiteral("08:00"));
    EXPECT_EQ(badStart.messageId, 25);
    EXPECT_EQ(badStart.focus, Focus::BackToField);
    EXPECT_TRUE(badStart.showLimitsPage);
    EXPECT_EQ(checkNightEnd(QStringLiteral("22:00"), QStringLiteral(":")).messageId, 26);
    EXPECT_EQ(checkNightEnd(QStringLiteral("22:00"), QStringLiteral("08:60")).messageId, 26);
}

TEST(ProgrammingDate, RefusesDayZeroAndMonthAboveTwelve)
{
    EXPECT_EQ(checkProgrammingDate(QStringLiteral("00/05/10")).messageId, 18);
    EXPECT_EQ(checkProgrammingDate(QStringLiteral("12/13/10")).messageId, 18);
    EXPECT_EQ(checkProgrammingDate(QStringLiteral("31/04/10")).messageId, 18);
    EXPECT_EQ(checkProgrammingDate(QStringLiteral("/  /")).messageId, 18);
    EXPECT_EQ(checkProgrammingDate(QStringLiteral("00/05/10")).focus, Focus::BackToField);
    EXPECT_EQ(checkProgrammingDate(QStringLiteral("29/02/12")).messageId, 0);
    EXPECT_EQ(checkProgrammingDate(QStringLiteral("12/12/99")).messageId, 0);
}

TEST(ActionType, EncodesAndDecodesEveryKind)
{
    EXPECT_EQ(encodeActionType({ActionType::LeqSeconds, QStringLiteral("5")}), QStringLiteral("Leq05s"));
    EXPECT_EQ(encodeActionType({ActionType::LeqSeconds, QStringLiteral("10")}), QStringLiteral("Leq10s"));
    EXPECT_EQ(encodeActionType({ActionType::LeqSeconds, QStringLiteral("01")}), QStringLiteral("Leq01s"));
    EXPECT_EQ(encodeActionType({ActionType::Leq125ms, QStringLiteral("07")}), QStringLiteral("Leq125ms"));
    EXPECT_EQ(encodeActionType({ActionType::None, {}}), QStringLiteral("0"));

    EXPECT_EQ(decodeActionType(QStringLiteral("Leq05s")), (ActionType{ActionType::LeqSeconds, QStringLiteral("05")}));
    EXPECT_EQ(decodeActionType(QStringLiteral("Leq125ms")).kind, ActionType::Leq125ms);
    EXPECT_EQ(decodeActionType(QStringLiteral("0")).kind, ActionType::None);
    // Short or odd texts never read past their end.
    EXPECT_EQ(decodeActionType(QString()).seconds, QString());
    EXPECT_EQ(decodeActionType(QStringLiteral("Leq")).seconds, QString());
}

TEST(WholeRecord, EveryFieldCheckRunsOnTheRecord)
{
    ProgrammingRecord r = defaultProgramming(QDate(2011, 3, 4));
    EXPECT_TRUE(fieldFaults(fieldTexts(r)).isEmpty());
    r.dayLimitVenue = 7;
    r.nightStart = r.nightEnd;
    r.rings = 0;
    r.neighbourAction = {ActionType::Leq125ms, QString()}; // its seconds box is not used
    const QList<FieldFault> faults = fieldFaults(fieldTexts(r));
    QStringList controls;
    for (const FieldFault& f : faults)
        controls << f.control;
    EXPECT_EQ(controls, (QStringList{"MaskRings", "MaskDiaLocal", "MaskEmpiezaNoche", "MaskTerminaNoche"}));
    EXPECT_EQ(faults[1].check.text, QStringLiteral("60"));
    EXPECT_EQ(faults[2].check.messageId, 97);
}

TEST(FirmwareVersion, SecondsFrom33AndGlobalCorrectionFrom40)
{
    EXPECT_FALSE(hasActionSeconds(QStringLiteral("3.2")));
    EXPECT_TRUE(hasActionSeconds(QStringLiteral("3.3")));
    EXPECT_TRUE(hasActionSeconds(QStringLiteral("10.1")));
    EXPECT_FALSE(hasGlobalCorrection(QStringLiteral("3.9")));
    EXPECT_TRUE(hasGlobalCorrection(QStringLiteral("4.0")));
    EXPECT_TRUE(hasGlobalCorrection(QStringLiteral("4")));
    EXPECT_TRUE(hasGlobalCorrection(QStringLiteral("2147484"))) << "past an int once in thousandths";
    EXPECT_TRUE(hasActionSeconds(QStringLiteral("99999999999999999999.9")));
    EXPECT_FALSE(hasActionSeconds(QStringLiteral("0.0")));
    EXPECT_FALSE(hasActionSeconds(QString()));
    EXPECT_DOUBLE_EQ(versionValue(QStringLiteral("4.1b")), 4.1);
}
