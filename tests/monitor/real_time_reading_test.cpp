#include "i18n/loc_guru.h"
#include "link/frame.h"
#include "monitor/real_time_reading.h"
#include "support/unit_replies.h"

#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::readingFrame;

namespace {

ReadingDisplay shown(const QByteArray& frame)
{
    static LocGuru guru;
    const auto r = decodeReading(reinterpret_cast<const std::uint8_t*>(frame.constData()), int(frame.size()));
    EXPECT_TRUE(r.has_value());
    return r ? displayReading(*r, guru) : ReadingDisplay{};
}

} // namespace

TEST(MonitorDisplay, LevelAtTheEndsOfTheRange)
{
    // A negative level is below the range.
    for (const auto& [level, text] :
         {std::pair{599, "UND"}, {600, "60.0"}, {1200, "120.0"}, {1201, "UP"}, {0x8000, "UND"}})
        EXPECT_EQ(shown(readingFrame(level, 0)).level, text) << level;
    // The sensor out hides whatever the level bytes say.
    for (int level : {599, 900, 1201}) {
        const ReadingDisplay d = shown(readingFrame(level, 0, 0, 1));
        EXPECT_EQ(d.level, "---");
        EXPECT_TRUE(d.sensorOff);
        EXPECT_FALSE(d.levelDb.has_value());
    }
    EXPECT_EQ(shown(readingFrame(900, 0, 0, 2)).level, "---");
    EXPECT_FALSE(shown(readingFrame(900, 0, 0, 2)).sensorOff) << "only code 1 shows the label";
    static LocGuru guru;
    RealTimeReading r;
    r.level = 875;
    EXPECT_EQ(displayReading(r, guru, QLatin1Char(',')).level, "87,5") << "the system's decimal separator";
}

TEST(MonitorDisplay, AttenuationTextAndBar)
{
    const struct {
        int attenuation, mains;
        const char* text;
        int bar;
    } cases[] = {{45, 0, "-45", 40},
                 {7, 0, "-7", 7},
                 {0, 0, "  0", 0},
                 {60, 0, "-60", 40},
                 // A mains disconnection attenuates fully; another mains code shows -60 but keeps the bar.
                 {5, 1, "-60", 40},
                 {7, 2, "-60", 7},
                 {0, 2, "-60", 0}};
    for (const auto& c : cases) {
        const ReadingDisplay d = shown(readingFrame(700, c.attenuation, c.mains));
        EXPECT_EQ(d.attenuation, c.text) << c.attenuation << " mains " << c.mains;
        EXPECT_EQ(d.bar, c.bar) << c.attenuation << " mains " << c.mains;
        EXPECT_EQ(d.mainsOff, c.mains == 1);
    }
}

TEST(MonitorDisplay, ClockPeriodAndStateLabels)
{
    ReadingDisplay d = shown(readingFrame(700, 0, 0, 0, 1, 1, 1));
    EXPECT_EQ(d.date, "07/03/10");
    EXPECT_EQ(d.time, "09:05:02");
    EXPECT_TRUE(d.session);
    EXPECT_EQ(d.period, "(Noche)");
    EXPECT_TRUE(d.nonWorking);
    d = shown(readingFrame(700, 0, 0, 0, 2, 0, 2));
    EXPECT_FALSE(d.session);
    EXPECT_EQ(d.period, QString::fromUtf8("(Día)"));
    EXPECT_FALSE(d.nonWorking);

    const QByteArray frame = readingFrame(700, 0);
    EXPECT_FALSE(decodeReading(reinterpret_cast<const std::uint8_t*>(frame.constData()), 18).has_value())
        << "a frame too short for a reading";
}
