#pragma once

#include <QSocketNotifier>
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
    explicit InterruptWatch(std::function<void()> onInterrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool interrupted() const { return interrupted_; }

    // The exit status of a run stopped by a signal: 128 + SIGINT.
    static int exitStatus();

private:
    std::function<void()> onInterrupt_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool interrupted_ = false;
};

} // namespace tvq52
