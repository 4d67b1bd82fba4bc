#include "link/exchange.h"

#include "core/catalogue_ids.h"
#include "link/device_link.h"
#include "link/dial_command.h"
#include "link/line.h"
#include "link/unit_identity.h"

namespace tvq52 {

namespace {

void takeLineDown(DeviceLink& link, const AskCatalogue& ask)
{
    if (link.line().modemCallUp()) {
        if (ask(msg::HangUp, MessageStyle::YesNoQuestion) == Answer::Yes) {
            link.closePort();
            link.line().setModemCallUp(false);
        }
    } else {
        link.closePort();
    }
}

} // namespace

ExchangeResult runExchange(DeviceLink& link, const AskCatalogue& ask, const QString& phoneNumber,
                           const std::function<void()>& body, const std::function<void()>& started)
{
    const LineSettings& settings = link.settings();
    const bool modem = settings.modem();
    const bool dial = modem && !link.line().modemCallUp();

    if (!modem) {
        if (ask(msg::ConnectCable, MessageStyle::OkCancelInformation) != Answer::Ok)
            return {ExchangeOutcome::Cancelled, {}};
    } else if (dial) {
        link.setModemLineSettings();
        if (phoneNumber.trimmed().isEmpty())
            return {ExchangeOutcome::NoPhoneNumber, Error{msg::NoPhoneNumber}};
        // Nothing but dialling characters reaches the modem: a ";" or a CR
        // in the number would let it run a command of its own.
        for (const QString& part : {settings.DialCode, phoneNumber}) {
            if (!isDialString(part))
                return {ExchangeOutcome::BadPhoneNumber,
                        Error{msg::BadValue, QStringLiteral("\"%1\"").arg(printable(part))}};
        }
        if (ask(msg::ConnectModem, MessageStyle::OkCancelInformation) != Answer::Ok)
            return {ExchangeOutcome::Cancelled, {}};
    }

    if (started)
        started();

    ExchangeResult result;
    if (Status opened = modem ? link.openPort() : link.OpenLine(); !opened) {
        result = {ExchangeOutcome::LineFailed, opened.error()};
    } else if (dial) {
        const auto tell = [&] { ask(msg::DialFailed, MessageStyle::Critical); };
        if (link.ConnectModem(phoneNumber, tell) == ModemResult::Connected)
            link.line().setModemCallUp(true);
        else
            result = {ExchangeOutcome::DialFailed, Error{msg::DialFailed}, true};
    }

    if (result.outcome == ExchangeOutcome::Ran)
        body();

    takeLineDown(link, ask);
    return result;
}

Result<UnitIdentity> identifyConnectedUnit(DeviceLink& link, LinkTimer& timer)
{
    link.RequestIdentity();
    Result<UnitIdentity> identified = link.IdentifyUnit(timer);
    if (identified && !isTvq52Type(identified->type))
        return Error{msg::NotATvq52};
    return identified;
}

} // namespace tvq52
