#include "link/frame.h"

namespace tvq52 {

std::uint8_t checkByte(const QByteArray& bytes)
{
    std::uint8_t x = 0;
    for (char c : bytes)
        x ^= std::uint8_t(c);
    return x;
}

QByteArray frameWithoutCheck(std::uint8_t command, const QByteArray& payload)
{
    const int length = int(payload.size()) + 6;
    QByteArray frame;
    frame.reserve(length);
    frame.append(char(kStx));
    frame.append(char((length >> 8) & 0xFF));
    frame.append(char(length & 0xFF));
    frame.append(char(command));
    frame.append(payload);
    frame.append(char(kEtx));
    return frame;
}

QByteArray completeFrame(std::uint8_t command, const QByteArray& payload)
{
    QByteArray frame = frameWithoutCheck(command, payload);
    frame.append(char(checkByte(frame)));
    return frame;
}

QByteArray identityRequest()
{
    return frameWithoutCheck(std::uint8_t(UnitCommand::Identify));
}

} // namespace tvq52
