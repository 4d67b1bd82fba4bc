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
                                      {"Identifica la unidad de la línea configurada y escribe su tipo, firmware, "
                                       "número de serie y modo de programación."},
                                      {QStringLiteral("--json")}};
    return syntax;
}

int runIdentify(CliSession& session, const CliOptions& options, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    const auto exchangeSession = session.openExchange(options);
    DeviceLink& link = exchangeSession->link();
    Prompter& prompter = *session.prompter;

    std::optional<UnitIdentity> identified;
    const ExchangeResult exchange =
        runExchange(link, catalogueAsker(prompter, ctx.translator), ctx.lineSettings.PhoneNumber, [&] {
            // Ends a list or stream the unit may still be sending; it answers nothing else then.
            link.line().write(QByteArray(1, char(kCan)));
            const Result<UnitIdentity> unit = identifyConnectedUnit(link, exchangeSession->timer());
            showFailure(prompter, ctx.translator, unit.status());
            if (unit)
                identified = *unit;
        });
    if (const Error* error = exchange.errorToShow())
        showError(prompter, ctx.translator, *error);
    if (exchange.outcome == ExchangeOutcome::Cancelled)
        return 3;
    if (!identified)
        return 1;

    const UnitIdentity& s = *identified;
    if (args.has("--json")) {
        printJson(QJsonObject{{"type", int(s.type)},
                              {"firmware", s.firmware},
                              {"serial", s.serial},
                              {"programmingMode", s.progMode == 1}});
        return 0;
    }
    const Translator& translator = ctx.translator;
    auto say = [&](const char* text) { return translator.translate(QString::fromUtf8(text)); };
    QTextStream out(stdout);
    out << say("Tipo:") << ' ' << s.type << '\n'
        << say("Versión:") << ' ' << s.firmware << '\n'
        << say("Número de serie:") << ' ' << s.serial << '\n'
        << say("Modo programación:") << ' ' << translator.text(s.progMode == 1 ? msg::Yes : msg::No) << " (" << s.progMode
        << ")\n";
    return 0;
}

} // namespace tvq52
