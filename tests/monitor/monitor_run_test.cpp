#include "link/frame.h"
#include "link/link_fixture.h"
#include "monitor/monitor_run.h"
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
    RealTimeMonitor monitor{session, prompter, guru, view};
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
    EXPECT_TRUE(u.state.DialCancel);
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
