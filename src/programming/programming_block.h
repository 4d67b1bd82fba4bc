#pragma once

#include "programming/programming_record.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>

namespace tvq52 {

// Block sizes: firmware 4.0 and later add the global-correction byte.
inline constexpr int kProgrammingBlockSize = 364;
inline constexpr int kProgrammingBlockSizeWithCorrection = 365;
// Where the block starts in the unit's reply and in the PC's transmit frame.
inline constexpr int kReplyBlockOffset = 4;
inline constexpr int kTransmitBlockOffset = 10;

// What the last programming reply carried, as texts and numbers ready for the
// window. A decode overwrites what the reply carries and leaves the rest.
struct ReceivedProgramming {
    // "hh:nn" or "--:--": 0-6 the starts of Sunday to Saturday, 7-13 their ends.
    std::array<QString, 14> sessions;
    std::uint8_t ByNivelDiaLocal = 0;
    std::uint8_t ByNivelDiaVecino = 0;
    std::uint8_t ByNivelNocheLocal = 0;
    std::uint8_t ByNivelNocheVecino = 0;
    std::uint8_t ByTLeq = 0;
    std::uint8_t ByMFast = 0;
    std::uint8_t ByRings = 0;
    std::uint8_t BoCambioHora = 0;
    std::uint8_t BoImpresion = 0;
    std::uint8_t CMI = 0;
    QString THoraEmpiezaNoche;
    QString THoraTerminaNoche;
    qint16 ITiempoAtenuacion = 0;
    QString TIdioma;
    QString TTipoActuacionLocal;
    QString TTipoActuacionVecino;
    // 31.5 Hz first.
    std::array<float, kOctaveCount> octaves{};
    ProgIntervals intervals;

    bool operator==(const ReceivedProgramming&) const = default;
};

// 02 00 06 04 03 03.
QByteArray programmingRequest();

// Decodes the reply in `frame` (STX at index 0, `length` bytes with the check
// byte) as a unit of `unitFirmware` sends it. False, with `into` untouched,
// when the reply is too short to hold the whole block before its check byte.
bool decodeProgrammingReply(const std::uint8_t* frame, int length, const QString& unitFirmware,
                            ReceivedProgramming& into);

// The 376-byte frame (377 when the record's version is 4.0 or more), check
// byte included: the PC clock, then the block built from the window's record
// and intervals. Action codes follow the connected unit's firmware.
QByteArray encodeProgrammingFrame(const ProgrammingRecord& record, const ProgIntervals& intervals,
                                  const QString& unitFirmware, const QDateTime& pcClock);

// The texts of one decoded session or interval field, as the window shows them.
QString sessionTimeText(std::uint8_t hour, std::uint8_t minute);
QString intervalDayText(std::uint8_t day, std::uint8_t month, std::uint8_t year);
QString intervalTimeText(std::uint8_t hour, std::uint8_t minute);

} // namespace tvq52
