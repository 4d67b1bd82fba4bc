#include "records/collect_round.h"

#include "core/own_words.h"

#include <QEventLoop>
#include <QIODevice>
#include <QJsonDocument>
#include <QProcess>
#include <algorithm>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace tvq52 {

struct CollectRound::Line {
    QString device;
    std::unique_ptr<QProcess> process;
    std::optional<CollectItem> current;
    bool taken = false; // the worker said it started on `current`
    QByteArray out, err;
    bool ended = false;
};

namespace {

// Complete lines taken off the front of `buffer`; a partial one stays.
QList<QByteArray> takeLines(QByteArray& buffer, bool all = false)
{
    QList<QByteArray> lines;
    qsizetype end;
    while ((end = buffer.indexOf('\n')) >= 0) {
        lines << buffer.left(end);
        buffer.remove(0, end + 1);
    }
    if (all && !buffer.isEmpty()) {
        lines << buffer;
        buffer.clear();
    }
    return lines;
}

CollectedUnit failedUnit(const CollectItem& item, const QString& device, CollectOutcome outcome)
{
    CollectedUnit u;
    u.index = item.index;
    u.requested = item.text;
    u.outcome = outcome;
    u.line = device;
    return u;
}

} // namespace

QList<CollectItem> readCollectList(QIODevice& list)
{
    QList<CollectItem> items;
    for (int lineNumber = 1; !list.atEnd(); ++lineNumber) {
        QString text = QString::fromUtf8(list.readLine()).trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        // A binary or garbled line is shown, not echoed: no serial number is
        // longer, and control characters would upset a terminal.
        if (text.size() > 24)
            text = text.left(23) + QChar(0x2026);
        for (QChar& c : text)
            if (!c.isPrint())
                c = QChar(0xFFFD);
        items << CollectItem{int(items.size()), lineNumber, text};
    }
    return items;
}

std::optional<qint32> listedSerial(const QString& text)
{
    bool ok = false;
    const qint32 serial = text.toInt(&ok);
    if (!ok || serial <= 0)
        return std::nullopt;
    return serial;
}

QByteArray collectItemLine(const CollectItem& item)
{
    return QStringLiteral("%1\t%2\t%3\n").arg(item.index).arg(item.lineNumber).arg(item.text).toUtf8();
}

std::optional<CollectItem> collectItemFromLine(const QByteArray& line)
{
    const QList<QByteArray> fields = line.trimmed().split('\t');
    if (fields.size() != 3)
        return std::nullopt;
    bool indexOk = false, lineOk = false;
    CollectItem item{fields[0].toInt(&indexOk), fields[1].toInt(&lineOk), QString::fromUtf8(fields[2])};
    if (!indexOk || !lineOk)
        return std::nullopt;
    return item;
}

CollectRound::CollectRound(QList<CollectItem> items, QStringList devices, LineWorkers workers, QObject* parent)
    : QObject(parent), items_(std::move(items)), devices_(std::move(devices)), how_(std::move(workers))
{}

CollectRound::~CollectRound()
{
    // A window closed mid-round: each worker still seals what it stored.
    for (const auto& w : lines_) {
        w->process->disconnect(this);
        if (!w->ended) {
            w->process->terminate();
            w->process->waitForFinished(30000);
        }
    }
}

void CollectRound::start()
{
    if (started_)
        return;
    started_ = true;
    launching_ = true;
    for (const QString& device : devices_) {
        auto w = std::make_unique<Line>();
        w->device = device;
        w->process = std::make_unique<QProcess>();
        Line* line = w.get();
        connect(w->process.get(), &QProcess::readyReadStandardOutput, this, [this, line] { read(*line); });
        connect(w->process.get(), &QProcess::readyReadStandardError, this, [this, line] {
            line->err += line->process->readAllStandardError();
            say(takeLines(line->err));
        });
        connect(w->process.get(), &QProcess::finished, this, [this, line] { ended(*line); });
        connect(w->process.get(), &QProcess::errorOccurred, this, [this, line](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                ended(*line);
        });
        // A parent killed outright still stops its lines the Stop way:
        // the worker is told as by SIGTERM, and one whose parent is
        // already gone ends before it takes a unit.
        const pid_t dealer = ::getpid();
        w->process->setChildProcessModifier([dealer] {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != dealer)
                ::_exit(1);
        });
        if (!how_.environment.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            for (auto [name, value] : how_.environment.asKeyValueRange())
                environment.insert(name, value);
            w->process->setProcessEnvironment(environment);
        }
        lines_.push_back(std::move(w));
    }
    for (const auto& w : lines_) {
        w->process->start(how_.program, how_.arguments(w->device));
        if (!w->ended)
            give(*w);
    }
    launching_ = false;
    if (running() == 0)
        finish();
}

LinesOutcome CollectRound::run()
{
    start();
    if (!done_) {
        QEventLoop loop;
        connect(this, &CollectRound::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return outcome_;
}

int CollectRound::running() const
{
    return int(std::count_if(lines_.begin(), lines_.end(), [](const auto& w) { return !w->ended; }));
}

void CollectRound::give(Line& w)
{
    // A worker that has ended is given nothing: its last answer may be read after it went.
    if (w.ended || outcome_.stopped || workerStopped_ || (returned_.isEmpty() && next_ >= items_.size())) {
        w.current.reset();
        w.process->closeWriteChannel();
        return;
    }
    w.current = returned_.isEmpty() ? items_[next_++] : returned_.takeFirst();
    w.taken = false;
    w.process->write(collectItemLine(*w.current));
}

void CollectRound::read(Line& w)
{
    w.out += w.process->readAllStandardOutput();
    for (const QByteArray& line : takeLines(w.out)) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (w.current && object.value(QStringLiteral("taken")).toInt(-1) == w.current->index) {
            w.taken = true;
            emit unitTaken(w.current->index, w.device);
            continue;
        }
        auto unit = collectedFromJson(object);
        if (!unit || !w.current || unit->index != w.current->index) {
            say({line}); // not an answer to what it holds: said rather than lost
            continue;
        }
        unit->line = w.device;
        workerStopped_ = workerStopped_ || unit->outcome == CollectOutcome::Stopped;
        outcome_.units << *unit;
        emit unitDone(*unit);
        give(w);
    }
}

void CollectRound::ended(Line& w)
{
    if (w.ended)
        return;
    w.ended = true;
    read(w);
    say(takeLines(w.err, true));
    if (w.process->error() == QProcess::FailedToStart)
        emit failed(
            ownWords(QStringLiteral("La línea %1 no ha podido empezar: %2"), {w.device, w.process->errorString()}));
    if (w.current && !w.taken && !outcome_.stopped) {
        // It went before it began the call: another line calls the unit.
        returned_ << *w.current;
    } else if (w.current && outcome_.stopped) {
        outcome_.units << failedUnit(*w.current, w.device, CollectOutcome::Stopped);
        emit unitDone(outcome_.units.last());
    } else if (w.current) {
        const QString why = w.process->error() == QProcess::FailedToStart ? w.process->errorString()
            : w.process->exitStatus() == QProcess::CrashExit              ? QStringLiteral("signal")
                                                                          : QString::number(w.process->exitCode());
        emit failed(ownWords(QStringLiteral("La línea %1 se ha detenido (%2): la unidad %3 no se ha recogido"),
                             {w.device, why, w.current->text}));
        outcome_.units << failedUnit(*w.current, w.device, CollectOutcome::LineFailed);
        emit unitDone(outcome_.units.last());
    }
    w.current.reset();
    if (!launching_ && running() == 0)
        finish();
}

void CollectRound::say(QList<QByteArray> lines)
{
    for (const QByteArray& line : lines)
        emit workerSaid(QString::fromUtf8(line));
}

void CollectRound::finish()
{
    if (done_)
        return;
    done_ = true;
    // Units no line was left to call are failures too, unless the round was stopped.
    if (!outcome_.stopped) {
        for (const CollectItem& item : std::as_const(returned_))
            outcome_.units << failedUnit(item, QString(), CollectOutcome::NotCalled);
        for (; next_ < items_.size(); ++next_)
            outcome_.units << failedUnit(items_[next_], QString(), CollectOutcome::NotCalled);
    }
    std::sort(outcome_.units.begin(), outcome_.units.end(),
              [](const CollectedUnit& a, const CollectedUnit& b) { return a.index < b.index; });
    emit finished();
}

void CollectRound::stop()
{
    if (!isRunning() || outcome_.stopped)
        return;
    outcome_.stopped = true;
    for (const auto& w : lines_)
        if (!w->ended) {
            // The same as Ctrl-C on a terminal: the worker stops its download.
            w->process->terminate();
            w->process->closeWriteChannel();
        }
}

} // namespace tvq52
