#pragma once

#include "modem_front.h"
#include "pty_port.h"
#include "sim_options.h"
#include "timing_log.h"
#include "unit_simulator.h"

#include <QFile>
#include <QObject>
#include <QStringList>
#include <memory>
#include <vector>

namespace tvq52::sim {

// Wires the units, the optional modems and the pseudo-terminals together:
// one terminal per line, each with its own modem, all served by one event
// loop, every unit reachable from every line.
class SimRunner : public QObject {
    Q_OBJECT
public:
    explicit SimRunner(SimOptions options);

    bool start(QString* error);
    QString devicePath() const { return lines_.front()->port.slavePath(); }
    QStringList devicePaths() const;
    // The unit the run started with; a dialled number may reach another.
    UnitSimulator& unit() { return *units_.front()->sim; }

private:
    struct Line;
    struct Unit {
        QByteArray number; // empty: reached by any number no other unit has
        QByteArray serialText;
        std::unique_ptr<UnitSimulator> sim;
        Line* holder = nullptr; // the line of its latest call
        int calls = 0;
    };
    struct Line {
        explicit Line(bool paced) : port(paced) {}
        PtyPort port;
        std::unique_ptr<ModemFront> modem;
        Unit* active = nullptr;
    };

    void addUnit(const QByteArray& number, const SimOptions& options, const std::optional<EventDates>& events);
    void addLine();
    void wireModem(Line& line);
    Unit& unitFor(const QByteArray& number);
    void connectCall(Line& line, const QByteArray& number);
    void applyAfterCalls(Unit& unit);
    void log(const char* who, const QByteArray& bytes) const;
    // Everything a unit or a modem sends on `line` goes out here.
    void toPc(Line& line, const QByteArray& bytes);
    void logAcknowledged(const QByteArray& line);

    SimOptions options_;
    std::vector<std::unique_ptr<Unit>> units_;
    std::vector<std::unique_ptr<Line>> lines_;
    std::unique_ptr<QFile> ackLog_;
    std::unique_ptr<TimingLog> timing_;
};

} // namespace tvq52::sim
