#include "link/dial_command.h"
#include "link/frame.h"
#include "link/frame_receiver.h"
#include "link/unit_identity.h"
#include "support/unit_replies.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace tvq52;
using Status = FrameReceiver::Status;

namespace {

// Feeds bytes until the receiver stops asking for more; returns the status
// and how many bytes it took.
std::pair<Status, int> feedAll(FrameReceiver& rx, const QByteArray& bytes)
{
    int used = 0;
    for (char c : bytes) {
        ++used;
        const Status s = rx.feed(std::uint8_t(c));
        if (s != Status::NeedMore)
            return {s, used};
    }
    return {Status::NeedMore, used};
}

auto decode(const QByteArray& frame)
{
    return decodeIdentity(reinterpret_cast<const std::uint8_t*>(frame.data()), int(frame.size()));
}

} // namespace

TEST(FrameReceiver, SkipsBytesBeforeTheStartAndTakesTheNextFrameAfterIt)
{
    std::array<std::uint8_t, 64> buf{};
    FrameReceiver rx(buf.data(), buf.size());
    const QByteArray frame = completeFrame(0x02, QByteArray::fromHex("0000012C"));
    const auto [status, used] = feedAll(rx, QByteArray::fromHex("FF0018AA") + frame);
    EXPECT_EQ(status, Status::Complete);
    EXPECT_EQ(used, 4 + frame.size());
    EXPECT_EQ(rx.length(), frame.size());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buf.data()), frame.size()), frame);

    // The next frame starts after the finished one.
    const QByteArray next = completeFrame(0x09, QByteArray(14, '\x02'));
    EXPECT_EQ(feedAll(rx, next).first, Status::Complete);
    EXPECT_EQ(rx.length(), next.size());
    EXPECT_EQ(buf[3], 0x09);
}

TEST(FrameReceiver, CheckByteMustBeTheXorOfEverythingBeforeIt)
{
    std::array<std::uint8_t, 64> buf{};
    FrameReceiver rx(buf.data(), buf.size());
    QByteArray frame = completeFrame(0x01,
                                     QByteArray("\x2a\x04\x00"
                                                "123456\x01",
                                                10));
    frame[frame.size() - 1] = char(frame.back() ^ 0x01);
    EXPECT_EQ(feedAll(rx, frame).first, Status::BadCheck);

    // A check byte computed without the STX is wrong too.
    QByteArray noStx = frameWithoutCheck(0x01);
    noStx.append(char(checkByte(noStx.mid(1))));
    rx.reset();
    EXPECT_EQ(feedAll(rx, noStx).first, Status::BadCheck);
}

TEST(FrameReceiver, LengthSixReadsTwoBytesThenTheCheck)
{
    std::array<std::uint8_t, 16> buf{};
    FrameReceiver rx(buf.data(), buf.size());
    // The ETX is not checked: any byte at offset 4 is taken.
    QByteArray frame = QByteArray::fromHex("02000609FF");
    frame.append(char(checkByte(frame)));
    EXPECT_EQ(feedAll(rx, frame), std::make_pair(Status::Complete, 6));

    // Length 5: a command byte and the check, nothing else.
    rx.reset();
    QByteArray five = QByteArray::fromHex("02000501");
    five.append(char(checkByte(five)));
    EXPECT_EQ(feedAll(rx, five), std::make_pair(Status::Complete, 5));
}

TEST(FrameReceiver, LengthsNoFrameCanHaveEndAtOnce)
{
    for (const char* header : {"020000", "020004", "020003", "028006", "02FFFF", "020201"}) {
        std::array<std::uint8_t, 520> guarded{};
        guarded.fill(0xEE);
        // The receiver owns the middle 512 bytes; the rest must stay 0xEE.
        FrameReceiver rx(guarded.data() + 4, 512);
        const auto [status, used] = feedAll(rx, QByteArray::fromHex(header) + QByteArray(600, '\x55'));
        EXPECT_EQ(status, Status::BadLength) << header;
        EXPECT_EQ(used, 3) << header;
        for (int k : {0, 1, 2, 3, 516, 517, 518, 519})
            EXPECT_EQ(guarded[k], 0xEE) << header << " wrote outside the buffer at " << k;
    }
}

TEST(FrameReceiver, FrameFillingTheWholeBufferIsAccepted)
{
    std::vector<std::uint8_t> buf(377);
    FrameReceiver rx(buf.data(), buf.size());
    const QByteArray frame = completeFrame(0x08, QByteArray(371, '\x2d'));
    EXPECT_EQ(feedAll(rx, frame).first, Status::Complete);

    std::vector<std::uint8_t> small(376);
    FrameReceiver tooSmall(small.data(), small.size());
    EXPECT_EQ(feedAll(tooSmall, frame).first, Status::BadLength);
}

TEST(FrameCodec, FramesCarryTheirTotalLengthAndXorCheck)
{
    EXPECT_EQ(completeFrame(0x04).toHex(' '), "02 00 06 04 03 03");
    EXPECT_EQ(completeFrame(0x09).toHex(' '), "02 00 06 09 03 0e");
    const QByteArray big = completeFrame(0x08, QByteArray(371, '\x11'));
    ASSERT_EQ(big.size(), 377);
    EXPECT_EQ(std::uint8_t(big[1]), 0x01);
    EXPECT_EQ(std::uint8_t(big[2]), 0x79);
    EXPECT_EQ(checkByte(big), 0) << "a frame with its check byte XORs to zero";
}

TEST(DialCommand, ToneOrPulseThePrefixTrimmedAndACommaAlways)
{
    const struct {
        int tone;
        const char *prefix, *number, *command;
    } cases[] = {{1, "0", "931234567", "ATE0V0X0DT0,931234567\r"},
                 {0, "0", "5", "ATE0V0X0DP0,5\r"}, // anything but 1 dials pulse
                 {2, "0", "5", "ATE0V0X0DP0,5\r"},
                 {1, "   ", "555", "ATE0V0X0DT,555\r"},
                 {1, "", "555", "ATE0V0X0DT,555\r"},
                 {1, " 9 ", "555", "ATE0V0X0DT9,555\r"},
                 {1, "0", " 555 12", "ATE0V0X0DT0, 555 12\r"}}; // the number goes as given
    for (const auto& c : cases)
        EXPECT_EQ(dialCommand(c.tone, c.prefix, c.number), QByteArray(c.command)) << c.command;
}

TEST(UnitIdentityDecode, FieldsAtTheirOffsets)
{
    const QByteArray f = test::identityReply("123456", 3, 10);
    const auto id = std::get<UnitIdentity>(decode(f));
    EXPECT_EQ(id.type, 42);
    EXPECT_EQ(id.firmware, "3.10");
    EXPECT_EQ(id.serial, 123456);
    EXPECT_EQ(id.progMode, 1);
    EXPECT_DOUBLE_EQ(firmwareNumber(id.firmware), 3.1) << "compared as a decimal number";
    EXPECT_LT(firmwareNumber("3.10"), firmwareNumber("3.3"));
}

TEST(UnitIdentityDecode, SerialThatIsNoNumberIsAFaultNotAValue)
{
    for (const QByteArray& serial : {QByteArray("12A456"), QByteArray("      "),
                                     QByteArray("12\x00"
                                                "456",
                                                6),
                                     QByteArray("-12345")}) {
        const QByteArray f = test::identityReply(serial);
        const auto r = decode(f);
        ASSERT_TRUE(std::holds_alternative<IdentityFault>(r)) << serial.toHex().constData();
        EXPECT_EQ(std::get<IdentityFault>(r).kind, IdentityFault::BadSerial);
    }
    EXPECT_EQ(std::get<UnitIdentity>(decode(test::identityReply(" 12345"))).serial, 12345);
}

TEST(UnitIdentityDecode, ReplyTooShortForTheFields)
{
    const QByteArray f = completeFrame(0x01, QByteArray(8, '1'));
    const auto r = decode(f);
    ASSERT_TRUE(std::holds_alternative<IdentityFault>(r));
    EXPECT_EQ(std::get<IdentityFault>(r).kind, IdentityFault::TooShort);
}
