#include "cli/identify_command.h"

#include "cli/cli_session.h"
#include "core/catalogue_ids.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "link/exchange.h"
#include "link/exchange_session.h"
#include "link/frame.h"
#include "link/line.h"

#include <QJsonObject>
#include <QTextStream>

namespace tvq52 {

const CommandSyntax& identifySyntax()
{
    static const CommandSyntax syntax{"identify",
                                      "identify [--json]",
                                      "    Identifies the unit on the configured line and prints its type,\n"
                                      "    firmware, serial number and programming mode.\n",
                                      {QStringLiteral("--json")}};
    return syntax;
}

int runIdentify(CliSession& session, const CliOptions& options, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
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
    if (const Error* error = exchange.errorToShow())
        showError(prompter, ctx.guru, *error);
    if (exchange.outcome == ExchangeOutcome::Cancelled)
        return 3;
    if (!identified)
        return 1;

    const LinkState& s = ctx.link;
    if (args.has("--json")) {
        printJson(QJsonObject{{"type", int(s.UnitType)},
                              {"firmware", s.UnitFirmware},
                              {"serial", s.UnitSerial},
                              {"programmingMode", s.UnitProgMode == 1}});
        return 0;
    }
    const Translator& guru = ctx.guru;
    auto say = [&](const char* text) { return guru.GetTranslation(QString::fromUtf8(text)); };
    QTextStream out(stdout);
    out << say("Tipo:") << ' ' << s.UnitType << '\n'
        << say("Versión:") << ' ' << s.UnitFirmware << '\n'
        << say("Número de serie:") << ' ' << s.UnitSerial << '\n'
        << say("Modo programación:") << ' ' << guru.text(s.UnitProgMode == 1 ? msg::Yes : msg::No) << " ("
        << s.UnitProgMode << ")\n";
    return 0;
}

} // namespace tvq52
