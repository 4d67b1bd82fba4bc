#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <functional>

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
    virtual bool waitFor(qint64 ms, const std::function<bool()>& until = {},
                         WaitEvents events = WaitEvents::All) = 0;
    // How many real milliseconds `ms` of this clock's time take.
    virtual qint64 realMs(qint64 ms) const = 0;
};

// Real time, optionally sped up: a speed of 100 makes a 5-second limit last
// 50 ms, so tests can run the dial delays and silence limits quickly.
class ScaledClock : public Clock {
public:
    explicit ScaledClock(double speed = 1.0);

    QDateTime now() const override;
    qint64 elapsedNs() const override;
    bool waitFor(qint64 ms, const std::function<bool()>& until = {},
                 WaitEvents events = WaitEvents::All) override;
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

// The program's clock: real time.
Clock& systemClock();

} // namespace tvq52
