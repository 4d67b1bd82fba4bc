#include "cli/monitor_command.h"

#include "cli/cli_session.h"
#include "cli/interrupt_watch.h"
#include "core/catalogue_ids.h"
#include "core/own_words.h"
#include "i18n/loc_guru.h"
#include "monitor/monitor_run.h"

#include <QTextStream>

namespace tvq52 {

namespace {

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

const CommandSyntax& monitorSyntax()
{
    static const CommandSyntax syntax{"monitor",
                                      "monitor [--count N] [--serial N]",
                                      "    Prints one live reading a line until Ctrl-C or N readings.\n",
                                      {},
                                      {QStringLiteral("--count"), QStringLiteral("--serial")}};
    return syntax;
}

int runMonitor(CliSession& session, const CliOptions& options, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    int count = 0;
    std::optional<qint32> serial;
    if (const auto text = args.value("--count")) {
        bool ok = false;
        count = text->toInt(&ok);
        if (!ok || count < 0)
            return refuseUsage(ctx.guru, ownWords(QStringLiteral("%1 necesita un número positivo"), {"--count"}),
                               monitorSyntax());
    }
    if (const auto text = args.value("--serial")) {
        bool ok = false;
        serial = text->toInt(&ok);
        if (!ok)
            return refuseUsage(ctx.guru, ownWords(QStringLiteral("No es un número de serie: %1"), {*text}),
                               monitorSyntax());
    }

    const auto exchange = session.openExchange(options);
    ConsoleMonitorView view(ctx.guru, count);
    RealTimeMonitor monitor(*exchange, *session.prompter, ctx.guru, view);
    view.monitor = &monitor;
    // Ctrl-C stops the run, so that the unit is told to end its stream.
    const InterruptWatch watch([&monitor] { monitor.stop(); });
    const int shown = monitor.run(ctx.link.PhoneNumber, serial);
    // Done: the stream ran until it was stopped (Ctrl-C, or --count readings
    // shown, all of them) without a fault.
    return monitor.endedByStop() && shown >= count ? 0 : 1;
}

} // namespace tvq52
