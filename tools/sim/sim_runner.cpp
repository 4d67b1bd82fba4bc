#include "sim_runner.h"

#include <QTextStream>
#include <cstdio>

namespace tvq52::sim {

SimRunner::SimRunner(SimOptions options) : options_(std::move(options)), port_(options_.pace)
{
    HistoryPlan plan;
    plan.seed = options_.seed;
    plan.days = options_.days;
    plan.leqMinutes = options_.leqMinutes;
    plan.end = options_.historyEnd;

    auto toPc = [this](const QByteArray& bytes) {
        log("unit", bytes);
        port_.send(bytes);
    };
    if (options_.modem.enabled) {
        modem_ = std::make_unique<ModemFront>(options_.modem, toPc, [this](const QByteArray& b) { unit_->receive(b); });
        unit_ = std::make_unique<UnitSimulator>(options_, generateHistory(plan),
                                                [this](const QByteArray& b) { modem_->fromUnit(b); });
    } else {
        unit_ = std::make_unique<UnitSimulator>(options_, generateHistory(plan), toPc);
    }

    connect(&port_, &PtyPort::received, this, [this](const QByteArray& bytes) {
        log("pc", bytes);
        if (modem_)
            modem_->fromPc(bytes);
        else
            unit_->receive(bytes);
    });
    connect(&port_, &PtyPort::peerClosed, this, [this] {
        if (options_.verbose)
            std::fprintf(stderr, "tvq52-sim: port closed%s\n", modem_ ? ", call dropped" : "");
        if (modem_)
            modem_->hangUp();
        unit_->lineDropped();
    });
    connect(&port_, &PtyPort::peerOpened, this, [this] {
        if (options_.verbose)
            std::fprintf(stderr, "tvq52-sim: port opened\n");
    });
}

bool SimRunner::start(QString* error)
{
    return port_.open(error);
}

void SimRunner::log(const char* who, const QByteArray& bytes) const
{
    if (!options_.verbose)
        return;
    std::fprintf(stderr, "%-4s> %s\n", who, bytes.toHex(' ').toUpper().constData());
}

} // namespace tvq52::sim
