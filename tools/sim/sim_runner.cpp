#include "sim_runner.h"

#include <QTextStream>
#include <cstdio>

namespace tvq52::sim {

SimRunner::SimRunner(SimOptions options) : options_(std::move(options))
{
    if (!options_.ackLog.isEmpty()) {
        ackLog_ = std::make_unique<QFile>(options_.ackLog);
        if (!ackLog_->open(QIODevice::Append | QIODevice::Unbuffered))
            std::fprintf(stderr, "tvq52-sim: cannot write %s\n", options_.ackLog.toLocal8Bit().constData());
    }
    addUnit({}, options_, std::nullopt);
    if (options_.modem.enabled) {
        for (const DialUnit& d : options_.dialUnits) {
            SimOptions o = options_;
            o.serialText = d.serialText;
            o.firmwareMajor = d.firmwareMajor;
            o.firmwareMinor = d.firmwareMinor;
            o.days = d.days.value_or(options_.days);
            o.seed = d.seed.value_or(options_.seed + d.serialText.toUInt());
            addUnit(d.number, o, d.events);
        }
    }
    for (int k = 0; k < std::max(1, options_.lines); ++k)
        addLine();
    if (!options_.modem.enabled) {
        lines_.front()->active = units_.front().get();
        units_.front()->holder = lines_.front().get();
    }
}

QStringList SimRunner::devicePaths() const
{
    QStringList paths;
    for (const auto& line : lines_)
        paths << line->port.slavePath();
    return paths;
}

void SimRunner::addUnit(const QByteArray& number, const SimOptions& o, const std::optional<EventDates>& events)
{
    HistoryPlan plan;
    plan.seed = o.seed;
    plan.days = o.days;
    plan.leqMinutes = o.leqMinutes;
    plan.end = o.historyEnd;
    RecordedHistory history = generateHistory(plan);
    if (o.clock.isValid())
        history = heldAt(history, o.clock);
    if (events)
        history = withEvents(history, *events);
    auto unit = std::make_unique<Unit>();
    Unit* u = unit.get();
    u->number = number;
    u->serialText = o.serialText;
    u->sim = std::make_unique<UnitSimulator>(o, std::move(history), [this, u](const QByteArray& bytes) {
        if (!u->holder)
            return;
        if (u->holder->modem)
            u->holder->modem->fromUnit(bytes);
        else
            toPc(*u->holder, bytes);
    });
    u->sim->onAcknowledged([this](const QByteArray& line) { logAcknowledged(line); });
    u->sim->onAnswer([this, u](std::uint8_t byte) {
        if (timing_ && u->holder)
            timing_->answered(u->holder->port.lastReadUs(), byte, u->holder->port.sending());
    });
    units_.push_back(std::move(unit));
}

void SimRunner::addLine()
{
    lines_.push_back(std::make_unique<Line>(options_.pace));
    Line& line = *lines_.back();
    if (options_.modem.enabled)
        wireModem(line);
    connect(&line.port, &PtyPort::received, this, [this, &line](const QByteArray& bytes) {
        log("pc", bytes);
        if (line.modem)
            line.modem->fromPc(bytes);
        else if (line.active)
            line.active->sim->receive(bytes);
    });
    connect(&line.port, &PtyPort::peerClosed, this, [this, &line] {
        if (options_.verbose)
            std::fprintf(stderr, "tvq52-sim: port closed%s\n", line.modem ? ", call dropped" : "");
        if (line.modem)
            line.modem->hangUp();
        if (line.active && line.active->holder == &line)
            line.active->sim->lineDropped();
    });
    connect(&line.port, &PtyPort::peerOpened, this, [this] {
        if (options_.verbose)
            std::fprintf(stderr, "tvq52-sim: port opened\n");
    });
}

void SimRunner::wireModem(Line& line)
{
    line.modem = std::make_unique<ModemFront>(
        options_.modem, [this, &line](const QByteArray& bytes) { toPc(line, bytes); },
        [&line](const QByteArray& bytes) {
            if (line.active && line.active->holder == &line)
                line.active->sim->receive(bytes);
        });
    line.modem->acceptCall([this, &line](const QByteArray& number) {
        const Unit& unit = unitFor(number);
        const Line* holder = unit.holder;
        return !holder || holder == &line || holder->active != &unit || !holder->modem->inCall();
    });
    line.modem->onConnect([this, &line](const QByteArray& number) { connectCall(line, number); });
}

SimRunner::Unit& SimRunner::unitFor(const QByteArray& number)
{
    for (const auto& unit : units_)
        if (!unit->number.isEmpty() && unit->number == number)
            return *unit;
    return *units_.front();
}

void SimRunner::connectCall(Line& line, const QByteArray& number)
{
    if (line.active && line.active->holder == &line) {
        line.active->sim->lineDropped();
        line.active->holder = nullptr;
    }
    Unit& unit = unitFor(number);
    // Its call on another line is over (the busy check let this one through).
    if (unit.holder && unit.holder != &line)
        unit.sim->lineDropped();
    applyAfterCalls(unit);
    ++unit.calls;
    unit.holder = &line;
    line.active = &unit;
    if (options_.verbose)
        std::fprintf(stderr, "tvq52-sim: call to %s\n", number.constData());
}

void SimRunner::applyAfterCalls(Unit& unit)
{
    for (const AfterCall& change : options_.afterCalls) {
        if (change.serialText != unit.serialText || change.afterCall != unit.calls)
            continue;
        QDateTime now = QDateTime::currentDateTime();
        now.setTime(QTime(now.time().hour(), now.time().minute()));
        unit.sim->setHistory(withEvent(unit.sim->history(), change.event, now));
        if (options_.verbose)
            std::fprintf(stderr, "tvq52-sim: unit %s changed after call %d\n", unit.serialText.constData(),
                         unit.calls);
    }
}

void SimRunner::logAcknowledged(const QByteArray& line)
{
    if (ackLog_ && ackLog_->isOpen())
        ackLog_->write(line + '\n');
}

void SimRunner::toPc(Line& line, const QByteArray& bytes)
{
    log("unit", bytes);
    if (!timing_) {
        line.port.send(bytes);
        return;
    }
    line.port.send(bytes, [this, bytes](qint64 us) { timing_->written(us, bytes); });
}

bool SimRunner::start(QString* error)
{
    if (!options_.timingLog.isEmpty()) {
        timing_ = std::make_unique<TimingLog>();
        if (!timing_->open(options_.timingLog, error))
            return false;
    }
    for (const auto& line : lines_)
        if (!line->port.open(error))
            return false;
    return true;
}

void SimRunner::log(const char* who, const QByteArray& bytes) const
{
    if (!options_.verbose)
        return;
    std::fprintf(stderr, "%-4s> %s\n", who, bytes.toHex(' ').toUpper().constData());
}

} // namespace tvq52::sim
