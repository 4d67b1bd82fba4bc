#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace tvq52 {

class Translator;

// Request of the real-time stream: 02 00 06 09 03, sent with its check byte 0E.
inline constexpr std::uint8_t kRealTimeCommand = 0x09;
// A reading frame: STX, length, command, 14 bytes of reading, check byte.
inline constexpr int kReadingFrameLength = 19;

// One real-time reading as the unit sends it.
struct RealTimeReading {
    std::uint8_t day = 0, month = 0, year = 0;
    std::uint8_t hour = 0, minute = 0, second = 0;
    std::uint8_t session = 0;
    std::uint8_t night = 0;
    std::uint8_t mainsOff = 0; // 1 also forces the attenuation to 60
    std::uint8_t sensorOff = 0;
    std::uint8_t nonWorking = 0;
    qint16 level = 0;             // tenths of a decibel
    std::uint8_t attenuation = 0; // dB
};

// Nothing when the frame is too short to hold a reading.
std::optional<RealTimeReading> decodeReading(const std::uint8_t* frame, int length);

// What the monitor's labels show for a reading.
struct ReadingDisplay {
    QString date;            // LbFecha, "dd/mm/yy"
    QString time;            // LbHora, "hh:nn:ss"
    bool session = false;    // LbSesion visible
    QString period;          // LbNoche, "(Noche)" or "(Día)"
    bool mainsOff = false;   // LbRed visible
    bool sensorOff = false;  // LbSensor visible
    bool nonWorking = false; // LbInhabil visible
    QString level;           // LbNivel: dB with one decimal, "UND", "UP" or "---"
    QString attenuation;     // LbAtenuador: "  0", "-" + dB, or "-60"
    int bar = 0;             // ProgressBar1 value, 0 to 40; hidden at 0
    // The level in dB and the attenuation as the strip chart plots them;
    // no level while the sensor is out.
    std::optional<double> levelDb;
    int attenuationDb = 0;
};

inline constexpr int kBarMaximum = 40;

// The display rules; the level uses `decimalPoint` (the system's separator).
ReadingDisplay displayReading(const RealTimeReading& reading, const Translator& translator,
                              QChar decimalPoint = QLatin1Char('.'));

} // namespace tvq52
