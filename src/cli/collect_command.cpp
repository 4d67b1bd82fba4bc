#include "cli/collect_command.h"

#include "cli/cli_session.h"
#include "cli/download_command.h"
#include "cli/interrupt_watch.h"
#include "cli/records_console_view.h"
#include "core/catalogue_ids.h"
#include "core/own_words.h"
#include "db/journal.h"
#include "db/store.h"
#include "i18n/catalogue_message.h"
#include "link/exchange_session.h"
#include "records/download_workflow.h"
#include "records/fleet.h"

#include <QFile>
#include <QJsonArray>
#include <QTextStream>

namespace tvq52 {

namespace {

// What collect answers itself: the connect prompts go ahead and every call
// is hung up, so that no unit's line stays busy.
class CollectPrompter : public ForwardingPrompter {
public:
    using ForwardingPrompter::ForwardingPrompter;
    Answer message(const Message& m) override
    {
        if (m.catalogueId == msg::ConnectModem || m.catalogueId == msg::ConnectCable)
            return Answer::Ok;
        if (m.catalogueId == msg::HangUp)
            return Answer::Yes;
        return ForwardingPrompter::message(m);
    }
};

// One line of collect's summary.
struct Collected {
    QString requested;
    qint32 answered = 0;
    QString outcome;
    int intervals = 0, sessions = 0, refused = 0;
    bool ok = false;
};

// What the run shares between the units.
struct CollectRun {
    CliSession& session;
    const CliOptions& options;
    Prompter& prompter;
    bool quiet = false;
    DownloadWorkflow* current = nullptr; // the download a Ctrl-C stops
};

std::optional<QString> storedPhone(Database& db, qint32 serial, Collected& line)
{
    Row key;
    key.set(QStringLiteral("LNumeroSerie"), serial);
    const auto unit = Store(db).selectOne(QStringLiteral("Programacion"), key);
    const QString phone = unit ? unit->value(QStringLiteral("TTelefono")).toString().trimmed() : QString();
    if (unit && !phone.isEmpty())
        return phone;
    line.outcome = unit ? QStringLiteral("no telephone number") : QStringLiteral("not stored");
    return std::nullopt;
}

// Downloads by modem the unit that line `lineNumber` of `list` names.
Collected collectUnit(CollectRun& run, const QString& list, int lineNumber, const QString& text)
{
    AppContext& ctx = *run.session.ctx;
    Collected line;
    line.requested = text;
    const auto serial = serialArgument(text);
    if (!serial) {
        printError(
            ctx.guru,
            ownWords(QStringLiteral("%1:%2: no es un número de serie: %3"), {list, QString::number(lineNumber), text}));
        line.outcome = QStringLiteral("not a serial number");
        return line;
    }
    const auto phone = storedPhone(*ctx.db, *serial, line);
    if (!phone) {
        printError(ctx.guru,
                   ownWords(line.outcome == QLatin1String("not stored")
                                ? QStringLiteral("La unidad %1 no está guardada")
                                : QStringLiteral("La unidad %1 no tiene número de teléfono"),
                            {text}));
        return line;
    }
    if (!run.quiet)
        QTextStream(stderr) << errorText(
            ctx.guru, ownWords(QStringLiteral("Unidad %1: marcando %2"), {QString::number(*serial), *phone}))
                            << Qt::endl;
    const auto exchange = downloadSession(run.session, run.options);
    ConsoleRecordsView view(*serial, std::nullopt, std::nullopt, nullptr);
    view.expect(*serial);
    DownloadWorkflow workflow(*exchange, run.prompter, ctx.guru, *ctx.db, view);
    workflow.overridePhone(*phone);
    run.current = &workflow;
    const DownloadReport report = workflow.run();
    if (report.outcome == DownloadOutcome::Completed && report.serial > 0)
        (void)checkFleetJournal(*ctx.db, report.serial); // the office overview's journal check
    run.current = nullptr;
    line.answered = report.serial;
    line.outcome = journalOutcomeName(journalOutcome(report.outcome));
    line.intervals = report.counts[int(RecordKind::Intervals)].received;
    line.sessions = report.counts[int(RecordKind::Sessions)].received;
    for (const KindCounts& c : report.counts)
        line.refused += c.refused;
    line.ok = report.outcome == DownloadOutcome::Completed && report.serial == *serial;
    if (report.serial != 0 && report.serial != *serial)
        line.outcome = QStringLiteral("another unit answered");
    return line;
}

void printSummary(const QList<Collected>& summary, int failed)
{
    QTextStream out(stdout);
    out << QStringLiteral("%1 %2 %3 %4 %5 %6\n")
               .arg(QStringLiteral("serial"), -10)
               .arg(QStringLiteral("answered"), -10)
               .arg(QStringLiteral("outcome"), -24)
               .arg(QStringLiteral("intervals"), 9)
               .arg(QStringLiteral("sessions"), 8)
               .arg(QStringLiteral("refused"), 7);
    for (const Collected& l : summary)
        out << QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                   .arg(l.requested, -10)
                   .arg(l.answered != 0 ? QString::number(l.answered) : QStringLiteral("-"), -10)
                   .arg(l.outcome, -24)
                   .arg(l.intervals, 9)
                   .arg(l.sessions, 8)
                   .arg(l.refused, 7);
    out << summary.size() - failed << " of " << summary.size() << " units collected\n";
}

QJsonObject summaryJson(const QList<Collected>& summary, int failed)
{
    QJsonArray units;
    for (const Collected& l : summary)
        units.append(QJsonObject{{"requested", l.requested},
                                 {"answered", jsonCount(l.answered)},
                                 {"outcome", l.outcome},
                                 {"intervals", l.intervals},
                                 {"sessions", l.sessions},
                                 {"refused", l.refused},
                                 {"collected", l.ok}});
    return QJsonObject{{"units", units}, {"collected", summary.size() - failed}, {"total", summary.size()}};
}

} // namespace

const CommandSyntax& collectSyntax()
{
    static const CommandSyntax syntax{"collect",
                                      "collect FILE [--json] [--quiet]",
                                      "    Downloads by modem each unit listed in FILE, one serial number a line\n"
                                      "    (# comments), dialling its stored telephone number and hanging up after\n"
                                      "    each; prints a summary. --quiet leaves out the line per unit dialled.\n"
                                      "    Ctrl-C stops the download under way and the run (exit status 130).\n",
                                      {QStringLiteral("--json"), QStringLiteral("--quiet")},
                                      {},
                                      1,
                                      1};
    return syntax;
}

int runCollect(CliSession& session, const CliOptions& options, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    QFile list(args.arguments.at(0));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        printError(ctx.guru,
                   ownWords(QStringLiteral("No se puede leer %1: %2"), {list.fileName(), list.errorString()}));
        return 1;
    }
    if (!openFolderDatabase(ctx))
        return 1;
    ctx.link.ModemMode = 1;
    CollectPrompter prompter(*session.prompter);
    CollectRun run{session, options, prompter, args.has("--quiet")};
    const InterruptWatch watch([&run] {
        if (run.current)
            run.current->stop();
    });
    QList<Collected> summary;
    for (int lineNumber = 1; !list.atEnd() && !watch.interrupted(); ++lineNumber) {
        const QString text = QString::fromUtf8(list.readLine()).trimmed();
        if (!text.isEmpty() && !text.startsWith(QLatin1Char('#')))
            summary << collectUnit(run, list.fileName(), lineNumber, text);
    }
    const int failed = int(std::count_if(summary.begin(), summary.end(), [](const Collected& l) { return !l.ok; }));
    if (args.has("--json"))
        printJson(summaryJson(summary, failed));
    else
        printSummary(summary, failed);
    if (watch.interrupted())
        return InterruptWatch::exitStatus();
    return failed == 0 ? 0 : 1;
}

} // namespace tvq52
