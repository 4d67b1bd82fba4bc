#pragma once

#include "link/frame.h"

namespace tvq52::test {

// What a unit answers to the identification request.
inline QByteArray identityReply(const QByteArray& serial = "004711", std::uint8_t major = 4, std::uint8_t minor = 0,
                                std::uint8_t type = 42)
{
    return completeFrame(0x01, QByteArray(1, char(type)) + char(major) + char(minor) + serial + char(1));
}

// A real-time reading taken on 07/03/10 at 09:05:02.
inline QByteArray readingFrame(int level, int attenuation, int mains = 0, int sensor = 0, int session = 0,
                               int night = 0, int nonWorking = 0)
{
    QByteArray p;
    for (int b :
         {7, 3, 10, 9, 5, 2, session, night, mains, sensor, nonWorking, (level >> 8) & 0xFF, level & 0xFF, attenuation})
        p.append(char(b));
    return completeFrame(0x09, p);
}

} // namespace tvq52::test
