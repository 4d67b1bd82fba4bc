#include "cli/monitor_command.h"

#include "cli/cli_session.h"
#include "core/catalogue_ids.h"
#include "i18n/loc_guru.h"
#include "monitor/monitor_run.h"

#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <unistd.h>

namespace tvq52 {

namespace {

int interruptPipe[2] = {-1, -1};

void onInterrupt(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(interruptPipe[1], &c, 1);
}

class ConsoleMonitorView : public MonitorView {
public:
    ConsoleMonitorView(const LocGuru& guru, int count) : guru_(guru), count_(count) {}
    RealTimeMonitor* monitor = nullptr;

    void runStarted() override {}
    void runEnded() override {}
    void showReading(const RealTimeReading& reading) override
    {
        const ReadingDisplay d = displayReading(reading, guru_);
        QStringList states;
        if (d.session)
            states << guru_.GetS(msg::Session);
        if (d.mainsOff)
            states << QStringLiteral("DESCONEXIÓN DE RED");
        if (d.sensorOff)
            states << QStringLiteral("SENSOR INACTIVO");
        if (d.nonWorking)
            states << QStringLiteral("INTERVALO INHÁBIL");
        QTextStream(stdout) << d.date << ' ' << d.time << ' ' << d.period << ' ' << d.level.rightJustified(5) << " dBA "
                            << d.attenuation.rightJustified(3) << " dB"
                            << (states.isEmpty() ? QString() : QLatin1Char(' ') + states.join(QStringLiteral(", ")))
                            << Qt::endl;
        if (count_ > 0 && ++shown_ >= count_ && monitor)
            monitor->stop();
    }

private:
    const LocGuru& guru_;
    int count_;
    int shown_ = 0;
};

} // namespace

int runMonitor(CliSession& session, const CliOptions& options)
{
    AppContext& ctx = *session.ctx;
    QTextStream err(stderr);
    int count = 0;
    std::optional<qint32> serial;
    const QStringList args = options.command.mid(1);
    for (int k = 0; k < args.size(); ++k) {
        bool ok = false;
        if (args[k] == QLatin1String("--count") && k + 1 < args.size())
            count = args[++k].toInt(&ok);
        else if (args[k] == QLatin1String("--serial") && k + 1 < args.size())
            serial = args[++k].toInt(&ok);
        if (!ok || count < 0) {
            err << "tvq52-cli: usage: monitor [--count N] [--serial N]" << Qt::endl;
            return 2;
        }
    }

    const auto exchange = session.openExchange(options);
    ConsoleMonitorView view(ctx.guru, count);
    RealTimeMonitor monitor(*exchange, *session.prompter, ctx.guru, view);
    view.monitor = &monitor;

    // Ctrl-C stops the run, so that the unit is told to end its stream.
    std::unique_ptr<QSocketNotifier> notifier;
    if (::pipe(interruptPipe) == 0) {
        notifier = std::make_unique<QSocketNotifier>(interruptPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [&] {
            char c;
            [[maybe_unused]] ssize_t n = ::read(interruptPipe[0], &c, 1);
            monitor.stop();
        });
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onInterrupt);
    }
    const int shown = monitor.run(ctx.link.PhoneNumber, serial);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    // Done: the stream ran until it was stopped (Ctrl-C, or --count readings
    // shown, all of them) without a fault.
    return monitor.endedByStop() && shown >= count ? 0 : 1;
}

} // namespace tvq52
