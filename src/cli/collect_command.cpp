#include "cli/collect_command.h"

#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "cli/cli_session.h"
#include "cli/collect_reports.h"
#include "cli/download_command.h"
#include "cli/interrupt_watch.h"
#include "cli/records_console_view.h"
#include "core/catalogue_ids.h"
#include "core/own_words.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "evidence/signed_pdf.h"
#include "i18n/catalogue_message.h"
#include "link/exchange_session.h"
#include "records/collect_round.h"
#include "records/download_workflow.h"
#include "records/fleet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLockFile>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

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

// What the run shares between the units.
struct CollectRun {
    CliSession& session;
    const CliOptions& options;
    Prompter& prompter;
    bool quiet = false;
    QString line = {};                   // the device the units are called on, as the summary names it
    DownloadWorkflow* current = nullptr; // the download a Ctrl-C stops
};

// The console view that keeps the range the download asked for, which the
// unit's exceedance summary then covers.
class RangeKeepingView : public ConsoleRecordsView {
public:
    using ConsoleRecordsView::ConsoleRecordsView;
    std::optional<DownloadRange> chooseRange(const DownloadRange& proposal) override
    {
        const auto chosen = ConsoleRecordsView::chooseRange(proposal);
        if (chosen)
            range = *chosen;
        return chosen;
    }
    DownloadRange rangeForConnectedUnit(const DownloadRange& chosen, const DownloadRange& unitProposal) override
    {
        range = ConsoleRecordsView::rangeForConnectedUnit(chosen, unitProposal);
        return *range;
    }
    std::optional<DownloadRange> range;
};

std::optional<QString> storedPhone(Database& db, qint32 serial, CollectedUnit& line)
{
    Row key;
    key.set(QStringLiteral("LNumeroSerie"), serial);
    // A row that cannot be read counts as none stored.
    const auto found = Store(db).selectOne(QStringLiteral("Programacion"), key);
    const std::optional<Row> unit = found ? *found : std::nullopt;
    const QString phone = unit ? unit->value(QStringLiteral("TTelefono")).toString().trimmed() : QString();
    if (unit && !phone.isEmpty())
        return phone;
    line.outcome = unit ? CollectOutcome::NoTelephone : CollectOutcome::NotStored;
    return std::nullopt;
}

// A list line that names no serial number: said, and never called.
std::optional<CollectedUnit> refusedLine(const AppContext& ctx, const QString& list, const CollectItem& item)
{
    if (listedSerial(item.text))
        return std::nullopt;
    printError(ctx.translator,
               ownWords(QStringLiteral("%1:%2: no es un número de serie: %3"),
                        {list, QString::number(item.lineNumber), item.text}));
    CollectedUnit unit;
    unit.index = item.index;
    unit.requested = item.text;
    unit.outcome = CollectOutcome::NotSerialNumber;
    return unit;
}

// The office overview's journal check after a download: a unit whose
// journal finds faults, or cannot be checked, is told like any failure.
bool checkJournal(AppContext& ctx, qint32 serial, qint64 entry)
{
    const Result<QList<qint32>> notVerified = checkFleetJournal(*ctx.db, serial, entry);
    if (!notVerified) {
        printError(ctx.translator, notVerified.error());
        return false;
    }
    if (notVerified->isEmpty())
        return true;
    printError(ctx.translator,
               ownWords(QStringLiteral("El diario de intercambios de la unidad %1 no se verifica: "
                                       "tvq52-cli verify %1 dice por qué"),
                        {QString::number(serial)}));
    return false;
}

// Downloads by modem the unit that line `lineNumber` of `list` names.
CollectedUnit collectUnit(CollectRun& run, const QString& list, int lineNumber, const QString& text)
{
    AppContext& ctx = *run.session.ctx;
    if (auto refused = refusedLine(ctx, list, CollectItem{0, lineNumber, text})) {
        refused->line = run.line;
        return *refused;
    }
    const auto serial = listedSerial(text);
    CollectedUnit line;
    line.requested = text;
    line.line = run.line;
    const auto phone = storedPhone(*ctx.db, *serial, line);
    if (!phone) {
        printError(ctx.translator,
                   ownWords(line.outcome == CollectOutcome::NotStored
                                ? QStringLiteral("La unidad %1 no está guardada")
                                : QStringLiteral("La unidad %1 no tiene número de teléfono"),
                            {text}));
        return line;
    }
    if (!run.quiet)
        QTextStream(stderr) << errorText(
            ctx.translator,
            ownWords(QStringLiteral("Unidad %1: marcando %2 en %3"), {QString::number(*serial), *phone, run.line}))
                            << Qt::endl;
    const auto exchange = downloadSession(run.session, run.options);
    RangeKeepingView view(*serial, std::nullopt, std::nullopt, nullptr);
    view.expect(*serial);
    DownloadWorkflow workflow(*exchange, run.prompter, ctx.translator, *ctx.db, view);
    workflow.overridePhone(*phone);
    run.current = &workflow;
    const DownloadReport report = workflow.run();
    run.current = nullptr;
    if (report.outcome == DownloadOutcome::Completed && report.serial > 0)
        line.journalVerified = checkJournal(ctx, report.serial, report.journalEntry);
    line.answered = report.serial;
    if (view.range) {
        line.from = view.range->start();
        line.to = view.range->end();
    }
    line.outcome = collectOutcome(journalOutcome(report.outcome));
    line.intervals = report.counts[int(RecordKind::Intervals)].received;
    line.sessions = report.counts[int(RecordKind::Sessions)].received;
    for (const KindCounts& c : report.counts)
        line.refused += c.refused;
    line.ok = report.outcome == DownloadOutcome::Completed && report.serial == *serial;
    if (report.serial != 0 && report.serial != *serial)
        line.outcome = CollectOutcome::AnotherUnit;
    return line;
}

// The unit's exceedance summary, after a download that completed.
void reportUnit(AppContext& ctx, const QString& folder, CollectedUnit& unit)
{
    if (folder.isEmpty() || !unit.ok || !unit.from || !unit.to)
        return;
    const Result<QString> written = writeCollectedExceedances(ctx, folder, unit.answered, *unit.from, *unit.to);
    if (written)
        unit.report = *written;
    else
        printError(ctx.translator, written.error());
}

// What a run takes from its words, or for a scheduled run from the settings.
struct CollectPlan {
    QString list;
    QStringList devices;
    QString reports;
};

CollectPlan planFor(const AppContext& ctx, const CliOptions& options, const CommandArgs& args)
{
    CollectPlan plan;
    const bool scheduled = args.has("--scheduled");
    const IniFile ini = scheduled ? IniFile::load(settingsPath(ctx.home)) : IniFile();
    auto setting = [&](const char* key) {
        return ini.value(QString::fromLatin1(kSettingsSection), QString::fromLatin1(key)).value_or(QString()).trimmed();
    };
    plan.list = args.arguments.value(0);
    if (plan.list.isEmpty())
        plan.list = QDir(ctx.home).filePath(QStringLiteral("collect.list"));
    plan.devices = options.devices;
    if (plan.devices.isEmpty() && scheduled)
        for (const QString& d : setting("CollectDevices").split(QLatin1Char(','), Qt::SkipEmptyParts))
            if (!d.trimmed().isEmpty())
                plan.devices << d.trimmed();
    plan.reports = args.value("--reports").value_or(scheduled ? setting("CollectReports") : QString());
    return plan;
}

void printCollectSummary(const QList<CollectedUnit>& summary)
{
    QTextStream out(stdout);
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
               .arg(QStringLiteral("serial"), -10)
               .arg(QStringLiteral("answered"), -10)
               .arg(QStringLiteral("outcome"), -24)
               .arg(QStringLiteral("intervals"), 9)
               .arg(QStringLiteral("sessions"), 8)
               .arg(QStringLiteral("refused"), 7)
               .arg(QStringLiteral("journal"), -8)
               .arg(QStringLiteral("line"));
    for (const CollectedUnit& l : summary)
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
                   .arg(l.requested, -10)
                   .arg(l.answered != 0 ? QString::number(l.answered) : QStringLiteral("-"), -10)
                   .arg(collectOutcomeName(l.outcome), -24)
                   .arg(l.intervals, 9)
                   .arg(l.sessions, 8)
                   .arg(l.refused, 7)
                   .arg(!l.journalVerified       ? QStringLiteral("-")
                            : *l.journalVerified ? QStringLiteral("verified")
                                                 : QStringLiteral("FAILED"),
                        -8)
                   .arg(l.line.isEmpty() ? QStringLiteral("-") : l.line);
    out << summary.size() - failedCount(summary) << " of " << summary.size() << " units collected\n";
    if (const int failed = journalFailedCount(summary))
        out << failed << " of them with a journal that did not verify\n";
}

// The arguments of a line's worker: this run's folder, database and line
// settings, on the line's own device.
QStringList workerArguments(const AppContext& ctx, const CliOptions& options, const CollectPlan& plan, bool quiet,
                            const QString& device)
{
    QStringList a{QStringLiteral("--home"), ctx.home};
    if (options.database)
        a << QStringLiteral("--database") << *options.database;
    a << QStringLiteral("--device") << device << QStringLiteral("--modem");
    if (options.pulse)
        a << (*options.pulse ? QStringLiteral("--pulse") : QStringLiteral("--tone"));
    if (options.prefix)
        a << QStringLiteral("--prefix") << *options.prefix;
    if (options.timeoutGiven)
        a << QStringLiteral("--timeout-ms") << QString::number(options.timeoutMs);
    if (options.clockSpeed != 1.0)
        a << QStringLiteral("--clock-speed") << QString::number(options.clockSpeed);
    if (options.assumeYes)
        a << QStringLiteral("--yes");
    a << QStringLiteral("collect") << plan.list << QStringLiteral("--worker");
    if (!plan.reports.isEmpty())
        a << QStringLiteral("--reports") << plan.reports;
    if (quiet)
        a << QStringLiteral("--quiet");
    return a;
}

// A line's worker: units come on standard input, one a line, and each
// one's result goes back on standard output as soon as its call is over.
int runWorker(CollectRun& run, const QString& list, const QString& reports)
{
    const InterruptWatch watch(
        [&run] {
            if (run.current)
                run.current->stop();
        },
        InterruptWatch::Repeated::Stops);
    char buffer[4096];
    while (!watch.interrupted() && std::fgets(buffer, sizeof buffer, stdin)) {
        const auto item = collectItemFromLine(QByteArray(buffer));
        if (!item)
            continue;
        // Said before the call, so that a worker that dies from here on
        // leaves the unit failed rather than called again on another line.
        // A parent that can no longer hear it gets no call made for it.
        const QByteArray taken =
            QJsonDocument(QJsonObject{{"taken", item->index}}).toJson(QJsonDocument::Compact) + '\n';
        if (std::fwrite(taken.constData(), 1, size_t(taken.size()), stdout) != size_t(taken.size())
            || std::fflush(stdout) != 0)
            return 1;
        CollectedUnit unit = collectUnit(run, list, item->lineNumber, item->text);
        unit.index = item->index;
        reportUnit(*run.session.ctx, reports, unit);
        const QByteArray line = QJsonDocument(collectedJson(unit)).toJson(QJsonDocument::Compact) + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    }
    return watch.interrupted() ? InterruptWatch::exitStatus() : 0;
}

} // namespace

const CommandSyntax& collectSyntax()
{
    static const CommandSyntax syntax{
        "collect",
        "collect FILE [--device D1 --device D2 ...] [--reports DIR] [--json] [--quiet]\n"
        "collect --scheduled [FILE]",
        {"Descarga por módem cada unidad de FILE, un número de serie por línea (# comentarios), marcando su número de "
         "teléfono guardado y colgando tras cada una; escribe un resumen que nombra la línea en la que se llamó a cada "
         "unidad.",
         "Con --device dado más de una vez, cada dispositivo es una línea de módem propia: se llama a las unidades por "
         "todas las líneas a la vez, y cada línea toma la unidad siguiente cuando termina su llamada.",
         "--reports DIR escribe allí el resumen de superaciones de cada unidad descargada como PDF y, al final, la "
         "vista general como fleet.csv y fleet.pdf. --quiet omite la línea por unidad marcada.",
         "--scheduled es la ejecución desatendida: la lista es collect.list de la carpeta de datos salvo que se dé "
         "FILE, las líneas vienen de CollectDevices (separadas por comas) y la carpeta de informes de CollectReports "
         "en tvq52.ini [Configuration];",
         "se niega a empezar mientras otra ejecución programada tenga el collect.lock de la carpeta de datos. Ctrl-C "
         "detiene las descargas en curso y la ejecución (estado de salida 130)."},
        {QStringLiteral("--json"), QStringLiteral("--quiet"), QStringLiteral("--scheduled"),
         QStringLiteral("--worker")},
        {QStringLiteral("--reports"), QStringLiteral("--line-program")},
        0,
        1};
    return syntax;
}

int runCollect(CliSession& session, const CliOptions& options, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    const bool scheduled = args.has("--scheduled");
    if (args.arguments.isEmpty() && !scheduled)
        return refuseUsage(ctx.translator, ownWords(QStringLiteral("Faltan argumentos")), collectSyntax());
    const CollectPlan plan = planFor(ctx, options, args);
    // Two unattended runs on one folder would call every unit twice.
    QLockFile lock(QDir(ctx.home).filePath(QStringLiteral("collect.lock")));
    lock.setStaleLockTime(0);
    if (scheduled && !lock.tryLock(0)) {
        qint64 pid = 0;
        QString host, program;
        lock.getLockInfo(&pid, &host, &program);
        printError(ctx.translator,
                   ownWords(QStringLiteral("La recogida anterior sigue en curso (proceso %1); esta no empieza"),
                            {QString::number(pid)}));
        return 1;
    }
    QFile list(plan.list);
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        printError(ctx.translator,
                   ownWords(QStringLiteral("No se puede leer %1: %2"), {list.fileName(), list.errorString()}));
        return 1;
    }
    const QList<CollectItem> items = readCollectList(list);
    if (!openFolderDatabase(ctx, Operation::Collect))
        return 1;
    ctx.lineSettings.ModemMode = 1;
    if (plan.devices.size() == 1 && options.devices.isEmpty())
        ctx.lineSettings.SerialDevice = plan.devices.first(); // the settings' one line
    CollectPrompter prompter(*session.prompter);
    CollectRun run{session, options, prompter, args.has("--quiet")};
    run.line = ctx.lineSettings.SerialDevice.isEmpty() ? portText(ctx) : ctx.lineSettings.SerialDevice;
    if (args.has("--worker"))
        return runWorker(run, list.fileName(), plan.reports);

    QList<CollectedUnit> summary;
    bool interrupted = false;
    if (plan.devices.size() >= 2) {
        const LineWorkers workers{
            args.value("--line-program").value_or(QCoreApplication::applicationFilePath()),
            [&](const QString& device) { return workerArguments(ctx, options, plan, run.quiet, device); }};
        // Only serial numbers go to the lines; the rest are told here at once.
        QList<CollectItem> units;
        for (const CollectItem& item : items) {
            if (auto refused = refusedLine(ctx, list.fileName(), item))
                summary << *refused;
            else
                units << item;
        }
        CollectRound round(units, plan.devices, workers);
        // The workers' messages come through a line at a time.
        QObject::connect(&round, &CollectRound::workerSaid,
                         [](const QString& said) { QTextStream(stderr) << said << Qt::endl; });
        QObject::connect(&round, &CollectRound::failed, [&ctx](const Error& e) { printError(ctx.translator, e); });
        const InterruptWatch watch([&round] { round.stop(); });
        const LinesOutcome outcome = round.run();
        summary << outcome.units;
        std::sort(summary.begin(), summary.end(),
                  [](const CollectedUnit& a, const CollectedUnit& b) { return a.index < b.index; });
        interrupted = outcome.stopped;
    } else {
        const InterruptWatch watch([&run] {
            if (run.current)
                run.current->stop();
        });
        for (const CollectItem& item : items) {
            if (watch.interrupted())
                break;
            CollectedUnit unit = collectUnit(run, list.fileName(), item.lineNumber, item.text);
            unit.index = item.index;
            reportUnit(ctx, plan.reports, unit);
            summary << unit;
        }
        interrupted = watch.interrupted();
    }
    bool overviewWritten = true;
    if (!plan.reports.isEmpty() && !interrupted)
        if (const Status written = writeFleetFiles(ctx, plan.reports); !written) {
            printError(ctx.translator, written.error());
            overviewWritten = false;
        }
    if (!plan.reports.isEmpty() && overviewWritten)
        warnOfPdfSigning(*session.prompter, ctx.translator);
    if (args.has("--json"))
        printJson(collectSummaryJson(summary));
    else
        printCollectSummary(summary);
    if (interrupted)
        return InterruptWatch::exitStatus();
    return failedCount(summary) == 0 && journalFailedCount(summary) == 0 && overviewWritten ? 0 : 1;
}

} // namespace tvq52
