#include "cli/monitor_command.h"

#include "cli/cli_session.h"
#include "cli/interrupt_watch.h"
#include "core/catalogue_ids.h"
#include "core/date_text.h"
#include "core/own_words.h"
#include "i18n/translator.h"
#include "monitor/monitor_run.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace tvq52 {

namespace {

// One reading for programs: English keys, numbers as numbers.
QJsonObject readingJson(const RealTimeReading& r, const ReadingDisplay& d)
{
    const auto at = parseDateTimeText(d.date + QLatin1Char(' ') + d.time);
    return QJsonObject{{"time", at ? QJsonValue(jsonDateTimeText(*at)) : QJsonValue()},
                       {"night", r.night == 1},
                       {"level", d.levelDb ? QJsonValue(*d.levelDb) : QJsonValue()},
                       {"levelShown", d.level.trimmed()},
                       {"attenuation", d.attenuationDb},
                       {"session", d.session},
                       {"mainsOff", d.mainsOff},
                       {"sensorOff", d.sensorOff},
                       {"nonWorking", d.nonWorking}};
}

class ConsoleMonitorView : public MonitorView {
public:
    ConsoleMonitorView(const Translator& translator, int count, bool json) : translator_(translator), count_(count), json_(json) {}
    RealTimeMonitor* monitor = nullptr;

    void runStarted() override {}
    void runEnded() override {}
    void showReading(const RealTimeReading& reading) override
    {
        const ReadingDisplay d = displayReading(reading, translator_);
        QTextStream out(stdout);
        if (json_) {
            // One document a line, so that a program reads each as it comes.
            out << QJsonDocument(readingJson(reading, d)).toJson(QJsonDocument::Compact) << '\n' << Qt::flush;
        } else {
            QStringList states;
            if (d.session)
                states << translator_.text(msg::Session);
            for (const auto& [shown, text] : {std::pair{d.mainsOff, "DESCONEXIÓN DE RED"},
                                              std::pair{d.sensorOff, "SENSOR INACTIVO"},
                                              std::pair{d.nonWorking, "INTERVALO INHÁBIL"}})
                if (shown)
                    states << translator_.translate(QString::fromUtf8(text));
            out << d.date << ' ' << d.time << ' ' << d.period << ' ' << d.level.rightJustified(5) << " dBA "
                << d.attenuation.rightJustified(3) << " dB"
                << (states.isEmpty() ? QString() : QLatin1Char(' ') + states.join(QStringLiteral(", "))) << Qt::endl;
        }
        if (count_ > 0 && ++shown_ >= count_ && monitor)
            monitor->stop();
    }

private:
    const Translator& translator_;
    int count_;
    bool json_;
    int shown_ = 0;
};

} // namespace

const CommandSyntax& monitorSyntax()
{
    static const CommandSyntax syntax{"monitor",
                                      "monitor [--count N] [--serial N] [--json]",
                                      {"Escribe una lectura en vivo por línea hasta Ctrl-C o N lecturas; --json "
                                       "escribe cada una como un documento JSON en una línea propia."},
                                      {QStringLiteral("--json")},
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
            return refuseUsage(ctx.translator, ownWords(QStringLiteral("%1 necesita un número positivo"), {"--count"}),
                               monitorSyntax());
    }
    if (const auto text = args.value("--serial")) {
        bool ok = false;
        serial = text->toInt(&ok);
        if (!ok)
            return refuseUsage(ctx.translator, ownWords(QStringLiteral("No es un número de serie: %1"), {*text}),
                               monitorSyntax());
    }

    const auto exchange = session.openExchange(options);
    ConsoleMonitorView view(ctx.translator, count, args.has("--json"));
    RealTimeMonitor monitor(*exchange, *session.prompter, ctx.translator, view);
    view.monitor = &monitor;
    // Ctrl-C stops the run, so that the unit is told to end its stream.
    const InterruptWatch watch([&monitor] { monitor.stop(); });
    const int shown = monitor.run(ctx.lineSettings.PhoneNumber, serial);
    // Done: the stream ran until it was stopped (Ctrl-C, or --count readings
    // shown, all of them) without a fault.
    return monitor.endedByStop() && shown >= count ? 0 : 1;
}

} // namespace tvq52
