#include "cli/interrupt_watch.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tvq52 {

namespace {

int wakePipe[2] = {-1, -1};
volatile std::sig_atomic_t pending = 0;
volatile std::sig_atomic_t repeatEnds = 1;
volatile std::sig_atomic_t firstSignal = 0;

// A second Ctrl-C before the loop took the first (the run is waiting for an
// answer on the terminal) ends the program the default way.
void onSignal(int signal)
{
    if (pending && repeatEnds) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    if (!pending)
        firstSignal = signal;
    pending = 1;
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &c, 1);
}

} // namespace

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt, Repeated repeated)
    : onInterrupt_(std::move(onInterrupt))
{
    repeatEnds = repeated == Repeated::Ends ? 1 : 0;
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(wakePipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char c;
        while (::read(wakePipe[0], &c, 1) > 0) {}
        interrupted_ = true;
        if (onInterrupt_)
            onInterrupt_();
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

InterruptWatch::~InterruptWatch()
{
    pending = 0;
    firstSignal = 0;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool InterruptWatch::interrupted() const
{
    return interrupted_ || pending;
}

bool InterruptWatch::terminated() const
{
    return interrupted() && firstSignal == SIGTERM;
}

int InterruptWatch::exitStatus()
{
    return 128 + SIGINT;
}

} // namespace tvq52
