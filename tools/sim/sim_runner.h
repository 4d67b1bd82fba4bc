#pragma once

#include "modem_front.h"
#include "pty_port.h"
#include "sim_options.h"
#include "unit_simulator.h"

#include <QObject>
#include <memory>

namespace tvq52::sim {

// Wires the unit, the optional modem and the pseudo-terminal together.
class SimRunner : public QObject {
    Q_OBJECT
public:
    explicit SimRunner(SimOptions options);

    bool start(QString* error);
    QString devicePath() const { return port_.slavePath(); }
    UnitSimulator& unit() { return *unit_; }
    ModemFront* modem() { return modem_.get(); }

private:
    void log(const char* who, const QByteArray& bytes) const;

    SimOptions options_;
    PtyPort port_;
    std::unique_ptr<UnitSimulator> unit_;
    std::unique_ptr<ModemFront> modem_;
};

} // namespace tvq52::sim
