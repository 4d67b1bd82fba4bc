#include "monitor/real_time_reading.h"

#include "core/catalogue_ids.h"
#include "i18n/translator.h"

#include <algorithm>

namespace tvq52 {

namespace {

constexpr int kLevelBelowRange = 600;
constexpr int kLevelAboveRange = 1200;
constexpr std::uint8_t kMainsAttenuation = 60;

QString two(int v)
{
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

} // namespace

std::optional<RealTimeReading> decodeReading(const std::uint8_t* f, int length)
{
    if (f == nullptr || length < kReadingFrameLength)
        return std::nullopt;
    RealTimeReading r;
    r.day = f[4];
    r.month = f[5];
    r.year = f[6];
    r.hour = f[7];
    r.minute = f[8];
    r.second = f[9];
    r.session = f[10];
    r.night = f[11];
    r.mainsOff = f[12];
    r.sensorOff = f[13];
    r.nonWorking = f[14];
    r.level = qint16(std::uint16_t((f[15] << 8) | f[16]));
    r.attenuation = f[17];
    return r;
}

ReadingDisplay displayReading(const RealTimeReading& r, const Translator& translator, QChar decimalPoint)
{
    ReadingDisplay d;
    d.date = two(r.day) + QLatin1Char('/') + two(r.month) + QLatin1Char('/') + two(r.year % 100);
    d.time = two(r.hour) + QLatin1Char(':') + two(r.minute) + QLatin1Char(':') + two(r.second);
    d.session = r.session == 1;
    d.period = QLatin1Char('(') + translator.text(r.night == 1 ? msg::Night : msg::Day) + QLatin1Char(')');
    d.mainsOff = r.mainsOff == 1;
    std::uint8_t a = d.mainsOff ? kMainsAttenuation : r.attenuation;
    d.sensorOff = r.sensorOff == 1;
    d.nonWorking = r.nonWorking == 1;

    if (r.sensorOff != 0) {
        d.level = QStringLiteral("---");
    } else if (r.level < kLevelBelowRange) {
        d.level = QStringLiteral("UND");
        d.levelDb = kLevelBelowRange / 10.0;
    } else if (r.level > kLevelAboveRange) {
        d.level = QStringLiteral("UP");
        d.levelDb = kLevelAboveRange / 10.0;
    } else {
        d.level = QString::number(r.level / 10.0, 'f', 1).replace(QLatin1Char('.'), decimalPoint);
        d.levelDb = r.level / 10.0;
    }

    // Any mains code shows -60; only code 1 drives the bar to its end.
    if (r.mainsOff != 0)
        d.attenuation = QStringLiteral("-60");
    else if (a == 0)
        d.attenuation = QStringLiteral("  0");
    else
        d.attenuation = QLatin1Char('-') + QString::number(a);
    d.bar = std::min<int>(a, kBarMaximum);
    d.attenuationDb = r.mainsOff != 0 ? kMainsAttenuation : a;
    return d;
}

} // namespace tvq52
