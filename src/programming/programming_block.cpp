#include "programming/programming_block.h"

#include "link/frame.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <cmath>

namespace tvq52 {

namespace {

// Block offsets.
constexpr int kSessions = 0;
constexpr int kDayVenue = 28;
constexpr int kDayNeighbour = 29;
constexpr int kNightStart = 30;
constexpr int kNightEnd = 32;
constexpr int kNightVenue = 34;
constexpr int kNightNeighbour = 35;
constexpr int kClockChange = 36;
constexpr int kAttenuation = 37;
constexpr int kLeqTime = 39;
constexpr int kFastLimit = 40;
constexpr int kPrinting = 41;
constexpr int kLanguage = 42;
constexpr int kRings = 43;
constexpr int kIntervals = 44;
constexpr int kIntervalSize = 10;
constexpr int kVenueAction = 344;
constexpr int kNeighbourAction = 345;
constexpr int kOctaves = 346;
constexpr int kCorrection = 364;

constexpr std::uint8_t kNoSession = 0x2D;
constexpr std::uint8_t kLeq125Old = 2;
constexpr std::uint8_t kLeq125 = 125;
constexpr int kPacedCommand = 0x08;

QString twoDigits(int v)
{
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

// Hour and minute as "hh:nn"; a pair that is no time of day keeps its digits.
QString timeText(std::uint8_t hour, std::uint8_t minute)
{
    if (QTime::isValid(hour, minute, 0))
        return twoDigits(hour) + QLatin1Char(':') + twoDigits(minute);
    return QStringLiteral("%1:%2").arg(hour).arg(minute);
}

qint16 signed16(const std::uint8_t* at)
{
    return qint16(std::uint16_t((at[0] << 8) | at[1]));
}

QString actionText(std::uint8_t code, bool neighbour, bool codes33)
{
    if (neighbour && code == 0)
        return QStringLiteral("0");
    const int most = codes33 ? 10 : 1;
    if (code >= 1 && code <= most)
        return QStringLiteral("Leq%1s").arg(code);
    return QStringLiteral("Leq125ms");
}

std::uint8_t byteOf(int v)
{
    return std::uint8_t(std::clamp(v, 0, 255));
}

std::uint8_t byteOf(const QString& digits)
{
    return byteOf(digits.trimmed().toInt());
}

// The value as a signed 16-bit number, high byte first. Clamped before it is
// rounded: rounding a value beyond an int's range is undefined.
void put16(QByteArray& out, double value)
{
    const double bounded = std::isnan(value) ? 0.0 : std::clamp(value, -32768.0, 32767.0);
    const auto v = std::uint16_t(qint16(qRound(bounded)));
    out.append(char(v >> 8));
    out.append(char(v & 0xFF));
}

void putTime(QByteArray& out, const QString& hhnn)
{
    out.append(char(byteOf(hhnn.left(2))));
    out.append(char(byteOf(hhnn.right(2))));
}

// Day, month, year byte, hour, minute of one end of an interval; the year is
// its last two digits, in this century below 50. Zeros when the day is no date.
void putIntervalEnd(QByteArray& out, const QString& day, const QString& time)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/\\d*(\\d{2})\\s*$"));
    const QRegularExpressionMatch m = re.match(day);
    if (m.hasMatch()) {
        const int dd = m.captured(1).toInt();
        const int mm = m.captured(2).toInt();
        int yy = m.captured(3).toInt();
        if (yy < 50)
            yy += 100;
        if (QDate::isValid(1900 + yy, mm, dd)) {
            out.append(char(dd));
            out.append(char(mm));
            out.append(char(yy));
            putTime(out, time);
            return;
        }
    }
    out.append(QByteArray(5, 0));
}

std::uint8_t actionCode(const ActionType& action, bool codes33)
{
    switch (action.kind) {
    case ActionType::None:
        return 0;
    case ActionType::Leq125ms:
        return codes33 ? kLeq125 : kLeq125Old;
    case ActionType::LeqSeconds:
        break;
    }
    return byteOf(action.seconds);
}

} // namespace

QString sessionTimeText(std::uint8_t hour, std::uint8_t minute)
{
    if (hour == kNoSession && minute == kNoSession)
        return QStringLiteral("--:--");
    return timeText(hour, minute);
}

QString intervalDayText(std::uint8_t day, std::uint8_t month, std::uint8_t year)
{
    if (day == 0 && month == 0 && year == 0)
        return QStringLiteral("00/00/00");
    if (QDate::isValid(1900 + year, month, day))
        return twoDigits(day) + QLatin1Char('/') + twoDigits(month) + QLatin1Char('/') + twoDigits(year % 100);
    return QStringLiteral("%1/%2/%3").arg(day).arg(month).arg(year);
}

QString intervalTimeText(std::uint8_t hour, std::uint8_t minute)
{
    return timeText(hour, minute);
}

QByteArray programmingRequest()
{
    return completeFrame(std::uint8_t(UnitCommand::ReadProgramming));
}

bool decodeProgrammingReply(const std::uint8_t* frame, int length, const QString& unitFirmware,
                            ReceivedProgramming& into)
{
    const bool correction = hasGlobalCorrection(unitFirmware);
    const int blockSize = correction ? kProgrammingBlockSizeWithCorrection : kProgrammingBlockSize;
    // The block must end before the check byte; nothing is read past the frame.
    if (frame == nullptr || length < kReplyBlockOffset + blockSize + 1)
        return false;
    const std::uint8_t* b = frame + kReplyBlockOffset;
    ReceivedProgramming r = into;

    for (int day = 0; day < 7; ++day) {
        const std::uint8_t* s = b + kSessions + 4 * day;
        r.sessions[day] = sessionTimeText(s[0], s[1]);
        r.sessions[7 + day] = sessionTimeText(s[2], s[3]);
    }
    r.ByNivelDiaLocal = b[kDayVenue];
    r.ByNivelDiaVecino = b[kDayNeighbour];
    r.THoraEmpiezaNoche = timeText(b[kNightStart], b[kNightStart + 1]);
    r.THoraTerminaNoche = timeText(b[kNightEnd], b[kNightEnd + 1]);
    r.ByNivelNocheLocal = b[kNightVenue];
    r.ByNivelNocheVecino = b[kNightNeighbour];
    r.BoCambioHora = b[kClockChange];
    r.ITiempoAtenuacion = signed16(b + kAttenuation);
    r.ByTLeq = b[kLeqTime];
    r.ByMFast = b[kFastLimit];
    r.BoImpresion = b[kPrinting];
    if (b[kLanguage] < unitLanguages().size())
        r.TIdioma = unitLanguages().at(b[kLanguage]);
    r.ByRings = b[kRings];
    for (int k = 0; k < kIntervalCount; ++k) {
        const std::uint8_t* i = b + kIntervals + kIntervalSize * k;
        r.intervals[k] = {intervalDayText(i[0], i[1], i[2]), intervalTimeText(i[3], i[4]),
                          intervalDayText(i[5], i[6], i[7]), intervalTimeText(i[8], i[9])};
    }
    const bool codes33 = hasActionSeconds(unitFirmware);
    r.TTipoActuacionLocal = actionText(b[kVenueAction], false, codes33);
    r.TTipoActuacionVecino = actionText(b[kNeighbourAction], true, codes33);
    for (int k = 0; k < kOctaveCount; ++k)
        r.octaves[k] = float(signed16(b + kOctaves + 2 * k)) / 10.0f;
    if (correction)
        r.CMI = b[kCorrection];
    into = r;
    return true;
}

QByteArray encodeProgrammingFrame(const ProgrammingRecord& r, const ProgIntervals& intervals,
                                  const QString& unitFirmware, const QDateTime& pcClock)
{
    const bool correction = hasGlobalCorrection(r.version);
    const int length =
        kTransmitBlockOffset + (correction ? kProgrammingBlockSizeWithCorrection : kProgrammingBlockSize) + 2;
    QByteArray f;
    f.reserve(length);
    f.append(char(kStx));
    f.append(char(length >> 8));
    f.append(char(length & 0xFF));
    f.append(char(kPacedCommand));

    const QDate d = pcClock.date();
    const QTime t = pcClock.time();
    f.append(char(d.day()));
    f.append(char(d.month()));
    f.append(char(byteOf(d.year() > 1900 ? d.year() - 1900 : d.year())));
    f.append(char(t.hour()));
    f.append(char(t.minute()));
    f.append(char(t.second()));

    // The record keeps Monday first; the block starts on Sunday.
    for (int day = 0; day < 7; ++day) {
        const SessionHours& s = r.sessions[(day + 6) % 7];
        if (s.start.left(2) == QLatin1String("--")) {
            f.append(QByteArray(4, char(kNoSession)));
            continue;
        }
        putTime(f, s.start);
        putTime(f, s.end);
    }
    f.append(char(byteOf(r.dayLimitVenue)));
    f.append(char(byteOf(r.dayLimitNeighbour)));
    putTime(f, r.nightStart);
    putTime(f, r.nightEnd);
    f.append(char(byteOf(r.nightLimitVenue)));
    f.append(char(byteOf(r.nightLimitNeighbour)));
    f.append(char(r.clockChange ? 1 : 0));
    put16(f, r.attenuationSeconds);
    f.append(char(byteOf(r.leqMinutes)));
    f.append(char(byteOf(r.fastLimit)));
    f.append(char(r.continuousPrinting ? 1 : 0));
    f.append(char(std::max<qsizetype>(0, unitLanguages().indexOf(r.language))));
    f.append(char(byteOf(r.rings)));
    for (const NonWorkingInterval& i : intervals) {
        const qsizetype at = f.size();
        putIntervalEnd(f, i.startDay, i.startTime);
        if (f.mid(at, 5) == QByteArray(5, 0)) {
            f.append(QByteArray(5, 0)); // an unused interval is ten zeros
            continue;
        }
        putIntervalEnd(f, i.endDay, i.endTime);
    }
    const bool codes33 = hasActionSeconds(unitFirmware);
    f.append(char(actionCode(r.venueAction, codes33)));
    f.append(char(actionCode(r.neighbourAction, codes33)));
    for (float octave : r.octaves)
        put16(f, double(octave) * 10.0);
    if (correction)
        f.append(char(r.globalCorrection ? 1 : 0));
    f.append(char(kEtx));
    f.append(char(checkByte(f)));
    return f;
}

} // namespace tvq52
