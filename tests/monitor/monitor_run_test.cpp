#include "i18n/translator.h"
#include "link/frame.h"
#include "link/link_fixture.h"
#include "monitor/monitor_run.h"
#include "monitor/real_time_reading.h"
#include "support/unit_replies.h"

#include <QObject>
#include <functional>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::identityReply;
using tvq52::test::readingFrame;

namespace {

// Keeps what the monitor showed; `onReading` may stop or close it.
struct RecordingView : MonitorView {
    QList<RealTimeReading> readings;
    QStringList events;
    std::function<void(int)> onReading;
    void runStarted() override { events << "started"; }
    void showReading(const RealTimeReading& r) override
    {
        readings << r;
        if (onReading)
            onReading(int(readings.size()));
    }
    void runEnded() override { events << "ended"; }
    void closeWindow() override { events << "closed"; }
};

// A unit on a memory line that identifies itself and streams readings,
// one after each acknowledgement; `next` makes the reading to send.
struct StreamingUnit : test::MemoryLink {
    RecordingView view;
    RealTimeMonitor monitor{session, prompter, translator, view};
    std::function<void(int)> next;
    int sent = 0;
    bool streaming = false;

    StreamingUnit()
    {
        line.close();
        next = [this](int k) { line.deliver(readingFrame(600 + k, k), 20); };
        line.onWrite([this](const QByteArray& bytes) {
            if (line.written().endsWith(identityRequest() + char(0x06)))
                line.deliver(identityReply(), 20);
            else if (line.written().endsWith(completeFrame(kRealTimeCommand)))
                streaming = true;
            // Inside the stream a single 06 asks for the next reading.
            if (streaming
                && (line.written().endsWith(completeFrame(kRealTimeCommand)) || bytes == QByteArray(1, char(kAck))))
                next(sent++);
        });
    }
};

} // namespace

TEST(RealTimeMonitor, ShowsAndAcknowledgesEachReadingUntilStopped)
{
    StreamingUnit u;
    u.view.onReading = [&](int n) {
        if (n == 3)
            u.monitor.stop();
    };
    const qint64 before = u.clock.elapsedMs();
    EXPECT_EQ(u.monitor.run({}, 4711), 3);
    ASSERT_EQ(u.view.readings.size(), 3);
    EXPECT_EQ(u.view.readings[2].level, 602);
    EXPECT_EQ(u.line.written().toHex(' '), "02 00 06 01 03 06 02 00 06 09 03 0e 06 06 06 18");
    EXPECT_EQ(u.view.events, (QStringList{"started", "ended"}));
    EXPECT_EQ(u.prompter.catalogueIds(), QList<int>{15})
        << qPrintable(u.prompter.shown().last().text) << u.line.written().toHex(' ').constData();
    EXPECT_GE(u.clock.elapsedMs() - before, 3 * RealTimeMonitor::kAckPauseMs) << "a pause before each acknowledgement";
    EXPECT_FALSE(u.line.isOpen());
    EXPECT_TRUE(u.link.dialCancelled());
}

TEST(RealTimeMonitor, AStopWhileAReadingArrivesDiscardsIt)
{
    StreamingUnit u;
    QObject context;
    u.next = [&](int k) {
        const QByteArray frame = readingFrame(700 + k, 0);
        if (k < 2) {
            u.line.deliver(frame, 20);
            return;
        }
        // The stop comes in the same breath as the reading's last byte: the
        // posted call runs in the first wait, once the rest has been read.
        u.line.deliver(frame.left(frame.size() - 1));
        QMetaObject::invokeMethod(
            &context,
            [&u, last = frame.right(1)] {
                u.monitor.stop();
                u.line.deliver(last);
            },
            Qt::QueuedConnection);
    };
    EXPECT_EQ(u.monitor.run({}, std::nullopt), 2);
    EXPECT_EQ(u.view.readings.size(), 2);
    EXPECT_TRUE(u.line.written().endsWith(QByteArray("\x06\x06\x18", 3)))
        << "no acknowledgement for the discarded reading";
}

TEST(RealTimeMonitor, StartFailuresSendNoCancelAndStreamFailuresDo)
{
    {
        StreamingUnit u;
        EXPECT_EQ(u.monitor.run({}, 99), 0);
        EXPECT_EQ(u.prompter.catalogueIds(), (QList<int>{15, 63}));
        EXPECT_EQ(u.line.written().toHex(' '), "02 00 06 01 03 06") << "no stream request, no cancel";
        EXPECT_EQ(u.view.events, (QStringList{"started", "ended"}));
    }
    {
        StreamingUnit u;
        u.next = [&](int k) {
            if (k < 1)
                u.line.deliver(readingFrame(800, 0), 20);
        };
        EXPECT_EQ(u.monitor.run({}, 4711), 1);
        EXPECT_EQ(u.prompter.catalogueIds(), (QList<int>{15, 31})) << "silence inside the stream";
        EXPECT_TRUE(u.line.written().endsWith(QByteArray("\x06\x18", 2)));
    }
    {
        StreamingUnit u;
        u.next = [&](int) { u.line.deliver(completeFrame(kRealTimeCommand, QByteArray(5, 0)), 20); };
        EXPECT_EQ(u.monitor.run({}, 4711), 0);
        EXPECT_EQ(u.prompter.catalogueIds(), (QList<int>{15, 31})) << "a reading too short is a transmission error";
        EXPECT_TRUE(u.line.written().endsWith(QByteArray(1, char(kCan))));
    }
    {
        StreamingUnit u;
        u.prompter.answer(Answer::Cancel);
        EXPECT_EQ(u.monitor.run({}, 4711), 0);
        EXPECT_TRUE(u.line.written().isEmpty());
        EXPECT_FALSE(u.view.events.contains("started")) << "nothing started";
    }
}

TEST(RealTimeMonitor, CloseDuringARunWaitsForItsEnd)
{
    StreamingUnit u;
    EXPECT_TRUE(u.monitor.requestClose()) << "idle: close at once";
    u.view.onReading = [&](int n) {
        if (n == 2) {
            EXPECT_FALSE(u.monitor.requestClose());
        }
    };
    EXPECT_EQ(u.monitor.run({}, 4711), 2);
    EXPECT_EQ(u.view.events, (QStringList{"started", "ended", "closed"}));
    EXPECT_FALSE(u.monitor.isRunning());
}

namespace {

ReadingDisplay shown(const QByteArray& frame)
{
    static Translator translator;
    const auto r = decodeReading(reinterpret_cast<const std::uint8_t*>(frame.constData()), int(frame.size()));
    EXPECT_TRUE(r.has_value());
    return r ? displayReading(*r, translator) : ReadingDisplay{};
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
    static Translator translator;
    RealTimeReading r;
    r.level = 875;
    EXPECT_EQ(displayReading(r, translator, QLatin1Char(',')).level, "87,5") << "the system's decimal separator";
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
