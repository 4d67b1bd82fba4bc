#include "records/download_workflow.h"

#include "core/catalogue_ids.h"
#include "core/own_words.h"
#include "core/recording_prompter.h"
#include "db/database.h"
#include "db/database_failure.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "link/clock.h"
#include "link/device_link.h"
#include "link/exchange.h"
#include "link/exchange_session.h"
#include "link/frame.h"
#include "link/line.h"
#include "link/link_timer.h"
#include "records/download_frames.h"
#include "records/record_store.h"
#include "records/records_view.h"

#include <cmath>

namespace tvq52 {

namespace {

// View updates are throttled: a window repaint per record would cost more
// than the record itself.
constexpr qint64 kProgressEveryNs = 200'000'000;

QString outcomeName(DownloadOutcome outcome)
{
    return journalOutcomeName(journalOutcome(outcome));
}

void count(KindCounts& counts, const Result<Stored>& stored)
{
    if (*stored == Stored::Added)
        ++counts.added;
    else
        ++counts.rewritten;
}

} // namespace

JournalOutcome journalOutcome(DownloadOutcome outcome)
{
    switch (outcome) {
    case DownloadOutcome::Completed:
        return JournalOutcome::Completed;
    case DownloadOutcome::Stopped:
        return JournalOutcome::Stopped;
    case DownloadOutcome::Cancelled:
        return JournalOutcome::Cancelled;
    case DownloadOutcome::NotStarted:
    case DownloadOutcome::Failed:
        break;
    }
    return JournalOutcome::Failed;
}

std::optional<qint64> listMsLeft(const QDateTime& listStart, const QDateTime& firstStamp, const QDateTime& lastStamp,
                                 qint64 elapsedMs)
{
    const qint64 covered = lastStamp.secsTo(firstStamp);
    if (!listStart.isValid() || covered <= 0 || elapsedMs <= 0)
        return std::nullopt;
    const qint64 remaining = std::max<qint64>(0, listStart.secsTo(lastStamp));
    return qint64(std::llround(double(elapsedMs) * double(remaining) / double(covered)));
}

QString downloadCountsText(const DownloadCounts& counts)
{
    QStringList lines;
    for (int k = 0; k < kRecordKinds; ++k)
        lines << QStringLiteral("%1 %2 %3 %4")
                     .arg(recordKindWord(RecordKind(k)))
                     .arg(counts[k].added)
                     .arg(counts[k].rewritten)
                     .arg(counts[k].refused);
    return lines.join(QLatin1Char('\n'));
}

QString totalsText(const TotalsReading& t)
{
    return QStringLiteral("passes-venue %1\nsensor-inactive %2\nerasures %3\npasses-neighbour %4\nread-at %5")
        .arg(t.passesVenue)
        .arg(t.sensorInactive)
        .arg(t.erasures)
        .arg(t.passesNeighbour)
        .arg(t.readAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

struct DownloadWorkflow::Run {
    Run(Prompter& inner, Database& database) : prompter(inner), store(database), journal(database), rows(database) {}

    RecordingPrompter prompter;
    RecordStore store;
    Journal journal;
    Store rows;
    DownloadReport report;
    DownloadRange range;
    DownloadRange sessions; // the session list's own start, the same end
    IntervalLayout layout = IntervalLayout::From30;
    int frames = 0;
    int listRecords = 0;
    qint64 listsStartedNs = -1;
    qint64 lastProgressNs = -1;
    // The key stamps of the current list's first and latest records.
    std::optional<QDateTime> firstStamp;
    QDateTime lastStamp;
    qint64 firstStampNs = -1;
};

DownloadWorkflow::DownloadWorkflow(ExchangeSession& session, Prompter& prompter, const Translator& translator,
                                   Database& database, RecordsView& view)
    : session_(session), prompter_(prompter), translator_(translator), database_(database), view_(view)
{}

void DownloadWorkflow::stop()
{
    session_.requestStop();
}

DownloadReport DownloadWorkflow::run()
{
    Run run(prompter_, database_);
    const qint32 shown = view_.shownSerial();
    if (shown == 0) {
        showCatalogue(run.prompter, translator_, msg::NoUnitStored, MessageStyle::Information);
        return run.report;
    }
    // After the server went away, the next download opens a new connection;
    // while it is still away nothing is asked of the unit.
    if (const Status connected = database_.ensureConnected(); !connected) {
        failStoring(run, databaseError(DatabaseFailure::Kind::ConnectionLost, untranslatedText(connected.error())));
        return run.report;
    }
    // A role revoked since the records were opened is seen before the line is.
    if (const Status allowed = checkRight(database_, Operation::Download); !allowed) {
        failStoring(run, allowed.error());
        return run.report;
    }
    session_.link().clearStop();
    const Result<DownloadRange> proposed = proposedRange(run.store, shown, session_.clock().now());
    if (!proposed) {
        failStoring(run, proposed.error());
        return run.report;
    }
    const std::optional<DownloadRange> chosen = view_.chooseRange(*proposed);
    if (!chosen)
        return run.report;
    run.range = *chosen;

    QString phone;
    if (phoneOverride_) {
        phone = *phoneOverride_;
    } else if (const auto unit = run.rows.selectOne(QStringLiteral("Programacion"),
                                                    [&] {
                                                        Row key;
                                                        key.set(QStringLiteral("LNumeroSerie"), shown);
                                                        return key;
                                                    }());
               unit && *unit) {
        phone = (*unit)->value(QStringLiteral("TTelefono")).toString();
    }

    view_.ToggleButtons();
    run.report.outcome = DownloadOutcome::Failed;
    const ExchangeResult line = runExchange(
        session_.link(), catalogueAsker(run.prompter, translator_), phone, [&] { exchange(run); },
        [this] { view_.downloadStarted(); });
    if (line.outcome == ExchangeOutcome::Cancelled)
        run.report.outcome = DownloadOutcome::Cancelled;
    if (const Error* error = line.errorToShow())
        showError(run.prompter, translator_, *error);
    if (line.error)
        run.report.error = line.error;
    session_.link().clearStop();
    sealJournal(run, line.started());
    if (line.started())
        view_.downloadFinished();
    view_.ToggleButtons();
    return run.report;
}

Error DownloadWorkflow::fail(Run& run, const Error& error)
{
    showError(run.prompter, translator_, error);
    run.report.outcome = error.catalogueId == 0 ? DownloadOutcome::Stopped : DownloadOutcome::Failed;
    run.report.error = error;
    return error;
}

Error DownloadWorkflow::refuse(Run& run, const QString& text, const Error& error)
{
    run.prompter.message(Message{text, {}, MessageStyle::Critical, error.catalogueId, {}});
    run.report.error = error;
    return error;
}

Error DownloadWorkflow::failStoring(Run& run, const Error& error)
{
    const QString text = errorText(
        translator_, toldFailure(databaseFailureOf(error), FailureWording::Download,
                           {database_.target(), {}, run.report.serial}));
    run.prompter.message(Message{text, {}, MessageStyle::Critical, 0, {}});
    run.report.outcome = DownloadOutcome::Failed;
    run.report.error = Error{0, text};
    return *run.report.error;
}

Result<Row> DownloadWorkflow::identify(Run& run)
{
    DeviceLink& link = session_.link();
    // Ends any transfer the unit may still be running.
    link.line().write(QByteArray(1, char(kCan)));
    const Result<UnitIdentity> identified = identifyConnectedUnit(link, session_.timer());
    if (!identified)
        return fail(run, identified.error());
    const qint32 serial = identified->serial;
    run.report.serial = serial;
    // The records come in the layout the unit speaks now, whatever version
    // its stored record holds.
    run.report.firmware = identified->firmware;

    Row key;
    key.set(QStringLiteral("LNumeroSerie"), serial);
    // A row that cannot be read names no known unit either.
    const Result<std::optional<Row>> found = run.rows.selectOne(QStringLiteral("Programacion"), key);
    if (!found || !*found)
        return refuse(run, translator_.text(msg::UnknownSerial) + QString::number(serial),
                      Error{msg::UnknownSerial, QString::number(serial)});
    if (const qint32 expected = view_.expectedSerial(); expected != 0 && serial != expected) {
        const QString text =
            translator_
                .translate(QStringLiteral(
                    "Ha contestado el TVQ-52 número %1 en lugar del %2: no se descarga. Compruebe el teléfono "
                    "guardado del %2."))
                .arg(serial)
                .arg(expected);
        return refuse(run, text, Error{0, text});
    }
    return **found;
}

Status DownloadWorkflow::openEntry(Run& run)
{
    // No record is stored outside its entry: without one nothing starts.
    const auto entry = run.journal.open(JournalAction::Download, run.report.serial, lineName());
    if (!entry) {
        session_.link().line().write(QByteArray(1, char(kCan)));
        const QString text =
            translator_
                .translate(QStringLiteral(
                    "No se puede abrir la entrada de la descarga en el diario de intercambios (%1): la descarga no "
                    "empieza y la unidad conserva sus registros. Vuelva a intentarlo cuando la base de datos quede "
                    "libre."))
                .arg(untranslatedText(entry.error()).trimmed().section(QLatin1Char('\n'), 0, 0));
        return refuse(run, text, Error{0, text});
    }
    run.report.journalEntry = *entry;
    run.store.setJournalEntry(&run.journal, *entry);
    return {};
}

void DownloadWorkflow::exchange(Run& run)
{
    DeviceLink& link = session_.link();
    const Result<Row> unit = identify(run);
    if (!unit)
        return;
    const qint32 serial = run.report.serial;
    const QString firmware = run.report.firmware;
    if (serial != view_.shownSerial()) {
        view_.showUnit(serial);
        const Result<DownloadRange> proposed = proposedRange(run.store, serial, session_.clock().now());
        if (!proposed) {
            failStoring(run, proposed.error());
            return;
        }
        run.range = view_.rangeForConnectedUnit(run.range, *proposed);
    }
    if (!openEntry(run))
        return;

    if (unit->value(QStringLiteral("TVersion")).toString() != firmware) {
        if (Status stored = run.store.storeFirmware(serial, firmware); !stored) {
            failStoring(run, stored.error());
            return;
        }
        view_.showFirmware(firmware);
    }
    run.layout = intervalLayoutFor(firmware);

    if (!receiveTotals(run) || !receiveEventDates(run))
        return;
    link.SendFrame(intervalsRequest(run.range));
    if (receiveList(run, RecordKind::Intervals) != ListEnd::Ended)
        return;
    run.sessions = sessionRange(run.store, serial, run.range);
    link.SendFrame(sessionsRequest(run.sessions));
    if (receiveList(run, RecordKind::Sessions) != ListEnd::Ended)
        return;
    showCatalogue(run.prompter, translator_, msg::TransferDone, MessageStyle::Information);
    run.report.outcome = DownloadOutcome::Completed;
}

Status DownloadWorkflow::receiveTotals(Run& run)
{
    DeviceLink& link = session_.link();
    link.SendFrame(totalsRequest());
    if (Status received = link.ReceiveFrame(session_.timer()); !received)
        return fail(run, received.error());
    ++run.frames;
    const auto totals = decodeTotals(link.frame().data(), int(link.frame().size()), session_.clock().now());
    if (!totals)
        return fail(run, Error{msg::TransmissionError});
    ++run.report.counts[int(RecordKind::Totals)].received;
    if (Status stored = run.store.storeTotals(run.report.serial, *totals); !stored)
        return failStoring(run, stored.error());
    ++run.report.counts[int(RecordKind::Totals)].rewritten;
    run.report.totals = totals;
    view_.showTotals(*totals);
    progress(run, RecordKind::Totals, true);
    return {};
}

Status DownloadWorkflow::receiveEventDates(Run& run)
{
    DeviceLink& link = session_.link();
    link.SendFrame(eventDatesRequest());
    if (Status received = link.ReceiveFrame(session_.timer()); !received)
        return fail(run, received.error());
    ++run.frames;
    for (const EventDate& event : decodeEventDates(link.frame().data(), int(link.frame().size()))) {
        KindCounts& counts = run.report.counts[int(recordKindOf(event.kind))];
        ++counts.received;
        const Result<Stored> stored = run.store.storeEvent(run.report.serial, event);
        if (!stored)
            return failStoring(run, stored.error());
        count(counts, stored);
    }
    progress(run, RecordKind::Reprogrammings, true);
    return {};
}

DownloadWorkflow::ListEnd DownloadWorkflow::receiveList(Run& run, RecordKind kind)
{
    DeviceLink& link = session_.link();
    if (run.listsStartedNs < 0)
        run.listsStartedNs = session_.clock().elapsedNs();
    run.firstStamp.reset();
    run.firstStampNs = -1;
    ListEnd end = ListEnd::Ended;
    for (;;) {
        if (link.stopRequested()) {
            link.line().write(QByteArray(1, char(kCan)));
            end = ListEnd::Stopped;
            break;
        }
        if (Status received = link.ReceiveFrame(session_.timer()); !received) {
            // The unit is told to stop sending, whatever ended the wait.
            link.line().write(QByteArray(1, char(kCan)));
            fail(run, received.error());
            end = received.error().catalogueId == 0 ? ListEnd::Stopped : ListEnd::Failed;
            break;
        }
        ++run.frames;
        const Result<ListGoes> taken = takeRecordFrame(run, kind);
        if (!taken) {
            end = ListEnd::Failed;
            break;
        }
        if (*taken == ListGoes::Over)
            break;
        progress(run, kind, false);
    }
    if (end == ListEnd::Stopped)
        run.report.outcome = DownloadOutcome::Stopped;
    progress(run, kind, true);
    return end;
}

Result<DownloadWorkflow::ListGoes> DownloadWorkflow::takeRecordFrame(Run& run, RecordKind kind)
{
    DeviceLink& link = session_.link();
    const std::uint8_t* frame = link.frame().data();
    const int length = int(link.frame().size());
    const QDateTime rangeStart = kind == RecordKind::Sessions ? run.sessions.start() : run.range.start();
    KindCounts& counts = run.report.counts[int(kind)];

    RecordFrame what;
    QString refusal;
    std::optional<Result<Stored>> stored;
    if (kind == RecordKind::Intervals) {
        DecodedRecord<IntervalRecord> r = decodeInterval(frame, length, run.layout, rangeStart);
        what = r.kind;
        if (what == RecordFrame::Record) {
            noteStamp(run, r.record.end);
            stored = run.store.storeInterval(run.report.serial, r.record);
        }
    } else {
        DecodedRecord<SessionRecord> r = decodeSession(frame, length, rangeStart);
        what = r.kind;
        if (what == RecordFrame::Record) {
            noteStamp(run, r.record.start);
            stored = run.store.storeSession(run.report.serial, r.record);
        }
    }

    switch (what) {
    case RecordFrame::EndOfList:
        return ListGoes::Over;
    case RecordFrame::OlderThanRange:
        link.line().write(QByteArray(1, char(kCan)));
        return ListGoes::Over;
    case RecordFrame::Refused:
        ++counts.received;
        ++counts.refused;
        ++run.listRecords;
        link.line().write(QByteArray(1, char(kAck)));
        return ListGoes::On;
    case RecordFrame::Record:
        break;
    }
    ++counts.received;
    ++run.listRecords;
    if (!*stored) {
        // What was committed stays; the unit keeps the rest for next time.
        link.line().write(QByteArray(1, char(kCan)));
        return failStoring(run, stored->error());
    }
    count(counts, *stored);
    // Acknowledged only once the row is committed.
    link.line().write(QByteArray(1, char(kAck)));
    return ListGoes::On;
}

void DownloadWorkflow::progress(Run& run, RecordKind kind, bool force)
{
    const qint64 nowNs = session_.clock().elapsedNs();
    if (!force && run.lastProgressNs >= 0 && nowNs - run.lastProgressNs < kProgressEveryNs)
        return;
    run.lastProgressNs = nowNs;

    DownloadProgress p;
    p.current = kind;
    p.counts = run.report.counts;
    p.frames = run.frames;
    const double seconds = run.listsStartedNs < 0 ? 0 : double(nowNs - run.listsStartedNs) / 1e9;
    if (seconds > 0 && run.listRecords > 0)
        p.recordsPerSecond = run.listRecords / seconds;
    if ((kind == RecordKind::Intervals || kind == RecordKind::Sessions) && run.firstStamp)
        p.msLeft = listMsLeft(kind == RecordKind::Sessions ? run.sessions.start() : run.range.start(), *run.firstStamp,
                              run.lastStamp, (nowNs - run.firstStampNs) / 1'000'000);
    view_.downloadProgress(p);
}

void DownloadWorkflow::noteStamp(Run& run, const QDateTime& stamp)
{
    if (!run.firstStamp) {
        run.firstStamp = stamp;
        run.firstStampNs = session_.clock().elapsedNs();
    }
    run.lastStamp = stamp;
}

QString DownloadWorkflow::lineName() const
{
    return session_.settings().modem() ? QStringLiteral("modem") : QStringLiteral("cable");
}

void DownloadWorkflow::sealJournal(Run& run, bool lineAttempted)
{
    // The entry keeps the message the user was shown; a stop shows none, yet
    // an office reading the journal wants to know what became of the download.
    QString message = run.prompter.lastMessage();
    // It is told again in the reader's language only when the catalogue
    // text is all that the user was shown.
    auto [number, arguments] =
        run.prompter.lastSource([this](int id, const QStringList& args) { return translator_.text(id, args); });
    if (message.isEmpty() && run.report.outcome == DownloadOutcome::Stopped) {
        const QString stopped = QStringLiteral("Descarga parada: lo recibido hasta ahora está guardado.");
        message = translator_.translate(stopped);
        arguments = {stopped};
    }
    if (run.report.journalEntry == 0) {
        // An attempt that never reached a known unit (no line, no answer, a
        // unit not in the database) is kept too: an office wants to see it.
        if (lineAttempted) {
            const qint32 serial = run.report.serial != 0 ? run.report.serial : view_.shownSerial();
            // What the attempt did is told already; an unwritten entry does not change it.
            (void)run.journal.append(JournalAction::Download, serial, lineName(), outcomeName(run.report.outcome),
                                     message, number, arguments);
            keepHead(run);
        }
        return;
    }
    run.store.setJournalEntry(nullptr, 0);
    run.journal.setMessageSource(run.report.journalEntry, number, arguments);
    const auto seal = [&] {
        return run.journal.seal(run.report.journalEntry, outcomeName(run.report.outcome), message,
                                downloadCountsText(run.report.counts),
                                run.report.totals ? totalsText(*run.report.totals) : QString());
    };
    // On a full disk the write-ahead log holds the room the seal needs.
    if (const Status sealed = seal();
        !sealed && run.journal.failureOf(sealed.error()).kind == DatabaseFailure::Kind::DiskFull && database_.foldLog())
        (void)seal();
    keepHead(run);
}

void DownloadWorkflow::keepHead(Run& run)
{
    // A head that cannot be read is told, never shown as an empty chain.
    Result<QByteArray> head = run.journal.head();
    if (head) {
        run.report.journalHead = std::move(head).value();
        return;
    }
    // A download that failed has told its failure already, which this most likely is too.
    if (run.report.error)
        return;
    showError(run.prompter, translator_, head.error());
    run.report.error = head.error();
}

} // namespace tvq52
