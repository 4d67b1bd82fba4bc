#include "link/frame.h"
#include "link/link_fixture.h"
#include "programming/programming_transfer.h"

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
        ns += ms * 1000000;
        return until && until();
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
    LinkState state;
    DeviceLink link{state, line, clock};
    LinkTimer timer{clock, 5000};
    PacedLink() { line.open(); }
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
    const TransmitAnswer answer = EnviarProgramacion(p.link, p.timer, frame, [&](int s, int total, qint64 left) {
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

TEST(ProgrammingTransfer, AnswersOtherThanAckAndSilence)
{
    const QByteArray frame = completeFrame(0x08, QByteArray(370, '\x11'));
    {
        PacedLink p;
        p.line.onWrite([&](const QByteArray&) {
            if (p.line.written().size() == frame.size())
                p.line.deliver(QByteArray("\x15\x06", 2));
        });
        EXPECT_EQ(EnviarProgramacion(p.link, p.timer, frame), TransmitAnswer::Rejected) << "the first byte decides";
    }
    {
        PacedLink p;
        const qint64 before = p.clock.elapsedMs();
        EXPECT_EQ(EnviarProgramacion(p.link, p.timer, frame), TransmitAnswer::NoAnswer);
        EXPECT_GE(p.clock.elapsedMs() - before, 375 * 50 + 10000) << "ten seconds of silence after the check byte";
    }
}

TEST(ProgrammingTransfer, RequestAndReceiveOverTheLink)
{
    test::MemoryLink m;
    DemanaProgramacio(m.link);
    EXPECT_EQ(m.line.written().toHex(' '), "02 00 06 04 03 03");

    m.state.UnitFirmware = QStringLiteral("4.0");
    ReceivedProgramming rx;
    rx.TIdioma = QStringLiteral("Català");
    // A reply whose block stops short is refused and changes nothing.
    m.line.deliver(completeFrame(0x04, QByteArray(200, 0)));
    EXPECT_EQ(test::errorId(RecibirProgramacion(m.link, m.timer, rx)), 0) << "the workflow reports it";
    EXPECT_EQ(rx.TIdioma, "Català");

    QByteArray block(365, 0);
    block[42] = 2;
    m.line.deliver(completeFrame(0x04, block));
    EXPECT_TRUE(RecibirProgramacion(m.link, m.timer, rx));
    EXPECT_EQ(rx.TIdioma, "English");

    m.line.deliver(completeFrame(0x04, block).left(100));
    EXPECT_EQ(test::errorId(RecibirProgramacion(m.link, m.timer, rx)), 31);
}
