#include "cli/identify_command.h"

#include "cli/cli_session.h"
#include "i18n/catalogue_message.h"
#include "link/exchange.h"
#include "link/exchange_session.h"
#include "link/frame.h"
#include "link/line.h"

#include <QTextStream>

namespace tvq52 {

int runIdentify(CliSession& session, const CliOptions& options)
{
    AppContext& ctx = *session.ctx;
    if (options.command.size() > 1) {
        QTextStream(stderr) << "tvq52-cli: usage: identify" << Qt::endl;
        return 2;
    }
    const auto exchangeSession = session.openExchange(options);
    DeviceLink& link = exchangeSession->link();
    Prompter& prompter = *session.prompter;

    bool identified = false;
    const ExchangeResult exchange = runExchange(link, catalogueAsker(prompter, ctx.guru), ctx.link.PhoneNumber, [&] {
        // Ends a list or stream the unit may still be sending; it answers nothing else then.
        link.line().write(QByteArray(1, char(kCan)));
        const Status status = identifyConnectedUnit(link, exchangeSession->timer());
        showFailure(prompter, ctx.guru, status);
        identified = status.ok();
    });
    if (exchange.error)
        showError(prompter, ctx.guru, *exchange.error);
    if (exchange.outcome == ExchangeOutcome::Cancelled)
        return 3;
    if (!identified)
        return 1;

    QTextStream out(stdout);
    const LinkState& s = ctx.link;
    out << "Type: " << s.UnitType << '\n'
        << "Firmware: " << s.UnitFirmware << '\n'
        << "Serial number: " << s.UnitSerial << '\n'
        << "Programming mode: " << (s.UnitProgMode == 1 ? "yes" : "no") << " (" << s.UnitProgMode << ")\n";
    return 0;
}

} // namespace tvq52
