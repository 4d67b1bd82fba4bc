#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QPointer>
#include <functional>
#include <vector>

namespace tvq52 {

// Whether user input (clicks, keys) is handled while waiting. Delays of the
// modem dial leave it out on purpose: the window does not react then.
enum class WaitEvents { All, ExcludeUserInput };

// The one source of time for the link. All waiting goes through it so that a
// stop button works during any wait and tests can run the waits fast.
class Clock {
public:
    virtual ~Clock() = default;

    // The wall-clock date and time (for dates sent to the unit).
    virtual QDateTime now() const = 0;
    // Nanoseconds since the clock started; never wraps at midnight. Pauses
    // are measured in it: a millisecond count would cut up to 1 ms off each.
    virtual qint64 elapsedNs() const = 0;
    qint64 elapsedMs() const { return elapsedNs() / 1000000; }
    // Runs a local event loop for up to `ms` of this clock's time. Returns
    // true as soon as `until` holds (checked before waiting and after every
    // batch of events), false when the time ran out. Never spins the CPU.
    virtual bool waitFor(qint64 ms, const std::function<bool()>& until = {}, WaitEvents events = WaitEvents::All) = 0;
    // How many real milliseconds `ms` of this clock's time take.
    virtual qint64 realMs(qint64 ms) const = 0;
    // Runs `f` once `ms` of this clock's time have passed, from a wait's
    // event loop; never after `context` (when given) is gone.
    virtual void callAfter(qint64 ms, std::function<void()> f, QObject* context = nullptr);
};

// Real time, optionally sped up: a speed of 100 makes a 5-second limit last
// 50 ms, so tests can run the dial delays and silence limits quickly.
class ScaledClock : public Clock {
public:
    explicit ScaledClock(double speed = 1.0);

    QDateTime now() const override;
    qint64 elapsedNs() const override;
    bool waitFor(qint64 ms, const std::function<bool()>& until = {}, WaitEvents events = WaitEvents::All) override;
    qint64 realMs(qint64 ms) const override;

    double speed() const { return speed_; }

private:
    double speed_;
    QDateTime startedAt_;
    QElapsedTimer elapsed_;
};

// The fast clock of tests.
class FastClock final : public ScaledClock {
public:
    explicit FastClock(double speed = 100.0) : ScaledClock(speed) {}
};

// Time that passes only while somebody waits: a wait runs what is due and
// then jumps to the next call scheduled with callAfter (or to its own end).
// Tests on it see the same order of events however busy the machine is.
class VirtualClock final : public Clock {
public:
    QDateTime now() const override;
    qint64 elapsedNs() const override { return ns_; }
    bool waitFor(qint64 ms, const std::function<bool()>& until = {}, WaitEvents events = WaitEvents::All) override;
    qint64 realMs(qint64) const override { return 0; }
    void callAfter(qint64 ms, std::function<void()> f, QObject* context = nullptr) override;
    // Moves time on without waiting, as work that takes time would.
    void advanceNs(qint64 ns) { ns_ += ns; }

private:
    struct Call {
        qint64 atNs;
        std::function<void()> f;
        QPointer<QObject> context;
        bool guarded;
    };
    void runDue();

    qint64 ns_ = 0;
    std::vector<Call> calls_;
};

// The program's clock: real time.
Clock& systemClock();

} // namespace tvq52
