#include "programming/field_checks.h"

#include "programming/time_text.h"

namespace tvq52 {

namespace {

using Focus = FieldCheck::Focus;

constexpr int kLimitMessage = 60;
constexpr int kWrongValue = 106;
constexpr int kWrongDate = 18;
constexpr int kWrongNightStart = 25;
constexpr int kWrongNightEnd = 26;
constexpr int kStartEqualsEnd = 97;

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

// Empty and unreadable texts count as 0, as the numeric boxes read them.
int numberIn(const QString& text)
{
    return text.trimmed().toInt();
}

FieldCheck limitCorrected(const QString& value)
{
    return {value, 0, Focus::BackToField, true};
}

FieldCheck checkNight(const QString& own, const QString& start, const QString& end, int invalidMessage)
{
    if (!isValidClockTime(own))
        return {own, invalidMessage, Focus::BackToField, true};
    if (parseClockTime(start) == parseClockTime(end))
        return {own, kStartEqualsEnd, Focus::ToNightStart, true};
    return {clockText(*parseClockTime(own)), 0, Focus::MoveOn, false, true};
}

} // namespace

FieldCheck checkVenueLimit(const QString& text)
{
    if (isBlank(text))
        return {text, kLimitMessage, Focus::BackToField, true};
    const int v = numberIn(text);
    if (v < 60)
        return limitCorrected(QStringLiteral("60"));
    if (v > 120)
        return limitCorrected(QStringLiteral("120"));
    return {text};
}

FieldCheck checkNeighbourLimit(const QString& text)
{
    if (isBlank(text))
        return {text, kLimitMessage, Focus::BackToField, true};
    if (numberIn(text) > 120)
        return limitCorrected(QStringLiteral("120"));
    return {text};
}

FieldCheck checkFastLimit(const QString& text)
{
    const int v = numberIn(text);
    if (v < 60)
        return {QStringLiteral("60")};
    if (v > 120)
        return {QStringLiteral("120")};
    return {text};
}

FieldCheck checkLeqTime(const QString& text)
{
    const int v = numberIn(text);
    if (v < 2)
        return {QStringLiteral("2")};
    if (v > 60)
        return {QStringLiteral("60")};
    return {text};
}

FieldCheck checkRings(const QString& text)
{
    const int v = numberIn(text);
    if (v < 1 || v > 4)
        return {QStringLiteral("1")};
    return {text};
}

FieldCheck checkAttenuationTime(const QString& text)
{
    if (isBlank(text))
        return {QStringLiteral("0")};
    const int v = numberIn(text);
    if (v != 0 && (v < 2 || v > 9999))
        return {QStringLiteral("0")};
    return {text};
}

FieldCheck checkActionSeconds(const QString& text)
{
    if (isBlank(text))
        return {text, kWrongValue, Focus::BackToField};
    const int v = numberIn(text);
    if (v < 1)
        return {QStringLiteral("01")};
    if (v > 10)
        return {QStringLiteral("10")};
    return {text};
}

FieldCheck checkNightStart(const QString& start, const QString& end)
{
    return checkNight(start, start, end, kWrongNightStart);
}

FieldCheck checkNightEnd(const QString& start, const QString& end)
{
    return checkNight(end, start, end, kWrongNightEnd);
}

FieldCheck checkProgrammingDate(const QString& text)
{
    // The month test on the raw text catches "13" before the date is read.
    if (!parseShortDate(text) || text.left(2) == QLatin1String("00") || text.mid(3, 2) > QLatin1String("12"))
        return {text, kWrongDate, Focus::BackToField};
    return {text};
}

QString secondsForChosenOption(const QString& text)
{
    return numberIn(text) < 1 ? QStringLiteral("01") : text;
}

} // namespace tvq52
