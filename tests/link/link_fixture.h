#pragma once

#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "link/clock.h"
#include "link/device_link.h"
#include "link/exchange.h"
#include "link/exchange_session.h"
#include "link/line_settings.h"
#include "link/link_timer.h"
#include "link/memory_line.h"
#include "support/scripted_prompter.h"

namespace tvq52::test {

// A link over an in-memory line on a clock that moves only while the link
// waits: the unit's replies come exactly when scheduled, however busy the
// machine is.
struct MemoryLink {
    VirtualClock clock;
    MemoryLine line{clock};
    ScriptedPrompter prompter;
    Translator translator;
    AskCatalogue ask = catalogueAsker(prompter, translator);
    ExchangeSession session{{}, line, clock};
    DeviceLink& link = session.link();
    LineSettings& settings = session.settings();
    LinkTimer& timer = session.timer();

    MemoryLink() { (void)line.open(); }
};

// The catalogue number a step failed with: -1 when it succeeded, 0 when it
// failed with nothing to tell.
inline int errorId(const Status& status)
{
    return status.ok() ? -1 : status.error().catalogueId;
}

// The identification exchange as a workflow runs it: what fails is shown once.
inline ExchangeOutcome identifyExchange(ExchangeSession& s, Prompter& prompter, const Translator& translator,
                                        bool* identified = nullptr)
{
    const ExchangeResult result = runExchange(s.link(), catalogueAsker(prompter, translator), s.settings().PhoneNumber, [&] {
        const Status ok = identifyConnectedUnit(s.link(), s.timer()).status();
        showFailure(prompter, translator, ok);
        if (identified)
            *identified = ok.ok();
    });
    if (const Error* error = result.errorToShow())
        showError(prompter, translator, *error);
    return result.outcome;
}

} // namespace tvq52::test
