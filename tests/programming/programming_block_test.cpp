#include "link/frame.h"
#include "programming/programming_block.h"
#include "programming/received_load.h"
#include "programming_samples.h"

#include <gtest/gtest.h>

using namespace tvq52;

namespace {

const QDateTime kPcClock(QDate(2010, 3, 4), QTime(5, 6, 7));

using test::sampleIntervals;
using test::sampleRecord;

// The unit's reply carrying the block that a transmit frame carried.
QByteArray replyFor(const QByteArray& transmitFrame)
{
    const QByteArray block = transmitFrame.mid(kTransmitBlockOffset, transmitFrame.size() - kTransmitBlockOffset - 2);
    return completeFrame(0x04, block);
}

ReceivedProgramming decode(const QByteArray& reply, const QString& firmware, ReceivedProgramming into = {})
{
    EXPECT_TRUE(decodeProgrammingReply(reinterpret_cast<const std::uint8_t*>(reply.constData()), int(reply.size()),
                                       firmware, into));
    return into;
}

int blockByte(const QByteArray& frame, int offset)
{
    return std::uint8_t(frame.at(kTransmitBlockOffset + offset));
}

} // namespace

TEST(ProgrammingFrames, TransmitFrameLengthsEnvelopeAndClock)
{
    const QByteArray f40 = encodeProgrammingFrame(sampleRecord("4.0"), sampleIntervals(), "4.0", kPcClock);
    ASSERT_EQ(f40.size(), 377);
    EXPECT_EQ(f40.left(4).toHex(' '), "02 01 79 08");
    EXPECT_EQ(f40.mid(4, 6).toHex(' '), "04 03 6e 05 06 07") << "2010 is sent as 110";
    EXPECT_EQ(f40.at(374), 1) << "global correction";
    EXPECT_EQ(f40.at(375), 0x03);
    EXPECT_EQ(checkByte(f40.left(376)), std::uint8_t(f40.at(376)));

    ProgrammingRecord off = sampleRecord("4.0");
    off.globalCorrection = false;
    EXPECT_EQ(encodeProgrammingFrame(off, sampleIntervals(), "4.0", kPcClock).at(374), 0);

    const QByteArray f33 = encodeProgrammingFrame(sampleRecord("3.3"), sampleIntervals(), "3.3", kPcClock);
    ASSERT_EQ(f33.size(), 376);
    EXPECT_EQ(f33.left(4).toHex(' '), "02 01 78 08");
    EXPECT_EQ(f33.at(374), 0x03);
    EXPECT_EQ(checkByte(f33.left(375)), std::uint8_t(f33.at(375)));
}

TEST(ProgrammingFrames, TransmitBlockEncodings)
{
    const QByteArray f = encodeProgrammingFrame(sampleRecord("4.0"), sampleIntervals(), "4.0", kPcClock);
    EXPECT_EQ(f.mid(10, 4).toHex(' '), "14 05 03 1e") << "Sunday first";
    EXPECT_EQ(f.mid(14, 4).toHex(' '), "2d 2d 2d 2d") << "a day without session";
    EXPECT_EQ(blockByte(f, 28), 95);
    EXPECT_EQ(f.mid(10 + 30, 4).toHex(' '), "17 00 07 1e");
    EXPECT_EQ(blockByte(f, 36), 0);
    EXPECT_EQ(f.mid(10 + 37, 2).toHex(' '), "01 2c") << "attenuation 300";
    EXPECT_EQ(blockByte(f, 39), 15);
    EXPECT_EQ(blockByte(f, 41), 1);
    EXPECT_EQ(blockByte(f, 42), 3) << "Deutsch";
    EXPECT_EQ(blockByte(f, 43), 3);
    EXPECT_EQ(f.mid(10 + 44, 10).toHex(' '), "0f 03 6d 08 00 10 03 6d 14 1e") << "year 09 goes as 109";
    EXPECT_EQ(f.mid(10 + 84, 10).toHex(' '), "18 0c 62 00 00 1a 0c 62 17 3b") << "year 98 stays 98";
    EXPECT_EQ(f.mid(10 + 54, 10), QByteArray(10, 0)) << "unused interval";
    EXPECT_EQ(blockByte(f, 344), 125) << "Leq125ms from firmware 3.3";
    EXPECT_EQ(blockByte(f, 345), 0) << "neighbour no action";
    EXPECT_EQ(f.mid(10 + 346, 2).toHex(' '), "00 7d") << "octave 12.5";
    EXPECT_EQ(f.mid(10 + 352, 2).toHex(' '), "01 2d") << "octave 30.1 rounded";
    EXPECT_EQ(f.mid(10 + 348, 2).toHex(' '), "ff 83") << "octave -12.5";
    EXPECT_EQ(f.mid(10 + 362, 2).toHex(' '), "7f ff") << "octave 3276.7, the highest";
    ProgrammingRecord huge = sampleRecord("4.0");
    huge.octaves[0] = 1e9f;
    huge.octaves[1] = -1e9f;
    const QByteArray h = encodeProgrammingFrame(huge, sampleIntervals(), "4.0", kPcClock);
    EXPECT_EQ(h.mid(10 + 346, 4).toHex(' '), "7f ff 80 00") << "clamped to the 16-bit range, keeping the sign";

    const QByteArray old = encodeProgrammingFrame(sampleRecord("3.2"), sampleIntervals(), "3.2", kPcClock);
    EXPECT_EQ(blockByte(old, 344), 2) << "Leq125ms before firmware 3.3";
    ProgrammingRecord seconds = sampleRecord("3.3");
    seconds.venueAction = {ActionType::LeqSeconds, QStringLiteral("07")};
    seconds.neighbourAction = {ActionType::Leq125ms, {}};
    const QByteArray s = encodeProgrammingFrame(seconds, sampleIntervals(), "3.3", kPcClock);
    EXPECT_EQ(blockByte(s, 344), 7);
    EXPECT_EQ(blockByte(s, 345), 125);
    // A start date that is no date sends the whole interval as zeros.
    ProgIntervals bad = sampleIntervals();
    bad[0].startDay = QStringLiteral("31/02/09");
    EXPECT_EQ(encodeProgrammingFrame(seconds, bad, "3.3", kPcClock).mid(10 + 44, 10), QByteArray(10, 0));
}

// Values the encoder never produces; what the encoder does produce is pinned
// by the round trip below.
TEST(ProgrammingFrames, ReplyDecoding)
{
    // Session 25:70 is no time of day and keeps its digits; night hours have no
    // "--" rule; attenuation -200; language 6 is unknown; 25/12/2010; octave -12.5.
    QByteArray block(365, 0);
    for (const auto& [at, value] : {std::pair{0, 8},
                                    {1, 5},
                                    {2, 25},
                                    {3, 70},
                                    {30, 0x2D},
                                    {31, 0x2D},
                                    {37, 0xFF},
                                    {38, 0x38},
                                    {42, 6},
                                    {44, 25},
                                    {45, 12},
                                    {46, 110},
                                    {344, 7},
                                    {345, 1},
                                    {346, 0xFF},
                                    {347, 0x83},
                                    {364, 1}})
        block[at] = char(value);
    ReceivedProgramming previous;
    previous.TIdioma = QStringLiteral("Italiano");
    const QByteArray reply = completeFrame(0x04, block);
    const ReceivedProgramming b33 = decode(reply, "3.3", previous);
    EXPECT_EQ(b33.sessions[0], "08:05");
    EXPECT_EQ(b33.sessions[7], "25:70");
    EXPECT_EQ(b33.THoraEmpiezaNoche, "45:45");
    EXPECT_EQ(b33.ITiempoAtenuacion, -200);
    EXPECT_EQ(b33.TIdioma, "Italiano") << "language code 6 leaves the previous text";
    EXPECT_EQ(b33.intervals[0].startDay, "25/12/10");
    EXPECT_EQ(b33.TTipoActuacionLocal, "Leq7s");
    EXPECT_EQ(b33.TTipoActuacionVecino, "Leq1s");
    EXPECT_FLOAT_EQ(b33.octaves[0], -12.5f);
    EXPECT_EQ(b33.CMI, 0) << "the correction byte is read from 4.0 on only";
    EXPECT_EQ(decode(reply, "4.0").CMI, 1);

    const ReceivedProgramming b30 = decode(reply, "3.0");
    EXPECT_EQ(b30.TTipoActuacionLocal, "Leq125ms") << "code 7 means 125 ms before 3.3";
    EXPECT_EQ(b30.TTipoActuacionVecino, "Leq1s");
    block[344] = 2;
    block[345] = 2;
    EXPECT_EQ(decode(completeFrame(0x04, block), "3.0").TTipoActuacionLocal, "Leq125ms");
    block[344] = 125;
    block[345] = 0;
    const ReceivedProgramming c33 = decode(completeFrame(0x04, block), "3.3");
    EXPECT_EQ(c33.TTipoActuacionLocal, "Leq125ms");
    EXPECT_EQ(c33.TTipoActuacionVecino, "0");
}

TEST(ProgrammingFrames, ReplyTooShortForItsBlockChangesNothing)
{
    ReceivedProgramming kept;
    kept.TIdioma = QStringLiteral("English");
    kept.ByRings = 4;
    for (int blockBytes : {0, 100, 363, 364}) {
        const QByteArray reply = completeFrame(0x04, QByteArray(blockBytes, 9));
        ReceivedProgramming into = kept;
        // A 4.0 unit's block needs 365 bytes; the check byte is never read as block.
        EXPECT_FALSE(decodeProgrammingReply(reinterpret_cast<const std::uint8_t*>(reply.constData()),
                                            int(reply.size()) - 1, "4.0", into))
            << blockBytes;
        EXPECT_EQ(into, kept);
    }
    const QByteArray full = completeFrame(0x04, QByteArray(364, 0));
    ReceivedProgramming into;
    EXPECT_TRUE(
        decodeProgrammingReply(reinterpret_cast<const std::uint8_t*>(full.constData()), int(full.size()), "3.3", into));
    EXPECT_FALSE(decodeProgrammingReply(reinterpret_cast<const std::uint8_t*>(full.constData()), int(full.size()) - 2,
                                        "3.3", into));
}

// Encode, decode as the unit answers, take over: the record comes back field by field.
TEST(ProgrammingFrames, CodecRoundTripsForEachFirmware)
{
    for (const char* fw : {"3.2", "3.3", "4.0"}) {
        SCOPED_TRACE(fw);
        ProgrammingRecord r = sampleRecord(fw);
        if (hasActionSeconds(fw))
            r.neighbourAction = {ActionType::LeqSeconds, QStringLiteral("10")};
        else
            r.neighbourAction = {ActionType::LeqSeconds, QStringLiteral("01")};
        const QByteArray frame = encodeProgrammingFrame(r, sampleIntervals(), fw, kPcClock);
        EXPECT_EQ(frame.size(), hasGlobalCorrection(fw) ? 377 : 376);
        const ReceivedProgramming rx = decode(replyFor(frame), fw);
        EXPECT_EQ(takeOverReceived(r, rx, fw), r);
        EXPECT_EQ(rx.intervals, sampleIntervals());
    }
}

TEST(ProgrammingFrames, TakingOverAReceivedProgramming)
{
    EXPECT_EQ(receivedActionSeconds("Leq5s"), "05");
    EXPECT_EQ(receivedActionSeconds("Leq10s"), "10");
    ProgrammingRecord shown = sampleRecord("4.0");
    shown.venue = QStringLiteral("Bar Central");
    ReceivedProgramming rx =
        decode(replyFor(encodeProgrammingFrame(sampleRecord("4.0"), sampleIntervals(), "4.0", kPcClock)), "4.0");
    rx.TIdioma = QStringLiteral("Klingon");
    rx.CMI = 0;
    const ProgrammingRecord taken = takeOverReceived(shown, rx, "3.3");
    EXPECT_EQ(taken.venue, "Bar Central") << "the header stays";
    EXPECT_EQ(taken.language, shown.language) << "an unknown language changes nothing";
    EXPECT_TRUE(taken.globalCorrection) << "a unit before 4.0 has no correction to take";
    EXPECT_FALSE(takeOverReceived(shown, rx, "4.0").globalCorrection);
}
