#include "cli/collect_lines.h"

#include "cli/cli_session.h"
#include "cli/interrupt_watch.h"
#include "core/own_words.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QProcess>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace tvq52 {

namespace {

struct LineWorker {
    QString device;
    std::unique_ptr<QProcess> process;
    std::optional<CollectItem> current;
    bool taken = false; // the worker said it started on `current`
    QByteArray out, err;
    bool ended = false;
};

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

void passOn(const QList<QByteArray>& lines)
{
    for (const QByteArray& line : lines) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fputc('\n', stderr);
    }
    std::fflush(stderr);
}

class Dealer {
public:
    Dealer(const QList<CollectItem>& items, const Translator& guru) : items_(items), guru_(guru) {}

    LinesOutcome run(const QStringList& devices, const LineWorkers& how)
    {
        const InterruptWatch watch([this] { stopAll(); });
        for (const QString& device : devices) {
            auto w = std::make_unique<LineWorker>();
            w->device = device;
            w->process = std::make_unique<QProcess>();
            LineWorker* worker = w.get();
            QObject::connect(w->process.get(), &QProcess::readyReadStandardOutput, [this, worker] { read(*worker); });
            QObject::connect(w->process.get(), &QProcess::readyReadStandardError, [worker] {
                worker->err += worker->process->readAllStandardError();
                passOn(takeLines(worker->err));
            });
            QObject::connect(w->process.get(), &QProcess::finished, [this, worker] { ended(*worker); });
            QObject::connect(w->process.get(), &QProcess::errorOccurred, [this, worker](QProcess::ProcessError e) {
                if (e == QProcess::FailedToStart)
                    ended(*worker);
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
            workers_.push_back(std::move(w));
        }
        for (const auto& w : workers_) {
            w->process->start(how.program, how.arguments(w->device));
            if (!w->ended)
                give(*w);
        }
        if (running() > 0)
            loop_.exec();
        // Units no line was left to call are failures too, unless the run was stopped.
        if (!interrupted_) {
            for (const CollectItem& item : returned_)
                done_ << failed(item, QString(), QStringLiteral("not called"));
            for (; next_ < items_.size(); ++next_)
                done_ << failed(items_[next_], QString(), QStringLiteral("not called"));
        }
        std::sort(done_.begin(), done_.end(),
                  [](const CollectedUnit& a, const CollectedUnit& b) { return a.index < b.index; });
        return {done_, interrupted_};
    }

private:
    int running() const
    {
        return int(std::count_if(workers_.begin(), workers_.end(), [](const auto& w) { return !w->ended; }));
    }

    static CollectedUnit failed(const CollectItem& item, const QString& device, const QString& outcome)
    {
        CollectedUnit u;
        u.index = item.index;
        u.requested = item.text;
        u.outcome = outcome;
        u.line = device;
        return u;
    }

    void give(LineWorker& w)
    {
        // A worker that has ended is given nothing: its last answer may be read after it went.
        if (w.ended || interrupted_ || (returned_.isEmpty() && next_ >= items_.size())) {
            w.current.reset();
            w.process->closeWriteChannel();
            return;
        }
        w.current = returned_.isEmpty() ? items_[next_++] : returned_.takeFirst();
        w.taken = false;
        w.process->write(collectItemLine(*w.current));
    }

    void read(LineWorker& w)
    {
        w.out += w.process->readAllStandardOutput();
        for (const QByteArray& line : takeLines(w.out)) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (w.current && object.value(QStringLiteral("taken")).toInt(-1) == w.current->index) {
                w.taken = true;
                continue;
            }
            auto unit = collectedFromJson(object);
            if (!unit || !w.current || unit->index != w.current->index) {
                passOn({line}); // not an answer to what it holds: say it rather than lose it
                continue;
            }
            unit->line = w.device;
            done_ << *unit;
            give(w);
        }
    }

    void ended(LineWorker& w)
    {
        if (w.ended)
            return;
        w.ended = true;
        read(w);
        passOn(takeLines(w.err, true));
        if (w.current && !w.taken && !interrupted_) {
            // It went before it began the call: another line calls the unit.
            returned_ << *w.current;
            w.current.reset();
        } else if (w.current && interrupted_) {
            done_ << failed(*w.current, w.device, QStringLiteral("stopped"));
            w.current.reset();
        } else if (w.current) {
            const QString why = w.process->error() == QProcess::FailedToStart ? w.process->errorString()
                : w.process->exitStatus() == QProcess::CrashExit              ? QStringLiteral("signal")
                                                                              : QString::number(w.process->exitCode());
            printError(guru_,
                       ownWords(QStringLiteral("La línea %1 se ha detenido (%2): la unidad %3 no se ha recogido"),
                                {w.device, why, w.current->text}));
            done_ << failed(*w.current, w.device, QStringLiteral("line failed"));
            w.current.reset();
        }
        if (running() == 0)
            loop_.quit();
    }

    void stopAll()
    {
        interrupted_ = true;
        for (const auto& w : workers_)
            if (!w->ended) {
                // The same as Ctrl-C on a terminal: the worker stops its download.
                w->process->terminate();
                w->process->closeWriteChannel();
            }
    }

    const QList<CollectItem>& items_;
    const Translator& guru_;
    std::vector<std::unique_ptr<LineWorker>> workers_;
    QList<CollectedUnit> done_;
    QList<CollectItem> returned_; // units of lines that ended before they began them
    qsizetype next_ = 0;
    bool interrupted_ = false;
    QEventLoop loop_;
};

} // namespace

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

LinesOutcome collectOnLines(const QList<CollectItem>& items, const QStringList& devices, const LineWorkers& workers,
                            const Translator& guru)
{
    Dealer dealer(items, guru);
    return dealer.run(devices, workers);
}

} // namespace tvq52
