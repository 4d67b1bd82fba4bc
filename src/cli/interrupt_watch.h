#pragma once

#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>

namespace tvq52 {

// Ctrl-C (SIGINT) and SIGTERM turned into a call on the event loop, so that
// the one thread that runs the exchange stops it the way a Stop button
// does. The handler only writes a byte to a pipe; the call comes when the
// exchange's wait next runs the loop. The signals' default comes back when
// the watch ends.
class InterruptWatch {
public:
    // What a signal that comes after the first does. A person at a terminal
    // presses Ctrl-C again to end a run that hangs; a collect line's worker
    // gets the same stop from its terminal's group, from the service manager
    // and from its parent, and each must only stop it.
    enum class Repeated : std::uint8_t { Ends, Stops };

    explicit InterruptWatch(std::function<void()> onInterrupt, Repeated repeated = Repeated::Ends);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Also true for a signal the loop has not yet run.
    bool interrupted() const;
    // The first signal that came was SIGTERM (the service manager, kill), not Ctrl-C.
    bool terminated() const;

    // The exit status of a run stopped by a signal: 128 + SIGINT.
    static int exitStatus();

private:
    std::function<void()> onInterrupt_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool interrupted_ = false;
};

} // namespace tvq52
