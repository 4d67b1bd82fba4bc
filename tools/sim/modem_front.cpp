#include "modem_front.h"

#include <cctype>

namespace tvq52::sim {

namespace {

const char* verboseText(int code)
{
    switch (code) {
    case 0:
        return "OK";
    case 1:
        return "CONNECT";
    case 2:
        return "RING";
    case 3:
        return "NO CARRIER";
    case 4:
        return "ERROR";
    case 6:
        return "NO DIALTONE";
    case 7:
        return "BUSY";
    case 8:
        return "NO ANSWER";
    default:
        return "ERROR";
    }
}

} // namespace

ModemFront::ModemFront(ModemOptions options, Sink toPc, Sink toUnit)
    : options_(std::move(options)), toPc_(std::move(toPc)), toUnit_(std::move(toUnit))
{
    ringTimer_.setSingleShot(true);
    guardTimer_.setSingleShot(true);
    connect(&ringTimer_, &QTimer::timeout, this, &ModemFront::answerCall);
    connect(&guardTimer_, &QTimer::timeout, this, [this] {
        if (state_ != State::Online || plusCount_ != 3)
            return;
        plusCount_ = 0;
        state_ = State::Command;
        result(0);
    });
}

void ModemFront::result(int code)
{
    if (verbose_)
        toPc_(QByteArray("\r\n") + verboseText(code) + "\r\n");
    else
        toPc_(QByteArray::number(code) + '\r');
}

void ModemFront::fromPc(const QByteArray& bytes)
{
    for (char c : bytes) {
        switch (state_) {
        case State::Online:
            // "+++" followed by the guard time of silence escapes; anything
            // else, and the pluses themselves, belong to the unit.
            plusCount_ = c == '+' ? std::min(plusCount_ + 1, 4) : 0;
            if (plusCount_ == 3)
                guardTimer_.start(options_.guardMs);
            else
                guardTimer_.stop();
            toUnit_(QByteArray(1, c));
            break;
        case State::Dialling:
            // Any key aborts a dial in progress.
            ringTimer_.stop();
            state_ = State::Command;
            result(3);
            break;
        case State::Command:
            commandByte(c);
            break;
        }
    }
}

void ModemFront::fromUnit(const QByteArray& bytes)
{
    if (state_ == State::Online)
        toPc_(bytes);
}

void ModemFront::hangUp()
{
    ringTimer_.stop();
    guardTimer_.stop();
    state_ = State::Command;
    callUp_ = false;
    plusCount_ = 0;
    line_.clear();
}

void ModemFront::commandByte(char c)
{
    if (echo_)
        toPc_(QByteArray(1, c));
    if (c == '\r') {
        const QByteArray line = line_.trimmed().toUpper();
        line_.clear();
        if (line.startsWith("AT"))
            runCommandLine(line.mid(2));
        return;
    }
    if (c == '\n' || c == '+')
        return;
    if (c == 8 && !line_.isEmpty()) {
        line_.chop(1);
        return;
    }
    if (line_.size() < 80)
        line_.append(c);
}

void ModemFront::runCommandLine(const QByteArray& line)
{
    int k = 0;
    auto digit = [&](int fallback) {
        if (k < line.size() && line.at(k) >= '0' && line.at(k) <= '9')
            return line.at(k++) - '0';
        return fallback;
    };
    while (k < line.size()) {
        const char c = line.at(k++);
        switch (c) {
        case ' ':
            break;
        case 'E':
            echo_ = digit(0) != 0;
            break;
        case 'V':
            verbose_ = digit(0) != 0;
            break;
        case 'X':
        case 'Q':
        case 'M':
        case 'L':
            digit(0);
            break;
        case 'S': // S-register: S0=2, S7?
            while (k < line.size()
                   && (std::isdigit(std::uint8_t(line.at(k))) || line.at(k) == '=' || line.at(k) == '?'))
                ++k;
            break;
        case 'Z':
            digit(0);
            echo_ = true;
            verbose_ = true;
            break;
        case 'H':
            digit(0);
            callUp_ = false;
            break;
        case 'O':
            if (callUp_) {
                state_ = State::Online;
                result(1);
                return;
            }
            result(3);
            return;
        case 'D':
            lastDial_ = line.mid(k);
            ++dials_;
            state_ = State::Dialling;
            ringTimer_.start(options_.rings * options_.ringMs);
            return;
        default:
            result(4);
            return;
        }
    }
    result(0);
}

QByteArray ModemFront::dialledNumber() const
{
    // "T0,931234567": tone or pulse, the prefix, then the number.
    QByteArray number = lastDial_.trimmed();
    if (number.contains(','))
        number = number.mid(number.lastIndexOf(',') + 1);
    else if (number.startsWith('T') || number.startsWith('P'))
        number = number.mid(1);
    return number.trimmed();
}

void ModemFront::answerCall()
{
    if (state_ != State::Dialling)
        return;
    const QByteArray number = dialledNumber();
    const bool busy = options_.dialResult.startsWith('1') && accept_ && !accept_(number);
    const QByteArray code = busy ? QByteArray("7") : options_.dialResult;
    const bool connects = code.startsWith('1');
    state_ = connects ? State::Online : State::Command;
    callUp_ = connects;
    plusCount_ = 0;
    if (connects && onConnect_)
        onConnect_(number);
    if (verbose_)
        toPc_(QByteArray("\r\n") + (connects ? "CONNECT" : verboseText(code.toInt())) + "\r\n");
    else
        toPc_(code + '\r');
}

} // namespace tvq52::sim
