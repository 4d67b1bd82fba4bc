#include "link/device_link.h"

#include "core/catalogue_ids.h"
#include "link/clock.h"
#include "link/dial_command.h"
#include "link/frame.h"
#include "link/frame_receiver.h"
#include "link/line.h"
#include "link/link_timer.h"
#include "link/unit_identity.h"

#include <variant>

namespace tvq52 {

namespace {

constexpr int kDirectBaud = 19200;
constexpr qint64 kModemAnswerMs = 60000;
constexpr qint64 kModemAnswerMax = 100;

} // namespace

QString printable(QString text)
{
    for (QChar& c : text)
        if (!c.isPrint())
            c = QLatin1Char('?');
    return text;
}

DeviceLink::DeviceLink(LineSettings settings, Line& line, Clock& clock)
    : settings_(std::move(settings)), line_(line), clock_(clock)
{}

Status DeviceLink::OpenLine()
{
    line_.setDeviceName(serialDeviceName(settings_));
    line_.setBaudRate(kDirectBaud);
    return openPort();
}

void DeviceLink::setModemLineSettings()
{
    line_.setDeviceName(serialDeviceName(settings_));
    line_.setBaudRate(settings_.ModemSpeed);
}

Status DeviceLink::openPort()
{
    if (line_.isOpen())
        return {};
    return line_.open();
}

void DeviceLink::closePort()
{
    if (line_.isOpen())
        line_.close();
}

void DeviceLink::Delay(int seconds)
{
    clock_.waitFor(qint64(seconds) * 1000, {}, WaitEvents::ExcludeUserInput);
}

ModemResult DeviceLink::ConnectModem(const QString& phoneNumber, const std::function<void()>& failed)
{
    dialCancelled_ = false;

    for (int k = 0; k < 3; ++k) {
        Delay(1);
        line_.write(QByteArray("+"));
    }
    Delay(1);

    line_.write(dialCommand(settings_.TonePulse, settings_.DialCode, phoneNumber));
    Delay(1);
    line_.discardInput();

    clock_.waitFor(kModemAnswerMs, [this] { return line_.bytesAvailable() > 0 || dialCancelled_; });
    Delay(3);

    ModemResult result = ModemResult::Failed;
    if (line_.bytesAvailable() > 0 && isConnectAnswer(line_.read(kModemAnswerMax)))
        result = ModemResult::Connected;
    else if (failed)
        failed();

    Delay(10);
    line_.discardOutput();
    line_.discardInput();
    return result;
}

Status DeviceLink::writeHandedOver(const QByteArray& bytes, qint64 limitMs)
{
    line_.write(bytes);
    if (!clock_.waitFor(limitMs, [this] { return line_.bytesToWrite() <= 0; }))
        return Error{msg::TransmissionTimeout, line_.deviceName()};
    return {};
}

void DeviceLink::SendFrame(const QByteArray& frameWithoutCheck)
{
    for (char c : frameWithoutCheck)
        line_.write(QByteArray(1, c));
    line_.write(QByteArray(1, char(checkByte(frameWithoutCheck))));
}

void DeviceLink::RequestIdentity()
{
    Delay(1);
    line_.discardInput();
    SendFrame(identityRequest());
}

DeviceLink::WaitEnd DeviceLink::waitForByte(LinkTimer& timer)
{
    RestartTimer(timer);
    // Bytes already waiting need no event loop: a whole frame is checked at once.
    if (!stopRequested_ && line_.bytesAvailable() > 0)
        return WaitEnd::Byte;
    clock_.waitFor(timer.remainingMs(), [&] { return stopRequested_ || line_.bytesAvailable() > 0; });
    if (stopRequested_)
        return WaitEnd::Stop;
    if (line_.bytesAvailable() > 0)
        return WaitEnd::Byte;
    return WaitEnd::Timeout;
}

Status DeviceLink::ReceiveFrame(LinkTimer& timer)
{
    frameLength_ = 0;
    FrameReceiver receiver(frame_.data(), frame_.size());
    for (;;) {
        switch (waitForByte(timer)) {
        case WaitEnd::Stop:
            return Error{};
        case WaitEnd::Timeout:
            return Error{msg::TransmissionTimeout};
        case WaitEnd::Byte:
            break;
        }
        switch (receiver.feed(std::uint8_t(line_.readByte()))) {
        case FrameReceiver::Status::NeedMore:
            break;
        case FrameReceiver::Status::Complete:
            frameLength_ = receiver.length();
            return {};
        case FrameReceiver::Status::BadCheck:
            return Error{msg::TransmissionError};
        case FrameReceiver::Status::BadLength:
            return Error{msg::TransmissionTimeout};
        }
    }
}

Result<UnitIdentity> DeviceLink::IdentifyUnit(LinkTimer& timer)
{
    if (Status received = ReceiveFrame(timer); !received)
        return received.error();
    const auto decoded = decodeIdentity(frame_.data(), frameLength_);
    if (const auto* fault = std::get_if<IdentityFault>(&decoded)) {
        // A reply that is no identification: unit() keeps the last one.
        if (fault->kind == IdentityFault::BadSerial)
            return Error{msg::TransmissionError, QStringLiteral("\"%1\"").arg(printable(fault->serialText)),
                         msg::SerialNumberLabel};
        return Error{msg::TransmissionError};
    }
    unit_ = std::get<UnitIdentity>(decoded);
    return unit_;
}

} // namespace tvq52
