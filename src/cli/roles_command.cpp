#include "cli/roles_command.h"

#include "app/database_choice.h"
#include "app/database_opening.h"
#include "cli/cli_session.h"
#include "core/own_words.h"
#include "db/database_failure.h"
#include "db/server_rights.h"
#include "db/server_roles.h"
#include "i18n/catalogue_message.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace tvq52 {

namespace {

std::optional<Error> rolesFault(const CommandArgs& args)
{
    const QStringList& words = args.arguments;
    const QString verb = words.at(0);
    const qsizetype wanted = verb == QLatin1String("grant") ? 3 : verb == QLatin1String("revoke") ? 2 : 1;
    if (verb != QLatin1String("setup") && verb != QLatin1String("grant") && verb != QLatin1String("revoke")
        && verb != QLatin1String("list"))
        return ownWords(QStringLiteral("Orden desconocida: %1"), {QStringLiteral("roles ") + verb});
    if (words.size() < wanted)
        return ownWords(QStringLiteral("Faltan argumentos"));
    if (words.size() > wanted)
        return ownWords(QStringLiteral("Sobra el argumento %1"), {words.at(wanted)});
    if (args.has("--json") && verb != QLatin1String("list"))
        return ownWords(QStringLiteral("Opción desconocida: %1"), {QStringLiteral("--json")});
    if (verb == QLatin1String("grant") && !roleLevelFromName(words.at(2)))
        return ownWords(QStringLiteral("Nivel desconocido: %1. Los niveles son read, collect y admin"), {words.at(2)});
    return std::nullopt;
}

int fail(const AppContext& ctx, const Error& error)
{
    printError(ctx.translator, error);
    return 1;
}

} // namespace

const CommandSyntax& rolesSyntax()
{
    static const CommandSyntax syntax{
        "roles",
        "roles setup\nroles grant LOGIN read|collect|admin\nroles revoke LOGIN\nroles list [--json]",
        {"Los roles de una base de datos de servidor: setup crea los grupos read, collect y admin y el dueño de las "
         "tablas, y da a cada grupo sus derechos (lo hace un superusuario o un usuario con CREATEROLE; repetirlo no "
         "cambia nada).",
         "grant da a un usuario del servidor un nivel y revoke se lo quita (lo hace un admin); list escribe cada "
         "usuario con su nivel, --json una lista de {\"login\", \"level\"}."},
        {QStringLiteral("--json")},
        {},
        1,
        3,
        rolesFault};
    return syntax;
}

int runRoles(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    const Result<DatabaseTarget> target = resolveDatabase(ctx);
    if (!target)
        return fail(ctx, target.error());
    if (!target->isServer())
        return fail(ctx,
                    ownWords(QStringLiteral("Los roles solo existen en una base de datos de servidor: "
                                            "nómbrela con --database URI")));
    // Setup lays the schema out itself, in its own transaction; so the
    // database is opened as it is, without the checks of the other commands.
    Result<std::unique_ptr<Database>> server =
        Database::openServer(*target, passwordThrough(*session.prompter, ctx.translator, &ctx.password));
    if (!server)
        return fail(ctx,
                    toldFailure(databaseFailureOf(server.error()), FailureWording::Opening, {*target, ctx.home, 0}));
    ServerRoles roles(**server);
    const QString verb = args.arguments.at(0);
    if (verb == QLatin1String("setup")) {
        if (const Status done = roles.setup(); !done)
            return fail(ctx, done.error());
        return 0;
    }
    const Result<bool> present = roles.present();
    if (!present)
        return fail(ctx, present.error());
    if (!*present)
        return fail(ctx,
                    ownWords(QStringLiteral("La base de datos %1 no tiene roles. Prepárelos con: "
                                            "tvq52-cli --database %2 roles setup"),
                             {target->displayName(), target->uri()}));
    if (verb == QLatin1String("grant") || verb == QLatin1String("revoke")) {
        // Said in the user's words before the server refuses in its own.
        if (const Status allowed = checkRight(**server, Operation::ManageLogins); !allowed)
            return fail(ctx, allowed.error());
        const QString login = args.arguments.at(1);
        const Status done = verb == QLatin1String("grant")
            ? roles.grant(login, *roleLevelFromName(args.arguments.at(2)))
            : roles.revoke(login);
        if (!done)
            return fail(ctx,
                        ownWords(QStringLiteral("No se pueden cambiar los roles de %1: %2"),
                                 {login, errorText(ctx.translator, done.error())}));
        return 0;
    }
    const Result<QList<RoleMember>> members = roles.list();
    if (!members)
        return fail(ctx, members.error());
    if (args.has("--json")) {
        QJsonArray list;
        for (const RoleMember& m : *members)
            list.append(QJsonObject{{"login", m.login}, {"level", rightWord(m.level)}});
        QTextStream(stdout) << QJsonDocument(list).toJson(QJsonDocument::Indented) << Qt::flush;
        return 0;
    }
    QTextStream out(stdout);
    for (const RoleMember& m : *members)
        out << m.login << '\t' << rightWord(m.level) << Qt::endl;
    return 0;
}

} // namespace tvq52
