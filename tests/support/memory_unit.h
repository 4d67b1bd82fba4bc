#pragma once

#include "link/clock.h"
#include "link/memory_line.h"
#include "recorded_history.h"
#include "sim_options.h"
#include "unit_simulator.h"

#include <QStringList>
#include <memory>

namespace tvq52::test {

// tvq52-sim's unit in this process over an in-memory line, on virtual time:
// it answers each request at once, and a silence lasts as long as the clock says.
struct MemoryUnit {
    // Puts on the line the unit tvq52-sim's `options` describe, its history
    // ending 15/03/2024 10:00; what refused them, if anything.
    QString connect(const QStringList& options)
    {
        QString error;
        const auto o = sim::parseSimOptions(QStringList{"tvq52-sim", "--history-end", "2024-03-15T10:00"} + options,
                                            &error, nullptr);
        if (!o)
            return error.isEmpty() ? QStringLiteral("refused") : error;
        history = sim::generateHistory({o->seed, o->days, o->leqMinutes, o->historyEnd});
        if (o->clock.isValid())
            history = sim::heldAt(history, o->clock);
        unit = std::make_unique<sim::UnitSimulator>(*o, history, [this](const QByteArray& b) { line.deliver(b); });
        line.onWrite([this](const QByteArray& b) { unit->receive(b); });
        return {};
    }

    VirtualClock clock;
    MemoryLine line{clock};
    sim::RecordedHistory history;
    std::unique_ptr<sim::UnitSimulator> unit;
};

} // namespace tvq52::test
