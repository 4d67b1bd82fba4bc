#include "link/exchange.h"

#include "app/prompter.h"
#include "i18n/loc_guru.h"
#include "link/device_link.h"
#include "link/dial_command.h"
#include "link/line.h"
#include "link/link_state.h"
#include "link/unit_identity.h"

namespace tvq52 {

namespace {

void showLineError(DeviceLink& link)
{
    // 31 names the usual cause (the port missing or taken by another program).
    QString text = link.guru().GetS(31) + QStringLiteral("\n\n") + link.lineError();
    link.prompter().message(Message{text, {}, MessageStyle::Critical, 31});
}

// Control bytes shown as "?", so that the text cannot upset the terminal.
QString printable(QString text)
{
    for (QChar& c : text)
        if (!c.isPrint())
            c = QLatin1Char('?');
    return text;
}

void showBadDialString(DeviceLink& link, const QString& text)
{
    const QString message = QStringLiteral("%1\n\n\"%2\"").arg(link.guru().GetS(106), printable(text));
    link.prompter().message(Message{message, {}, MessageStyle::Critical, 106});
}

void takeLineDown(DeviceLink& link)
{
    LinkState& state = link.state();
    if (state.ModemConnected) {
        if (showCatalogue(link.prompter(), link.guru(), 112, MessageStyle::YesNoQuestion) == Answer::Yes) {
            link.closePort();
            state.ModemConnected = false;
        }
    } else {
        link.closePort();
    }
}

} // namespace

ExchangeOutcome runExchange(DeviceLink& link, const QString& phoneNumber, const std::function<void()>& body,
                            const ExchangeHooks& hooks)
{
    LinkState& state = link.state();
    const bool modem = state.ModemMode != 0;
    const bool dial = modem && !state.ModemConnected;

    if (!modem) {
        if (showCatalogue(link.prompter(), link.guru(), 15, MessageStyle::OkCancelInformation) != Answer::Ok)
            return ExchangeOutcome::Cancelled;
    } else if (dial) {
        link.setModemLineSettings();
        if (phoneNumber.trimmed().isEmpty()) {
            showCatalogue(link.prompter(), link.guru(), 34, MessageStyle::Critical);
            return ExchangeOutcome::NoPhoneNumber;
        }
        // Nothing but dialling characters reaches the modem: a ";" or a CR
        // in the number would let it run a command of its own.
        for (const QString& part : {state.DialCode, phoneNumber}) {
            if (!isDialString(part)) {
                showBadDialString(link, part);
                return ExchangeOutcome::BadPhoneNumber;
            }
        }
        if (showCatalogue(link.prompter(), link.guru(), 33, MessageStyle::OkCancelInformation) != Answer::Ok)
            return ExchangeOutcome::Cancelled;
    }

    if (hooks.started)
        hooks.started();

    ExchangeOutcome outcome = ExchangeOutcome::Ran;
    const bool opened = modem ? link.openPort() : link.OpenLine();
    if (!opened) {
        showLineError(link);
        outcome = ExchangeOutcome::LineFailed;
    } else if (dial) {
        if (link.ConnectModem(phoneNumber) == ModemResult::Connected)
            state.ModemConnected = true;
        else
            outcome = ExchangeOutcome::DialFailed;
    }

    if (outcome == ExchangeOutcome::Ran)
        body();

    takeLineDown(link);
    if (hooks.finished)
        hooks.finished();
    return outcome;
}

bool identifyConnectedUnit(DeviceLink& link, LinkTimer& timer)
{
    link.RequestIdentity();
    if (!link.IdentifyUnit(timer))
        return false;
    if (!isTvq52Type(link.state().UnitType)) {
        showCatalogue(link.prompter(), link.guru(), 30, MessageStyle::Critical);
        return false;
    }
    return true;
}

} // namespace tvq52
