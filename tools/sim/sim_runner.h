#pragma once

#include "modem_front.h"
#include "pty_port.h"
#include "sim_options.h"
#include "timing_log.h"
#include "unit_simulator.h"

#include <QFile>
#include <QList>
#include <QObject>
#include <QPair>
#include <memory>

namespace tvq52::sim {

// Wires the unit, the optional modem and the pseudo-terminal together.
class SimRunner : public QObject {
    Q_OBJECT
public:
    explicit SimRunner(SimOptions options);

    bool start(QString* error);
    QString devicePath() const { return port_.slavePath(); }
    // The unit the run started with; a dialled number may reach another.
    UnitSimulator& unit() { return *unit_; }
    UnitSimulator& activeUnit() { return *active_; }
    ModemFront* modem() { return modem_.get(); }

private:
    void log(const char* who, const QByteArray& bytes) const;
    // Everything the unit or the modem sends goes out here.
    void toPc(const QByteArray& bytes);
    std::unique_ptr<UnitSimulator> makeUnit(const SimOptions& options);
    void logAcknowledged(const QByteArray& line);

    SimOptions options_;
    PtyPort port_;
    std::unique_ptr<UnitSimulator> unit_;
    QList<QPair<QByteArray, std::shared_ptr<UnitSimulator>>> dialUnits_;
    UnitSimulator* active_ = nullptr;
    std::unique_ptr<QFile> ackLog_;
    std::unique_ptr<TimingLog> timing_;
    std::unique_ptr<ModemFront> modem_;
};

} // namespace tvq52::sim
