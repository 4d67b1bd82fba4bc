#pragma once

#include "sim_options.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>

namespace tvq52::sim {

// A Hayes modem between the PC and the unit: AT commands while in command
// mode, a dial answered after the rings, "+++" back to command mode, and the
// call dropped when the PC closes its port.
class ModemFront : public QObject {
    Q_OBJECT
public:
    using Sink = std::function<void(const QByteArray&)>;

    // `toPc` writes to the line, `toUnit` hands the unit what the PC sends
    // during a call.
    ModemFront(ModemOptions options, Sink toPc, Sink toUnit);

    // Told the number dialled (without the dial prefix) as a call connects,
    // before the modem says so.
    void onConnect(std::function<void(const QByteArray& number)> f) { onConnect_ = std::move(f); }

    // Asked, as a dial is answered, whether the number's unit is free; when
    // not, the modem answers BUSY.
    void acceptCall(std::function<bool(const QByteArray& number)> f) { accept_ = std::move(f); }

    void fromPc(const QByteArray& bytes);
    // The unit's output goes out only while a call is up.
    void fromUnit(const QByteArray& bytes);
    void hangUp();

    bool online() const { return state_ == State::Online; }
    // A call is up, even while in command mode after "+++".
    bool inCall() const { return callUp_; }
    int dialCount() const { return dials_; }
    QByteArray lastDial() const { return lastDial_; }

private:
    enum class State { Command, Dialling, Online };

    void commandByte(char c);
    void runCommandLine(const QByteArray& line);
    void result(int code);
    void answerCall();
    QByteArray dialledNumber() const;

    ModemOptions options_;
    Sink toPc_;
    Sink toUnit_;
    State state_ = State::Command;
    bool echo_ = true;
    bool verbose_ = true;
    QByteArray line_;
    QByteArray lastDial_;
    int dials_ = 0;
    int plusCount_ = 0;
    QTimer ringTimer_;
    QTimer guardTimer_;
    std::function<void(const QByteArray&)> onConnect_;
    std::function<bool(const QByteArray&)> accept_;
    bool callUp_ = false; // a call stays up while in command mode after "+++"
};

} // namespace tvq52::sim
