#include "link/frame.h"
#include "unit_frames.h"
#include "unit_simulator.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::sim;

TEST(UnitSimulator, RealTimeCasesStepThroughTheDisplayEdgesAndRepeat)
{
    QString error;
    const auto o = parseSimOptions({"tvq52-sim", "--realtime-cases", "--realtime-ms", "0"}, &error, nullptr);
    ASSERT_TRUE(o.has_value()) << qPrintable(error);
    ASSERT_TRUE(o->realtimeCases);
    QByteArray out;
    UnitSimulator unit(*o, {}, [&](const QByteArray& b) { out += b; });
    const int count = int(realTimeCases().size());
    ASSERT_EQ(count, 8);
    unit.receive(completeFrame(0x09));
    QList<QByteArray> frames;
    for (int k = 0; k <= count; ++k) {
        ASSERT_EQ(out.size(), 20) << k;
        frames << out;
        out.clear();
        unit.receive(QByteArray(1, char(kAck)));
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(frames[0].mid(15, 3).toHex(' '), "02 57 00") << "599, below the range";
    EXPECT_EQ(frames[1].mid(15, 3).toHex(' '), "02 58 07");
    EXPECT_EQ(frames[2].mid(15, 3).toHex(' '), "04 b0 2d");
    EXPECT_EQ(frames[3].mid(15, 3).toHex(' '), "04 b1 3c") << "1201, above the range";
    EXPECT_EQ(frames[4].at(13), 1) << "sensor inactive";
    EXPECT_EQ(frames[5].at(12), 1) << "mains disconnection";
    EXPECT_EQ(frames[6].at(12), 2) << "another mains code";
    EXPECT_EQ(frames[7].mid(10, 5).toHex(' '), "01 01 00 00 01");
    EXPECT_EQ(frames[8].mid(12, 6), frames[0].mid(12, 6)) << "and again from the start";
}
