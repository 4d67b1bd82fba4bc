#include "link/exchange.h"

#include "core/catalogue_ids.h"
#include "link/device_link.h"
#include "link/dial_command.h"
#include "link/line.h"
#include "link/link_state.h"
#include "link/unit_identity.h"

namespace tvq52 {

namespace {

void takeLineDown(DeviceLink& link, const AskCatalogue& ask)
{
    LinkState& state = link.state();
    if (state.ModemConnected) {
        if (ask(msg::HangUp, MessageStyle::YesNoQuestion) == Answer::Yes) {
            link.closePort();
            state.ModemConnected = false;
        }
    } else {
        link.closePort();
    }
}

} // namespace

ExchangeResult runExchange(DeviceLink& link, const AskCatalogue& ask, const QString& phoneNumber,
                           const std::function<void()>& body, const std::function<void()>& started)
{
    LinkState& state = link.state();
    const bool modem = state.ModemMode != 0;
    const bool dial = modem && !state.ModemConnected;

    if (!modem) {
        if (ask(msg::ConnectCable, MessageStyle::OkCancelInformation) != Answer::Ok)
            return {ExchangeOutcome::Cancelled, {}};
    } else if (dial) {
        link.setModemLineSettings();
        if (phoneNumber.trimmed().isEmpty())
            return {ExchangeOutcome::NoPhoneNumber, Error{msg::NoPhoneNumber}};
        // Nothing but dialling characters reaches the modem: a ";" or a CR
        // in the number would let it run a command of its own.
        for (const QString& part : {state.DialCode, phoneNumber}) {
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
            state.ModemConnected = true;
        else
            result = {ExchangeOutcome::DialFailed, Error{msg::DialFailed}, true};
    }

    if (result.outcome == ExchangeOutcome::Ran)
        body();

    takeLineDown(link, ask);
    return result;
}

Status identifyConnectedUnit(DeviceLink& link, LinkTimer& timer)
{
    link.RequestIdentity();
    if (Status identified = link.IdentifyUnit(timer); !identified)
        return identified;
    if (!isTvq52Type(link.state().UnitType))
        return Error{msg::NotATvq52};
    return {};
}

} // namespace tvq52
