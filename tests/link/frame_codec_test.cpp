#include "link/dial_command.h"
#include "link/frame.h"
#include "link/unit_identity.h"
#include "support/unit_replies.h"

#include <gtest/gtest.h>

using namespace tvq52;

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
    const auto id =
        std::get<UnitIdentity>(decodeIdentity(reinterpret_cast<const std::uint8_t*>(f.data()), int(f.size())));
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
        const auto r = decodeIdentity(reinterpret_cast<const std::uint8_t*>(f.data()), int(f.size()));
        ASSERT_TRUE(std::holds_alternative<IdentityFault>(r)) << serial.toHex().constData();
        EXPECT_EQ(std::get<IdentityFault>(r).kind, IdentityFault::BadSerial);
    }
    const QByteArray padded = test::identityReply(" 12345");
    EXPECT_EQ(
        std::get<UnitIdentity>(decodeIdentity(reinterpret_cast<const std::uint8_t*>(padded.data()), int(padded.size())))
            .serial,
        12345);
}

TEST(UnitIdentityDecode, ReplyTooShortForTheFields)
{
    const QByteArray f = completeFrame(0x01, QByteArray(8, '1'));
    const auto r = decodeIdentity(reinterpret_cast<const std::uint8_t*>(f.data()), int(f.size()));
    ASSERT_TRUE(std::holds_alternative<IdentityFault>(r));
    EXPECT_EQ(std::get<IdentityFault>(r).kind, IdentityFault::TooShort);
}
