#pragma once

#include <QtGlobal>

namespace tvq52 {

class Clock;

// The longest silence allowed between two bytes of a reply in the
// programming window and the monitor.
inline constexpr int kSilenceLimitMs = 5000;

// A window's one-shot time-out timer: its interval is the longest silence
// allowed between two bytes. It is "enabled" until a full interval has
// passed since it was last (re)started.
class LinkTimer {
public:
    LinkTimer(Clock& clock, int intervalMs);

    void setInterval(int ms) { interval_ = ms; }
    int interval() const { return interval_; }
    void start();
    void stop() { running_ = false; }
    bool isEnabled() const;
    qint64 remainingMs() const;
    Clock& clock() const { return clock_; }

private:
    Clock& clock_;
    int interval_;
    qint64 startedAtNs_ = 0;
    bool running_ = false;
};

// Starts the timer's interval anew.
void RestartTimer(LinkTimer& timer);

} // namespace tvq52
