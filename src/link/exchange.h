#pragma once

#include "core/error.h"
#include "core/prompter.h"
#include "link/unit_identity.h"

#include <QString>
#include <functional>

namespace tvq52 {

class DeviceLink;
class LinkTimer;

// How an exchange with the unit ended.
enum class ExchangeOutcome {
    Ran,            // the line came up and the exchange's own steps ran
    Cancelled,      // the user answered Cancel to the connect prompt
    NoPhoneNumber,  // modem chosen and no number to dial (34)
    BadPhoneNumber, // the number or prefix holds what is not dialled (106)
    LineFailed,     // the device could not be opened
    DialFailed,     // the modem did not connect (35)
};

struct ExchangeResult {
    ExchangeOutcome outcome = ExchangeOutcome::Ran;
    // Why the line did not come up; none when it did or the user cancelled.
    std::optional<Error> error;
    // The error was put to the user during the exchange already: a failed
    // dial is told before the modem's pause, not once the line is down.
    bool errorShown = false;

    // The error the caller is still to show, if any.
    const Error* errorToShow() const { return error && !errorShown ? &*error : nullptr; }

    // Whether the `started` hook ran: the window's buttons are to be restored.
    bool started() const
    {
        return outcome == ExchangeOutcome::Ran || outcome == ExchangeOutcome::LineFailed
            || outcome == ExchangeOutcome::DialFailed;
    }
};

// The order every window follows to talk to the unit: ask for the cable or
// the modem (15, 33; 34 and 106 end it before anything is sent), call
// `started` once the line is about to come up, open the line or dial
// (unless a call is up), run `body`, then take the line down, asking whether
// to hang up a modem call (112). A call left up serves the next exchange
// without redialling. The questions go through `ask`; a failure comes back
// in the result, after the line is down; a failed dial (35) is also told
// through `ask` at once.
ExchangeResult runExchange(DeviceLink& link, const AskCatalogue& ask, const QString& phoneNumber,
                           const std::function<void()>& body, const std::function<void()>& started = {});

// The identification every exchange starts with, and the unit-type check:
// fails when the unit did not identify itself or is not of a type this
// program handles (30).
Result<UnitIdentity> identifyConnectedUnit(DeviceLink& link, LinkTimer& timer);

} // namespace tvq52
