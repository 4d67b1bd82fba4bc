#include "link/frame.h"
#include "link/link_fixture.h"
#include "programming/programming_transfer.h"
#include "support/unit_replies.h"

#include <gtest/gtest.h>

using namespace tvq52;

namespace {

// Time moves only when the link waits or writes, and never on a whole
// millisecond: each write takes 0.3 ms, as a system call does.
class SteppedClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime(QDate(2024, 3, 15), QTime(10, 0)).addMSecs(elapsedMs()); }
    qint64 elapsedNs() const override { return ns; }
    bool waitFor(qint64 ms, const std::function<bool()>& until, WaitEvents) override
    {
        if (until && until())
            return true;
        if (!until) {
            ns += ms * 1000000;
            return false;
        }
        // A condition is looked at every millisecond, as an event loop would.
        for (qint64 k = 0; k < ms; ++k) {
            ns += 1000000;
            if (until())
                return true;
        }
        return false;
    }
    qint64 realMs(qint64) const override { return 0; }
    qint64 ns = 700000;
};

// A memory line that notes the clock time of every write.
class TimedLine : public MemoryLine {
public:
    explicit TimedLine(SteppedClock& clock) : MemoryLine(clock), clock_(clock) {}
    void write(const QByteArray& bytes) override
    {
        times << clock_.ns;
        clock_.ns += 300000;
        MemoryLine::write(bytes);
    }
    QList<qint64> times;

private:
    SteppedClock& clock_;
};

struct PacedLink {
    SteppedClock clock;
    TimedLine line{clock};
    DeviceLink link{{}, line, clock};
    LinkTimer timer{clock, 5000};
    PacedLink() { (void)line.open(); }
};

} // namespace

TEST(ProgrammingTransfer, BytesGoOneAtATimeAtLeastFiftyMillisecondsApartThenTheCheckAtOnce)
{
    PacedLink p;
    const QByteArray frame = completeFrame(0x08, QByteArray(371, '\x11'));
    p.line.onWrite([&](const QByteArray&) {
        if (p.line.written().size() == frame.size())
            p.line.deliver(QByteArray(1, char(kAck)));
    });
    QList<int> sent;
    qint64 firstLeft = -1;
    const TransmitAnswer answer = sendProgramming(p.link, p.timer, frame, [&](int s, int total, qint64 left) {
        EXPECT_EQ(total, 377);
        if (firstLeft < 0)
            firstLeft = left;
        sent << s;
    });
    EXPECT_EQ(answer, TransmitAnswer::Accepted);
    EXPECT_EQ(p.line.written(), frame);
    ASSERT_EQ(p.line.times.size(), 377) << "one write per byte";
    constexpr qint64 ms = 1000000;
    for (int k = 1; k < 376; ++k)
        ASSERT_GE(p.line.times[k] - p.line.times[k - 1], 50 * ms) << "byte " << k;
    EXPECT_LT(p.line.times[376] - p.line.times[375], 100 * ms) << "the check byte follows the ETX's pause only";
    // Drift would add the time of every write; only the rounding up to a whole millisecond may add.
    EXPECT_LT(p.line.times[376] - p.line.times[0], 376 * 51 * ms);
    EXPECT_EQ(sent.size(), 377);
    EXPECT_EQ(sent.front(), 1);
    EXPECT_EQ(sent.back(), 377);
    EXPECT_EQ(firstLeft, 376 * 50);
    EXPECT_EQ(p.timer.interval(), 5000) << "the window's timer goes back to its silence limit";
}

namespace {

// A line on a busy machine: every other byte reaches the device late, either
// because the write itself is held up (`slowMs` pass before the system call)
// or because the port keeps it queued (`queuedMs` pass before it is taken).
// Notes the clock time at which each byte was handed to the device.
class HeldLine : public MemoryLine {
public:
    HeldLine(SteppedClock& clock, qint64 slowMs, qint64 queuedMs)
        : MemoryLine(clock), clock_(clock), slowNs_(slowMs * 1000000), queuedNs_(queuedMs * 1000000)
    {}
    void write(const QByteArray& bytes) override
    {
        const bool held = written().size() % 2 == 0;
        if (held)
            clock_.ns += slowNs_;
        queuedUntil_ = held ? clock_.ns + queuedNs_ : 0;
        handed << (held ? queuedUntil_ : clock_.ns);
        clock_.ns += 300000;
        MemoryLine::write(bytes);
    }
    qint64 bytesToWrite() const override { return stuck || clock_.ns < queuedUntil_ ? 1 : 0; }
    QList<qint64> handed;
    bool stuck = false;

private:
    SteppedClock& clock_;
    qint64 slowNs_;
    qint64 queuedNs_;
    qint64 queuedUntil_ = 0;
};

struct HeldLink {
    SteppedClock clock;
    HeldLine line;
    DeviceLink link{{}, line, clock};
    LinkTimer timer{clock, 5000};
    HeldLink(qint64 slowMs, qint64 queuedMs) : line(clock, slowMs, queuedMs) { (void)line.open(); }
};

} // namespace

// The pause runs from when the previous byte has been handed to the port: a
// byte held up on its way never comes closer than 50 ms to the next one.
TEST(ProgrammingTransfer, ThePauseCountsFromWhenTheByteWasHandedToThePort)
{
    const QByteArray frame = completeFrame(0x08, QByteArray(24, '\x11'));
    for (const auto& [slowMs, queuedMs] : {std::pair{40, 0}, std::pair{0, 30}}) {
        SCOPED_TRACE(testing::Message() << "held " << slowMs << " ms in the write, " << queuedMs << " ms queued");
        HeldLink p(slowMs, queuedMs);
        p.line.onWrite([&](const QByteArray&) {
            if (p.line.written().size() == frame.size())
                p.line.deliver(QByteArray(1, char(kAck)));
        });
        EXPECT_EQ(sendProgramming(p.link, p.timer, frame), TransmitAnswer::Accepted);
        EXPECT_EQ(p.line.written(), frame);
        ASSERT_EQ(p.line.handed.size(), frame.size());
        for (int k = 1; k < frame.size() - 1; ++k)
            EXPECT_GE(p.line.handed[k] - p.line.handed[k - 1], 50 * 1000000) << "byte " << k;
    }
}

// A port that never takes a byte ends the transmission at the silence limit
// instead of queueing the rest of the frame behind it.
TEST(ProgrammingTransfer, APortThatTakesNoByteEndsItUnanswered)
{
    HeldLink p(0, 0);
    p.line.stuck = true;
    const QByteArray frame = completeFrame(0x08, QByteArray(24, '\x11'));
    const qint64 before = p.clock.elapsedMs();
    EXPECT_EQ(sendProgramming(p.link, p.timer, frame), TransmitAnswer::NoAnswer);
    EXPECT_EQ(p.line.written().size(), 1);
    EXPECT_GE(p.clock.elapsedMs() - before, 5000);
    EXPECT_LT(p.clock.elapsedMs() - before, 6000);
    EXPECT_EQ(p.timer.interval(), 5000);
}

TEST(ProgrammingTransfer, AnswersOtherThanAckAndSilence)
{
    const QByteArray frame = completeFrame(0x08, QByteArray(370, '\x11'));
    {
        PacedLink p;
        p.line.onWrite([&](const QByteArray&) {
            if (p.line.written().size() == frame.size())
                p.line.deliver(QByteArray("\x15\x06", 2));
        });
        EXPECT_EQ(sendProgramming(p.link, p.timer, frame), TransmitAnswer::Rejected) << "the first byte decides";
    }
    {
        PacedLink p;
        const qint64 before = p.clock.elapsedMs();
        EXPECT_EQ(sendProgramming(p.link, p.timer, frame), TransmitAnswer::NoAnswer);
        EXPECT_GE(p.clock.elapsedMs() - before, 375 * 50 + 10000) << "ten seconds of silence after the check byte";
    }
}

TEST(ProgrammingTransfer, RequestAndReceiveOverTheLink)
{
    test::MemoryLink m;
    requestProgramming(m.link);
    EXPECT_EQ(m.line.written().toHex(' '), "02 00 06 04 03 03");

    // Decoded as the unit that identified itself sends it.
    m.line.deliver(test::identityReply("004711", 4, 0));
    ASSERT_TRUE(m.link.IdentifyUnit(m.timer));
    ReceivedProgramming rx;
    rx.TIdioma = QStringLiteral("Català");
    // A reply whose block stops short is refused and changes nothing.
    m.line.deliver(completeFrame(0x04, QByteArray(200, 0)));
    EXPECT_EQ(test::errorId(receiveProgrammingReply(m.link, m.timer, rx)), 0) << "the workflow reports it";
    EXPECT_EQ(rx.TIdioma, "Català");

    QByteArray block(365, 0);
    block[42] = 2;
    m.line.deliver(completeFrame(0x04, block));
    EXPECT_TRUE(receiveProgrammingReply(m.link, m.timer, rx));
    EXPECT_EQ(rx.TIdioma, "English");

    m.line.deliver(completeFrame(0x04, block).left(100));
    EXPECT_EQ(test::errorId(receiveProgrammingReply(m.link, m.timer, rx)), 31);
}
