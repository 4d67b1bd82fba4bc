#pragma once

#include <QString>
#include <functional>

namespace tvq52 {

class DeviceLink;
class LinkTimer;

// How an exchange with the unit ended.
enum class ExchangeOutcome {
    Ran,            // the line came up and the exchange's own steps ran
    Cancelled,      // the user answered Cancel to the connect prompt
    NoPhoneNumber,  // modem chosen and no number to dial (message 34 shown)
    BadPhoneNumber, // the number or prefix holds what is not dialled (106 shown)
    LineFailed,     // the device could not be opened (message shown)
    DialFailed,     // the modem did not connect (message 35 shown)
};

// What the calling window does around the exchange: mark it as running on
// its buttons once the line is about to come up, and restore them at the end.
struct ExchangeHooks {
    std::function<void()> started;
    std::function<void()> finished;
};

// The order every window follows to talk to the unit: ask for the cable or
// the modem (15, 33, 34; 106 for a number that is no dial string), open the line or dial (unless a call is up), run
// `body`, then take the line down, asking whether to hang up a modem call
// (112). A call left up serves the next exchange without redialling.
ExchangeOutcome runExchange(DeviceLink& link, const QString& phoneNumber, const std::function<void()>& body,
                            const ExchangeHooks& hooks = {});

// The identification every exchange starts with, and the unit-type check:
// false (with the message shown) when the unit did not identify itself or is
// not of a type this program handles (30).
bool identifyConnectedUnit(DeviceLink& link, LinkTimer& timer);

} // namespace tvq52
