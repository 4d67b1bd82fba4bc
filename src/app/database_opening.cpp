#include "app/database_opening.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/database_choice.h"
#include "core/application_info.h"
#include "core/own_words.h"
#include "core/prompter.h"
#include "db/database_failure.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"

#include <QFileInfo>
#include <memory>
#include <utility>

namespace tvq52 {

namespace {

QString tr(const Translator& translator, const char* spanish)
{
    return translator.translate(QString::fromUtf8(spanish));
}

// Translated texts break lines as CR LF; a question box takes LF.
QString lines(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

QString serverName(const DatabaseTarget& t)
{
    return t.host.isEmpty() ? QStringLiteral("localhost:%1").arg(t.port)
                            : QStringLiteral("%1:%2").arg(t.host).arg(t.port);
}

// Lays out the tables a server database lacks, as `policy` says: asking
// first, without asking, or not at all.
Status layOutMissingTables(const Translator& translator, Prompter& prompter, Database& server, SchemaState state,
                           const QString& detail, SchemaPolicy policy)
{
    const DatabaseTarget& target = server.target();
    if (policy == SchemaPolicy::RequireReady)
        return ownWords(QStringLiteral("La base de datos %1 no tiene las tablas del programa.\r\n"
                                       "Prepárela una vez con: tvq52-cli --database %2 init"),
                        {target.displayName(), target.uri()});
    if (policy == SchemaPolicy::Ask) {
        const QString question = state == SchemaState::Empty
            ? lines(tr(translator, "La base de datos %1 está vacía.\r\n¿Crear en ella las tablas del programa?"))
                  .arg(target.displayName())
            : lines(tr(translator,
                       "A la base de datos %1 le faltan tablas del programa: %2.\r\n"
                       "¿Crearlas ahora?"))
                  .arg(target.displayName(), detail);
        const Answer answer = prompter.message(
            Message{question, tr(translator, "Base de datos"), MessageStyle::YesNoQuestion, 0, Answer::No});
        if (answer != Answer::Yes)
            return ownWords(QStringLiteral("No se han creado las tablas: la base de datos %1 no se puede usar así."),
                            {target.displayName()});
    }
    if (const Status laid = server.layOutSchema(); !laid)
        return ownWords(QStringLiteral("No se pueden crear las tablas en la base de datos %1:\r\n%2"),
                        {target.displayName(), untranslatedText(laid.error())});
    return {};
}

// Opens what `target` names, checked; the folder's file comes too when the
// records are on a server.
Result<std::pair<std::unique_ptr<Database>, std::unique_ptr<Database>>>
openChecked(AppContext& ctx, Prompter& prompter, const DatabaseTarget& target, const RecordsRequest& request)
{
    const QString file = databasePath(ctx.home);
    const bool recordsInFile = !target.isServer() || target.path == file;
    DatabaseAccess access = request.access;
    // With the records on a server the file keeps only this PC's settings row.
    if (access == DatabaseAccess::ReadWrite && !Database::canWrite(file)) {
        if (recordsInFile && QFileInfo::exists(file))
            return toldFailure({DatabaseFailure::Kind::ReadOnly, {}}, FailureWording::Opening,
                               {target, ctx.home, 0});
        access = DatabaseAccess::ReadOnly;
    }
    Result<std::unique_ptr<Database>> local = Database::openSqlite(file, access);
    if (!local)
        return local.error();
    const QString missing = (*local)->verifySchema();
    if (!missing.isEmpty())
        return finalText(QStringLiteral("La base de datos %1 no tiene: %2").arg(file, missing));
    if (recordsInFile)
        return std::pair{std::unique_ptr<Database>(), std::move(local).value()};

    if (ctx.passwordFor != target.uri()) {
        ctx.password.clear();
        ctx.passwordFor = target.uri();
    }
    Result<std::unique_ptr<Database>> server =
        Database::openServer(target, passwordThrough(prompter, ctx.translator, &ctx.password));
    if (!server)
        return toldFailure(databaseFailureOf(server.error()), FailureWording::Opening, {target, ctx.home, 0});
    // A login with none of the office's roles may not even read, nor see our
    // tables: said before they are looked for.
    if (const auto refused = refusal((*server)->right(), Operation::Browse))
        return *refused;
    // A schema laid out by this version is taken as it is: nothing more is
    // read, nothing is made, and a login that may create nothing opens it.
    if (!(*server)->schemaCurrent()) {
        QString detail;
        const SchemaState state = (*server)->inspectSchema(&detail);
        if (state == SchemaState::Foreign)
            return schemaStateWords(state, target, detail);
        // Every table there but laid out by an older version: what it lacks
        // is added without asking when this login may; one that may not
        // opens it as that version did.
        if (state == SchemaState::Ready)
            (void)(*server)->layOutSchema();
        else if (Status laid = layOutMissingTables(ctx.translator, prompter, **server, state, detail, request.policy); !laid)
            return laid.error();
    }
    return std::pair{std::move(local).value(), std::move(server).value()};
}

} // namespace

PasswordSource passwordThrough(Prompter& prompter, const Translator& translator, QString* remembered)
{
    auto triedRemembered = std::make_shared<bool>(false);
    return [&prompter, &translator, remembered, triedRemembered](const DatabaseTarget& target) -> std::optional<QString> {
        if (remembered && !remembered->isEmpty() && !*triedRemembered) {
            *triedRemembered = true;
            return *remembered;
        }
        const QString user = target.user.isEmpty() ? qEnvironmentVariable("USER") : target.user;
        const std::optional<QString> given = prompter.secret(
            tr(translator, "Contraseña de %1 en %2:").arg(user, serverName(target)), tr(translator, "Base de datos"));
        if (given && remembered)
            *remembered = *given;
        return given;
    };
}

Error schemaStateWords(SchemaState state, const DatabaseTarget& target, const QString& detail)
{
    switch (state) {
    case SchemaState::Ready:
        return ownWords(QStringLiteral("Conexión correcta: la base de datos %1 tiene las tablas del programa."),
                        {target.displayName()});
    case SchemaState::Empty:
        return ownWords(
            QStringLiteral(
                "Conexión correcta: la base de datos %1 está vacía; se crearán en ella las tablas del programa."),
            {target.displayName()});
    case SchemaState::Partial:
        return ownWords(
            QStringLiteral("Conexión correcta: a la base de datos %1 le faltan tablas del programa (%2); se crearán."),
            {target.displayName(), detail});
    case SchemaState::Foreign:
        break;
    }
    return ownWords(QStringLiteral("La base de datos %1 ya tiene tablas con estos nombres pero con otras columnas: "
                                   "%2.\r\nNo se ha tocado nada; elija otra base de datos."),
                    {target.displayName(), detail});
}

namespace {

// Opens `target` in place of the records open now, which stay when it fails.
Status openTarget(AppContext& ctx, Prompter& prompter, const DatabaseTarget& target, const RecordsRequest& request)
{
    // A reload (a language change) keeps the connection it has.
    if (ctx.db && ctx.db->target() == target)
        return {};
    auto opened = openChecked(ctx, prompter, target, request);
    if (!opened)
        return opened.error();
    ctx.db.reset();
    ctx.localDb.reset();
    ctx.localDb = std::move(opened->first);
    ctx.db = std::move(opened->second);
    if (ctx.localDb)
        ctx.db->setSettingsDatabase(ctx.localDb.get());
    return {};
}

} // namespace

Status openRecords(AppContext& ctx, Prompter& prompter, const RecordsRequest& request)
{
    Result<DatabaseTarget> target = request.chosen ? Result<DatabaseTarget>(*request.chosen) : resolveDatabase(ctx);
    for (;;) {
        QString why;
        if (target) {
            const Status opened = openTarget(ctx, prompter, *target, request);
            if (opened || !request.chooseAgain || !target->isServer())
                return opened;
            // Translated texts break lines as CR LF; the dialog's label takes LF.
            why = errorText(ctx.translator, opened.error()).replace(QLatin1String("\r\n"), QLatin1String("\n"));
        } else if (!request.chooseAgain) {
            return target.error();
        } else {
            why = errorText(ctx.translator, target.error());
        }
        prompter.message(Message{why, QString::fromLatin1(kApplicationTitle), MessageStyle::Critical, 0, {}});
        const std::optional<DatabaseTarget> chosen = request.chooseAgain(why);
        if (!chosen)
            return Error();
        target = *chosen;
    }
}

} // namespace tvq52
