#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <array>
#include <cstdint>
#include <optional>

namespace tvq52 {

// The unit's stamps are wall-clock readings. They are held as UTC date-times
// so that arithmetic on them (an interval's start) is plain calendar
// arithmetic, never shifted or broken by a daylight-saving change.
QDateTime wallClock(const QDate& date, const QTime& time);
// A stored date ("yyyy-mm-dd", or a date) and time ("hh:mm") as one
// wall-clock reading; invalid when either is not one. Fast: a year of
// intervals is a quarter of a million rows.
QDateTime storedStamp(const QVariant& date, const QVariant& time);

// Stored levels are decibels with one decimal; these values are markers.
inline constexpr float kUnderRange = 59.0f;
inline constexpr float kOverRange = 121.0f;
inline constexpr float kNoLevel = 0.0f;

// Below 60.0 becomes 59.0, above 120.0 becomes 121.0, the rest is kept.
float markOutOfRange(float level);

// What a totals reply carries, with the PC's time of the reading.
struct TotalsReading {
    std::int32_t passesVenue = 0;     // LPasadasLocal, seconds
    std::int32_t sensorInactive = 0;  // LE3
    std::int32_t erasures = 0;        // LCB
    std::int32_t passesNeighbour = 0; // LPasadasVecino
    QDateTime readAt;
};

// The three event-date lists, in the order the reply carries them.
enum class EventKind : std::uint8_t { Erasure, BatteryEnd, Reprogramming };
// "DiaBorrado", "DiaFinalBateria", "DiaReprogramado".
QString eventTable(EventKind kind);

struct EventDate {
    EventKind kind = EventKind::Erasure;
    QDateTime at; // minutes only
};

// The minute statistics both record kinds carry, as stored.
struct LevelStatistics {
    float maxLeq1 = 0;
    QDateTime maxLeq1At;
    float minLeq1 = 0;
    QDateTime minLeq1At;
    float lfmax = 0;
    std::uint8_t lfmaxLimit = 0;
    float l1 = 0, l5 = 0, l10 = 0, l50 = 0, l90 = 0;
};

// One Leq interval as it is stored: the storing rules (sensor inactive,
// under and over range) are already applied to the levels.
struct IntervalRecord {
    QDateTime start; // end minus leqMinutes
    QDateTime end;
    std::uint8_t leqMinutes = 0;
    std::int16_t disconnections = 0;
    std::int16_t passesNeighbour = 0;
    std::int16_t passesVenue = 0;
    std::int16_t sensorInactive = 0;
    float leqNeighbour = 0;
    float leqVenue = 0;
    std::uint8_t limitNeighbour = 0;
    std::uint8_t limitVenue = 0;
    LevelStatistics stats;
    std::int16_t lfmaxPasses = 0;
    bool rs232 = false;
    bool progMode = false;
    QString actionVenue;
    QString actionNeighbour;
    // Only the layout of firmware 3.0 and later carries these; a record in
    // the older layout leaves whatever a stored row holds there.
    std::optional<std::uint8_t> dna;
    std::optional<std::uint8_t> ena;
    std::optional<std::uint8_t> lineShort;
};

// One session as it is stored.
struct SessionRecord {
    QDateTime start;
    QDateTime end;
    std::uint8_t dayLimitVenue = 0;
    std::uint8_t dayLimitNeighbour = 0;
    QString nightStart; // "hh:nn" of the two bytes as sent
    QString nightEnd;
    std::uint8_t nightLimitVenue = 0;
    std::uint8_t nightLimitNeighbour = 0;
    std::int16_t attenuationSeconds = 0;
    std::int32_t disconnections = 0;
    std::int32_t passesVenue = 0;
    std::int32_t passesNeighbour = 0;
    std::int32_t sensorInactive = 0;
    float leq = 0;
    LevelStatistics stats;
    std::int32_t lfmaxPasses = 0;
};

// Which interval layout a firmware version sends: below 3.0 the older one.
// The version is read as a decimal number ("2.5", "3.0", "10.1").
enum class IntervalLayout : std::uint8_t { Before30, From30 };
IntervalLayout intervalLayoutFor(const QString& firmware);

// The years a request can name: its year bytes come from two-digit years,
// below 50 being 20yy. Any other year would silently name another century.
inline constexpr int kFirstRequestYear = 1950;
inline constexpr int kLastRequestYear = 2049;
bool requestCarries(const QDateTime& at);

// The range of a download: start and end day, month, two-digit year, hour
// and minute, as the range picker leaves them.
struct DownloadRange {
    std::array<std::uint8_t, 10> bytes{};

    // Years are kept as their last two digits.
    static DownloadRange from(const QDateTime& start, const QDateTime& end);
    // A two-digit year below 50 is 20yy, else 19yy (the same rule on the
    // line and in the decoders). Invalid when the bytes are not a date.
    QDateTime start() const;
    QDateTime end() const;
    // The ten bytes as requests send them: years since 1900.
    QByteArray requestBytes() const;
};

// What a download counts, per kind of record.
enum class RecordKind : std::uint8_t { Totals, Erasures, BatteryEnds, Reprogrammings, Intervals, Sessions };
inline constexpr int kRecordKinds = 6;
// The table a kind is stored in ("Programacion" for the totals).
QString recordTable(RecordKind kind);
RecordKind recordKindOf(EventKind kind);
// The word a kind is kept under in the journal ("intervals", "battery-ends").
QString recordKindWord(RecordKind kind);
std::optional<RecordKind> recordKindFromWord(const QString& word);

struct KindCounts {
    int received = 0;  // record frames (the end frame not included)
    int added = 0;     // new rows
    int rewritten = 0; // rows that were already stored, written again
    int refused = 0;   // failed a check, acknowledged and not stored
};

using DownloadCounts = std::array<KindCounts, kRecordKinds>;

} // namespace tvq52
