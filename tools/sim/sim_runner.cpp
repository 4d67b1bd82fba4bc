#include "sim_runner.h"

#include <QTextStream>
#include <cstdio>

namespace tvq52::sim {

SimRunner::SimRunner(SimOptions options) : options_(std::move(options)), port_(options_.pace)
{
    auto toPc = [this](const QByteArray& bytes) { this->toPc(bytes); };
    if (!options_.ackLog.isEmpty()) {
        ackLog_ = std::make_unique<QFile>(options_.ackLog);
        if (!ackLog_->open(QIODevice::Append | QIODevice::Unbuffered))
            std::fprintf(stderr, "tvq52-sim: cannot write %s\n", options_.ackLog.toLocal8Bit().constData());
    }
    unit_ = makeUnit(options_);
    active_ = unit_.get();
    if (options_.modem.enabled) {
        modem_ =
            std::make_unique<ModemFront>(options_.modem, toPc, [this](const QByteArray& b) { active_->receive(b); });
        for (const DialUnit& d : options_.dialUnits) {
            SimOptions o = options_;
            o.serialText = d.serialText;
            o.firmwareMajor = d.firmwareMajor;
            o.firmwareMinor = d.firmwareMinor;
            o.seed = options_.seed + d.serialText.toUInt();
            dialUnits_.append({d.number, std::shared_ptr<UnitSimulator>(makeUnit(o))});
        }
        modem_->onConnect([this](const QByteArray& number) {
            active_->lineDropped();
            active_ = unit_.get();
            for (const auto& [dialled, unit] : dialUnits_)
                if (dialled == number)
                    active_ = unit.get();
            if (options_.verbose)
                std::fprintf(stderr, "tvq52-sim: call to %s\n", number.constData());
        });
    }

    connect(&port_, &PtyPort::received, this, [this](const QByteArray& bytes) {
        log("pc", bytes);
        if (modem_)
            modem_->fromPc(bytes);
        else
            active_->receive(bytes);
    });
    connect(&port_, &PtyPort::peerClosed, this, [this] {
        if (options_.verbose)
            std::fprintf(stderr, "tvq52-sim: port closed%s\n", modem_ ? ", call dropped" : "");
        if (modem_)
            modem_->hangUp();
        active_->lineDropped();
    });
    connect(&port_, &PtyPort::peerOpened, this, [this] {
        if (options_.verbose)
            std::fprintf(stderr, "tvq52-sim: port opened\n");
    });
}

std::unique_ptr<UnitSimulator> SimRunner::makeUnit(const SimOptions& o)
{
    HistoryPlan plan;
    plan.seed = o.seed;
    plan.days = o.days;
    plan.leqMinutes = o.leqMinutes;
    plan.end = o.historyEnd;
    RecordedHistory history = generateHistory(plan);
    if (o.clock.isValid())
        history = heldAt(history, o.clock);
    auto unit = std::make_unique<UnitSimulator>(o, std::move(history), [this](const QByteArray& bytes) {
        if (modem_)
            modem_->fromUnit(bytes);
        else
            toPc(bytes);
    });
    unit->onAcknowledged([this](const QByteArray& line) { logAcknowledged(line); });
    unit->onAnswer([this](std::uint8_t byte) {
        if (timing_)
            timing_->answered(port_.lastReadUs(), byte, port_.sending());
    });
    return unit;
}

void SimRunner::logAcknowledged(const QByteArray& line)
{
    if (ackLog_ && ackLog_->isOpen())
        ackLog_->write(line + '\n');
}

void SimRunner::toPc(const QByteArray& bytes)
{
    log("unit", bytes);
    if (!timing_) {
        port_.send(bytes);
        return;
    }
    port_.send(bytes, [this, bytes](qint64 us) { timing_->written(us, bytes); });
}

bool SimRunner::start(QString* error)
{
    if (!options_.timingLog.isEmpty()) {
        timing_ = std::make_unique<TimingLog>();
        if (!timing_->open(options_.timingLog, error))
            return false;
    }
    return port_.open(error);
}

void SimRunner::log(const char* who, const QByteArray& bytes) const
{
    if (!options_.verbose)
        return;
    std::fprintf(stderr, "%-4s> %s\n", who, bytes.toHex(' ').toUpper().constData());
}

} // namespace tvq52::sim
