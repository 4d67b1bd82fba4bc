#include "cli/download_command.h"

#include "app/data_folder.h"
#include "cli/cli_session.h"
#include "core/catalogue_ids.h"
#include "db/journal.h"
#include "db/store.h"
#include "i18n/loc_guru.h"
#include "link/exchange_session.h"
#include "records/download_workflow.h"
#include "records/record_store.h"
#include "records/records_view.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <limits>

namespace tvq52 {

namespace {

// No unit is shown before the one on the line has identified itself, so
// the workflow always switches to it; no real serial number is this.
constexpr qint32 kUnitOnTheLine = std::numeric_limits<qint32>::min();

const char* const kKindNames[kRecordKinds] = {"totals",         "erasures",  "battery ends",
                                              "reprogrammings", "intervals", "sessions"};

// The recorded-data window reduced to plain values for the terminal.
class ConsoleRecordsView : public RecordsView {
public:
    ConsoleRecordsView(qint32 shown, std::optional<QDateTime> from, std::optional<QDateTime> to, bool chatty)
        : shown_(shown), from_(std::move(from)), to_(std::move(to)), chatty_(chatty)
    {}

    qint32 shownSerial() const override { return shown_; }
    std::optional<DownloadRange> chooseRange(const DownloadRange& proposal) override
    {
        return DownloadRange::from(from_.value_or(proposal.start()), to_.value_or(proposal.end()));
    }
    bool showUnit(qint32 serial) override
    {
        shown_ = serial;
        return true;
    }
    void showFirmware(const QString& firmware) override { firmware_ = firmware; }
    void showTotals(const TotalsReading&) override {}
    void ToggleButtons() override {}
    void downloadProgress(const DownloadProgress& p) override
    {
        if (!chatty_)
            return;
        const KindCounts& c = p.counts[int(p.current)];
        QTextStream err(stderr);
        err << kKindNames[int(p.current)] << ": " << c.received << " received";
        if (p.recordsPerSecond > 0)
            err << ", " << QString::number(p.recordsPerSecond, 'f', 1) << " records/s";
        if (p.msLeft)
            err << ", about " << (*p.msLeft + 999) / 1000 << " s left";
        err << Qt::endl;
    }
    // Options name the range for whichever unit answers; without them the
    // unit's own proposal counts, worked out once it is known.
    DownloadRange rangeForConnectedUnit(const DownloadRange& chosen, const DownloadRange& unitProposal) override
    {
        if (requested_ != kUnitOnTheLine)
            return RecordsView::rangeForConnectedUnit(chosen, unitProposal);
        return DownloadRange::from(from_.value_or(unitProposal.start()), to_.value_or(unitProposal.end()));
    }

    void expect(qint32 serial) { requested_ = serial; }
    qint32 expectedSerial() const override { return requested_ == kUnitOnTheLine ? 0 : requested_; }

private:
    qint32 shown_;
    qint32 requested_ = kUnitOnTheLine;
    std::optional<QDateTime> from_, to_;
    bool chatty_;
    QString firmware_;
};

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

// The journal's word for how the download ended.
QString outcomeText(DownloadOutcome outcome)
{
    return journalOutcomeName(journalOutcome(outcome));
}

std::unique_ptr<ExchangeSession> downloadSession(CliSession& session, const CliOptions& options)
{
    CliOptions o = options;
    if (!options.timeoutGiven)
        o.timeoutMs = kDownloadSilenceLimitMs;
    return session.openExchange(o);
}

void printReport(const DownloadReport& r)
{
    QTextStream out(stdout);
    out << "Serial number: " << r.serial << '\n' << "Firmware: " << r.firmware << '\n';
    out << QStringLiteral("%1 %2 %3 %4 %5\n")
               .arg(QStringLiteral("kind"), -16)
               .arg(QStringLiteral("received"), 9)
               .arg(QStringLiteral("added"), 7)
               .arg(QStringLiteral("rewritten"), 10)
               .arg(QStringLiteral("refused"), 8);
    for (int k = 0; k < kRecordKinds; ++k)
        out << QStringLiteral("%1 %2 %3 %4 %5\n")
                   .arg(QString::fromLatin1(kKindNames[k]), -16)
                   .arg(r.counts[k].received, 9)
                   .arg(r.counts[k].added, 7)
                   .arg(r.counts[k].rewritten, 10)
                   .arg(r.counts[k].refused, 8);
    out << "Outcome: " << outcomeText(r.outcome) << '\n';
    if (r.journalEntry != 0)
        out << "Journal entry: " << r.journalEntry << '\n' << "Journal head: " << r.journalHead << '\n';
}

} // namespace

std::optional<QDateTime> parseRangeStamp(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral(R"(^\s*(\d{1,2})/(\d{1,2})/(\d{2}|\d{4})\s+(\d{1,2}):(\d{2})\s*$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    int year = m.captured(3).toInt();
    if (m.captured(3).size() == 2)
        year += year < 50 ? 2000 : 1900;
    const QDate date(year, m.captured(2).toInt(), m.captured(1).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

int runDownload(CliSession& session, const CliOptions& options)
{
    QTextStream err(stderr);
    const char* usage = "tvq52-cli: usage: download [--from \"dd/mm/yy hh:nn\"] [--to \"dd/mm/yy hh:nn\"]";
    std::optional<QDateTime> from, to;
    const QStringList args = options.command.mid(1);
    for (int k = 0; k < args.size(); k += 2) {
        const bool isFrom = args[k] == QLatin1String("--from");
        if ((!isFrom && args[k] != QLatin1String("--to")) || k + 1 >= args.size()) {
            err << usage << Qt::endl;
            return 2;
        }
        const auto when = parseRangeStamp(args[k + 1]);
        if (!when) {
            err << "tvq52-cli: not a date and time: " << args[k + 1] << '\n' << usage << Qt::endl;
            return 2;
        }
        if (!requestCarries(*when)) {
            err << "tvq52-cli: "
                << session.ctx->guru
                       .GetTranslation(
                           QStringLiteral("La fecha %1 no se puede pedir al TVQ-52: solo admite años de %2 a %3."))
                       .arg(args[k + 1].trimmed())
                       .arg(kFirstRequestYear)
                       .arg(kLastRequestYear)
                << Qt::endl;
            return 2;
        }
        (isFrom ? from : to) = when;
    }
    if (from && to && *to <= *from) {
        err << "tvq52-cli: the range's end is not after its start" << Qt::endl;
        return 2;
    }
    AppContext& ctx = *session.ctx;
    if (!openFolderDatabase(ctx))
        return 1;
    const auto exchange = downloadSession(session, options);
    ConsoleRecordsView view(kUnitOnTheLine, from, to, true);
    DownloadWorkflow workflow(*exchange, *session.prompter, ctx.guru, *ctx.db, view);
    workflow.overridePhone(ctx.link.PhoneNumber);
    const DownloadReport report = workflow.run();
    printReport(report);
    return report.outcome == DownloadOutcome::Completed ? 0 : 1;
}

namespace {

// One line of collect's summary.
struct Collected {
    QString requested;
    QString answered;
    QString outcome;
    int intervals = 0, sessions = 0, refused = 0;
    bool ok = false;
};

// Downloads by modem the unit that line `lineNumber` of `list` names.
Collected collectUnit(CliSession& session, const CliOptions& options, Prompter& prompter, const QString& list,
                      int lineNumber, const QString& text)
{
    QTextStream err(stderr);
    AppContext& ctx = *session.ctx;
    Collected line;
    line.requested = text;
    bool isNumber = false;
    const qint32 serial = text.toInt(&isNumber);
    if (!isNumber || serial <= 0) {
        err << "tvq52-cli: " << list << ':' << lineNumber << ": not a serial number: " << text << Qt::endl;
        line.outcome = QStringLiteral("not a serial number");
        return line;
    }
    Row key;
    key.set(QStringLiteral("LNumeroSerie"), serial);
    const auto unit = Store(*ctx.db).selectOne(QStringLiteral("Programacion"), key);
    const QString phone = unit ? unit->value(QStringLiteral("TTelefono")).toString().trimmed() : QString();
    if (!unit || phone.isEmpty()) {
        line.outcome = unit ? QStringLiteral("no telephone number") : QStringLiteral("not stored");
        err << "tvq52-cli: unit " << serial << ": " << line.outcome << Qt::endl;
        return line;
    }
    err << "Unit " << serial << ": dialling " << phone << Qt::endl;
    const auto exchange = downloadSession(session, options);
    ConsoleRecordsView view(serial, std::nullopt, std::nullopt, false);
    view.expect(serial);
    DownloadWorkflow workflow(*exchange, prompter, ctx.guru, *ctx.db, view);
    workflow.overridePhone(phone);
    const DownloadReport report = workflow.run();
    line.answered = report.serial != 0 ? QString::number(report.serial) : QStringLiteral("-");
    line.outcome = outcomeText(report.outcome);
    line.intervals = report.counts[int(RecordKind::Intervals)].received;
    line.sessions = report.counts[int(RecordKind::Sessions)].received;
    for (const KindCounts& c : report.counts)
        line.refused += c.refused;
    line.ok = report.outcome == DownloadOutcome::Completed && report.serial == serial;
    if (report.serial != 0 && report.serial != serial)
        line.outcome = QStringLiteral("another unit answered");
    return line;
}

// The summary table; the number of units not collected.
int printSummary(const QList<Collected>& summary)
{
    QTextStream out(stdout);
    int failed = 0;
    out << QStringLiteral("%1 %2 %3 %4 %5 %6\n")
               .arg(QStringLiteral("serial"), -10)
               .arg(QStringLiteral("answered"), -10)
               .arg(QStringLiteral("outcome"), -24)
               .arg(QStringLiteral("intervals"), 9)
               .arg(QStringLiteral("sessions"), 8)
               .arg(QStringLiteral("refused"), 7);
    for (const Collected& l : summary) {
        failed += l.ok ? 0 : 1;
        out << QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                   .arg(l.requested, -10)
                   .arg(l.answered.isEmpty() ? QStringLiteral("-") : l.answered, -10)
                   .arg(l.outcome, -24)
                   .arg(l.intervals, 9)
                   .arg(l.sessions, 8)
                   .arg(l.refused, 7);
    }
    out << summary.size() - failed << " of " << summary.size() << " units collected\n";
    return failed;
}

} // namespace

int runCollect(CliSession& session, const CliOptions& options)
{
    QTextStream err(stderr);
    if (options.command.size() != 2) {
        err << "tvq52-cli: usage: collect FILE" << Qt::endl;
        return 2;
    }
    QFile list(options.command.at(1));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        err << "tvq52-cli: cannot read " << list.fileName() << ": " << list.errorString() << Qt::endl;
        return 1;
    }
    AppContext& ctx = *session.ctx;
    if (!openFolderDatabase(ctx))
        return 1;
    ctx.link.ModemMode = 1;
    CollectPrompter prompter(*session.prompter);
    QList<Collected> summary;
    int lineNumber = 0;
    while (!list.atEnd()) {
        ++lineNumber;
        const QString text = QString::fromUtf8(list.readLine()).trimmed();
        if (!text.isEmpty() && !text.startsWith(QLatin1Char('#')))
            summary << collectUnit(session, options, prompter, list.fileName(), lineNumber, text);
    }
    return printSummary(summary) == 0 ? 0 : 1;
}

int runVerify(CliSession& session, const CliOptions& options)
{
    QTextStream err(stderr);
    const char* usage = "tvq52-cli: usage: verify [SERIAL] [--head HASH]";
    std::optional<qint32> serial;
    QByteArray keptHead;
    const QStringList args = options.command.mid(1);
    for (qsizetype k = 0; k < args.size(); ++k) {
        if (args[k] == QLatin1String("--head")) {
            static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{64}$"));
            if (k + 1 >= args.size() || !hex.match(args[k + 1]).hasMatch() || !keptHead.isEmpty()) {
                err << usage << Qt::endl;
                return 2;
            }
            keptHead = args[++k].toLower().toLatin1();
            continue;
        }
        bool ok = false;
        const qint32 n = args[k].toInt(&ok);
        if (!ok || serial) {
            err << usage << Qt::endl;
            return 2;
        }
        serial = n;
    }
    AppContext& ctx = *session.ctx;
    if (!openFolderDatabase(ctx))
        return 1;
    const Journal journal(*ctx.db);
    const JournalVerification v = journal.verify(serial, keptHead);
    QTextStream out(stdout);
    static const char* const kinds[] = {"record edited",     "record missing",    "entry altered",
                                        "chain broken",      "no provenance",     "entry not opened by the program",
                                        "totals differ",     "journal restarted", "kept head missing",
                                        "journal unreadable"};
    for (const JournalFinding& f : v.findings) {
        out << kinds[int(f.kind)];
        if (f.entry != 0)
            out << ": entry " << f.entry;
        if (!f.table.isEmpty())
            out << (f.entry != 0 ? ", " : ": ") << f.table << ' ' << f.key;
        if (!f.detail.isEmpty())
            out << ": " << f.detail;
        out << '\n';
    }
    out << "Records checked: " << v.recordsChecked << '\n'
        << "Rewritten by a later entry: " << v.recordsRewritten << '\n'
        << "Not in the journal: " << v.recordsNotJournaled << '\n';
    if (v.recordsInOpenEntries > 0)
        out << "In entries still open: " << v.recordsInOpenEntries << '\n';
    out << "Journal head: " << v.head << '\n';
    if (!keptHead.isEmpty() && v.findings.isEmpty())
        out << "The kept head " << keptHead << " is in the chain\n";
    out << (v.findings.isEmpty() ? "Everything verifies\n" : "Findings: ");
    if (!v.findings.isEmpty())
        out << v.findings.size() << '\n';
    return v.findings.isEmpty() ? 0 : 1;
}

int runJournal(CliSession& session, const CliOptions& options)
{
    QTextStream err(stderr);
    std::optional<qint32> serial;
    const QStringList args = options.command.mid(1);
    if (!args.isEmpty()) {
        bool ok = false;
        if (args.size() == 2 && args[0] == QLatin1String("--serial"))
            serial = args[1].toInt(&ok);
        if (!ok) {
            err << "tvq52-cli: usage: journal [--serial N]" << Qt::endl;
            return 2;
        }
    }
    AppContext& ctx = *session.ctx;
    if (!openFolderDatabase(ctx))
        return 1;
    const Journal journal(*ctx.db);
    QTextStream out(stdout);
    for (const JournalEntry& e : journal.entries(serial)) {
        out << '#' << e.id << ' ' << e.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << ' '
            << journalActionName(e.action);
        // Merges, imports and the journal's own entries concern no one unit.
        const bool ofAUnit = e.action == JournalAction::Download || e.action == JournalAction::ProgramReceive
            || e.action == JournalAction::ProgramTransmit || e.action == JournalAction::UnitDeletion;
        if (ofAUnit)
            out << " unit " << (e.serial > 0 ? QString::number(e.serial) : QStringLiteral("unknown"));
        if (!e.line.isEmpty())
            out << " by " << e.line;
        out << ": " << (e.outcome.isEmpty() ? QStringLiteral("open") : e.outcome) << '\n';
        if (!e.message.isEmpty())
            out << "  " << QString(e.message).replace(QLatin1Char('\n'), QLatin1Char(' ')) << '\n';
        if (!e.counts.isEmpty())
            out << "  " << QString(e.counts).replace(QLatin1Char('\n'), QStringLiteral("; ")) << '\n';
        if (!e.source.isEmpty())
            out << "  source SHA-256 " << e.source << '\n';
        if (e.sealed())
            out << "  hash " << e.hash << '\n';
    }
    // The last entry sealed, which is not always the highest number.
    out << "Journal head: " << journal.head() << '\n';
    return 0;
}

} // namespace tvq52
