#include "app/database_opening.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "core/own_words.h"
#include "core/prompter.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"

#include <QFileInfo>
#include <memory>

namespace tvq52 {

namespace {

QString tr(const Translator& guru, const char* spanish)
{
    return guru.GetTranslation(QString::fromUtf8(spanish));
}

// Translated texts break lines as CR LF; labels and terminals take LF.
QString lines(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

QString serverName(const DatabaseTarget& t)
{
    return t.host.isEmpty() ? QStringLiteral("localhost:%1").arg(t.port)
                            : QStringLiteral("%1:%2").arg(t.host).arg(t.port);
}

Status failed(AppContext& ctx, const QString& message)
{
    ctx.db.reset();
    ctx.localDb.reset();
    return finalText(message);
}

// Lays out the tables a server database lacks, as `policy` says: asking
// first, without asking, or not at all.
Status layOutMissingTables(AppContext& ctx, Prompter& prompter, Database& server, const DatabaseTarget& target,
                           SchemaState state, const QString& detail, SchemaPolicy policy)
{
    if (policy == SchemaPolicy::RequireReady)
        return failed(ctx,
                      lines(tr(ctx.guru,
                               "La base de datos %1 no tiene las tablas del programa.\r\n"
                               "Prepárela una vez con: tvq52-cli --database %2 init"))
                          .arg(target.displayName(), target.uri()));
    if (policy == SchemaPolicy::Ask) {
        const QString question = state == SchemaState::Empty
            ? lines(tr(ctx.guru, "La base de datos %1 está vacía.\r\n¿Crear en ella las tablas del programa?"))
                  .arg(target.displayName())
            : lines(tr(ctx.guru,
                       "A la base de datos %1 le faltan tablas del programa: %2.\r\n"
                       "¿Crearlas ahora?"))
                  .arg(target.displayName(), detail);
        const Answer answer = prompter.message(
            Message{question, tr(ctx.guru, "Base de datos"), MessageStyle::YesNoQuestion, 0, Answer::No});
        if (answer != Answer::Yes)
            return failed(ctx,
                          tr(ctx.guru, "No se han creado las tablas: la base de datos %1 no se puede usar así.")
                              .arg(target.displayName()));
    }
    if (const Status laid = server.layOutSchema(); !laid)
        return failed(ctx,
                      lines(tr(ctx.guru, "No se pueden crear las tablas en la base de datos %1:\r\n%2"))
                          .arg(target.displayName(), untranslatedText(laid.error())));
    return {};
}

} // namespace

PasswordSource passwordThrough(Prompter& prompter, const Translator& guru, QString* remembered)
{
    auto triedRemembered = std::make_shared<bool>(false);
    return [&prompter, &guru, remembered, triedRemembered](const DatabaseTarget& target) -> std::optional<QString> {
        if (remembered && !remembered->isEmpty() && !*triedRemembered) {
            *triedRemembered = true;
            return *remembered;
        }
        const QString user = target.user.isEmpty() ? qEnvironmentVariable("USER") : target.user;
        const std::optional<QString> given = prompter.secret(
            tr(guru, "Contraseña de %1 en %2:").arg(user, serverName(target)), tr(guru, "Base de datos"));
        if (given && remembered)
            *remembered = *given;
        return given;
    };
}

QString connectFailureText(const Translator& guru, ConnectFailure failure, const DatabaseTarget& target,
                           const QString& detail)
{
    switch (failure) {
    case ConnectFailure::None:
        return {};
    case ConnectFailure::Unreachable:
        return lines(tr(guru,
                        "No hay respuesta del servidor de bases de datos %1.\r\nCompruebe la dirección y "
                        "el puerto, y que el servidor esté en marcha y accesible desde este PC."))
            .arg(serverName(target));
    case ConnectFailure::Authentication:
        return lines(tr(guru,
                        "El servidor %1 no acepta al usuario %2: la contraseña no es correcta, o el servidor no "
                        "admite conexiones desde este PC (pg_hba.conf).\r\nCompruebe el usuario y la "
                        "contraseña, o pida acceso al administrador del servidor."))
            .arg(serverName(target), target.user.isEmpty() ? qEnvironmentVariable("USER") : target.user);
    case ConnectFailure::NoDatabase:
        return lines(tr(guru,
                        "El servidor %1 no tiene ninguna base de datos llamada %2.\r\nCompruebe el "
                        "nombre, o pida al administrador que la cree con codificación UTF8."))
            .arg(serverName(target), target.database);
    case ConnectFailure::NotUtf8:
        return lines(tr(guru,
                        "La base de datos %1 usa la codificación %2: los acentos no se guardarían bien.\r\n"
                        "Pida al administrador una base de datos creada con codificación UTF8."))
            .arg(target.displayName(), detail);
    case ConnectFailure::Other:
        break;
    }
    return lines(tr(guru, "No se puede usar la base de datos %1:\r\n%2")).arg(target.displayName(), detail);
}

QString schemaStateText(const Translator& guru, SchemaState state, const DatabaseTarget& target, const QString& detail)
{
    switch (state) {
    case SchemaState::Ready:
        return tr(guru, "Conexión correcta: la base de datos %1 tiene las tablas del programa.")
            .arg(target.displayName());
    case SchemaState::Empty:
        return tr(guru,
                  "Conexión correcta: la base de datos %1 está vacía; se crearán en ella las tablas del programa.")
            .arg(target.displayName());
    case SchemaState::Partial:
        return tr(guru, "Conexión correcta: a la base de datos %1 le faltan tablas del programa (%2); se crearán.")
            .arg(target.displayName(), detail);
    case SchemaState::Foreign:
        break;
    }
    return lines(tr(guru,
                    "La base de datos %1 ya tiene tablas con estos nombres pero con otras columnas: %2.\r\n"
                    "No se ha tocado nada; elija otra base de datos."))
        .arg(target.displayName(), detail);
}

Status openRecordsDatabase(AppContext& ctx, Prompter& prompter, const DatabaseTarget& target, SchemaPolicy policy,
                           ConnectFailure* why, DatabaseAccess access)
{
    if (why)
        *why = ConnectFailure::None;
    ctx.db.reset();
    ctx.localDb.reset();
    const QString file = databasePath(ctx.home);
    const bool recordsInFile = !target.isServer() || target.path == file;
    // With the records on a server the file keeps only this PC's settings row.
    if (access == DatabaseAccess::ReadWrite && !Database::canWrite(file)) {
        if (recordsInFile && QFileInfo::exists(file))
            return failed(ctx,
                          tr(ctx.guru, "La carpeta de datos %1 no se puede escribir: sus registros solo se pueden "
                                       "leer, no cambiar.")
                              .arg(ctx.home));
        access = DatabaseAccess::ReadOnly;
    }
    Result<std::unique_ptr<Database>> local = Database::openSqlite(file, access);
    if (!local)
        return failed(ctx, errorText(ctx.guru, local.error()));
    const QString missing = (*local)->verifySchema();
    if (!missing.isEmpty())
        return failed(ctx, QStringLiteral("La base de datos %1 no tiene: %2").arg(databasePath(ctx.home), missing));
    if (recordsInFile) {
        ctx.db = std::move(local).value();
        return {};
    }

    if (ctx.passwordFor != target.uri()) {
        ctx.password.clear();
        ctx.passwordFor = target.uri();
    }
    ConnectFailure failure = ConnectFailure::None;
    Result<std::unique_ptr<Database>> server =
        Database::openServer(target, passwordThrough(prompter, ctx.guru, &ctx.password), &failure);
    if (!server) {
        if (why)
            *why = failure;
        return failed(ctx, connectFailureText(ctx.guru, failure, target, untranslatedText(server.error())));
    }
    QString detail;
    const SchemaState state = (*server)->inspectSchema(&detail);
    if (state == SchemaState::Foreign)
        return failed(ctx, schemaStateText(ctx.guru, state, target, detail));
    if (state != SchemaState::Ready) {
        if (Status laid = layOutMissingTables(ctx, prompter, **server, target, state, detail, policy); !laid)
            return laid;
    }
    ctx.localDb = std::move(local).value();
    ctx.db = std::move(server).value();
    ctx.db->setSettingsDatabase(ctx.localDb.get());
    return {};
}

} // namespace tvq52
