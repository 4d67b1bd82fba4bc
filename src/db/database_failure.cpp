#include "db/database_failure.h"

#include "core/own_words.h"
#include "db/database.h"

#include <QDir>
#include <QRegularExpression>
#include <QSqlError>
#include <array>
#include <sqlite3.h>

namespace tvq52 {

namespace {

using Kind = DatabaseFailure::Kind;

// What a text's %1 and %2 are filled with.
enum class Arg : std::uint8_t { None, Detail, FirstLine, Database, Server, User, Name, File, Folder, Unit, Right };

struct Words {
    Kind kind;
    FailureWording as;
    const char* text; // native; translated where it is shown
    std::array<Arg, 2> args;
};

// A refused permission reads the same wherever it is told.
constexpr const char* kNoPermission =
    "Su usuario de la base de datos no tiene el permiso «%1» necesario para esta operación.";

// The one wording table. Each place keeps the words its users have always
// seen: a download's sentence says what stays stored and what to do, an
// import or a merge puts the bare cause into its own sentence.
constexpr Words kWords[] = {
    {Kind::Unreachable, FailureWording::Opening,
     "No hay respuesta del servidor de bases de datos %1.\r\nCompruebe la dirección y el puerto, y que el servidor "
     "esté en marcha y accesible desde este PC.",
     {Arg::Server, Arg::None}},
    {Kind::Authentication, FailureWording::Opening,
     "El servidor %1 no acepta al usuario %2: la contraseña no es correcta, o el servidor no admite conexiones desde "
     "este PC (pg_hba.conf).\r\nCompruebe el usuario y la contraseña, o pida acceso al administrador del servidor.",
     {Arg::Server, Arg::User}},
    {Kind::NoDatabase, FailureWording::Opening,
     "El servidor %1 no tiene ninguna base de datos llamada %2.\r\nCompruebe el nombre, o pida al administrador que "
     "la cree con codificación UTF8.",
     {Arg::Server, Arg::Name}},
    {Kind::NotUtf8, FailureWording::Opening,
     "La base de datos %1 usa la codificación %2: los acentos no se guardarían bien.\r\nPida al administrador una "
     "base de datos creada con codificación UTF8.",
     {Arg::Database, Arg::Detail}},
    {Kind::ReadOnly, FailureWording::Opening,
     "La carpeta de datos %1 no se puede escribir: sus registros solo se pueden leer, no cambiar.",
     {Arg::Folder, Arg::None}},
    {Kind::PermissionDenied, FailureWording::Opening, kNoPermission, {Arg::Right, Arg::None}},
    {Kind::PermissionDenied, FailureWording::Download, kNoPermission, {Arg::Right, Arg::None}},
    {Kind::PermissionDenied, FailureWording::Cause, kNoPermission, {Arg::Right, Arg::None}},
    {Kind::Other, FailureWording::Opening, "No se puede usar la base de datos %1:\r\n%2", {Arg::Database, Arg::Detail}},

    {Kind::UnitGone, FailureWording::Download,
     "La unidad %1 se ha borrado desde otro puesto: la descarga termina sin guardar más",
     {Arg::Unit, Arg::None}},
    {Kind::ConnectionLost, FailureWording::Download,
     "Se ha perdido la conexión con la base de datos (%1). Lo recibido hasta ahora está guardado y la unidad conserva "
     "el resto. Compruebe el servidor y la red, y vuelva a descargar.",
     {Arg::FirstLine, Arg::None}},
    {Kind::DiskFull, FailureWording::Download,
     "No queda espacio en el disco para la base de datos (%1). Lo recibido hasta ahora está guardado y la unidad "
     "conserva el resto. Libere espacio en el disco y vuelva a descargar.",
     {Arg::FirstLine, Arg::None}},
    {Kind::Locked, FailureWording::Download,
     "Otro programa mantiene bloqueada la base de datos (%1). Lo recibido hasta ahora está guardado y la unidad "
     "conserva el resto. Espere a que termine o ciérrelo, y vuelva a descargar.",
     {Arg::FirstLine, Arg::None}},
    {Kind::ReadOnly, FailureWording::Download,
     "No se puede escribir en la base de datos %1 (%2). Lo recibido hasta ahora está guardado y la unidad conserva el "
     "resto. Compruebe que el archivo y su carpeta admiten escritura, y vuelva a descargar.",
     {Arg::File, Arg::FirstLine}},
    {Kind::DiskError, FailureWording::Download,
     "Error al leer o escribir el archivo de la base de datos (%1). Lo recibido hasta ahora está guardado y la unidad "
     "conserva el resto. Compruebe el disco y vuelva a descargar.",
     {Arg::FirstLine, Arg::None}},
    {Kind::Other, FailureWording::Download, "No se pudo guardar en la base de datos: %1", {Arg::Detail, Arg::None}},

    {Kind::DiskFull, FailureWording::Cause, "el disco de la base de datos está lleno", {}},
    {Kind::Locked, FailureWording::Cause, "otro programa tiene la base de datos bloqueada", {}},
    {Kind::ReadOnly, FailureWording::Cause, "la base de datos solo se puede leer", {}},
    {Kind::DiskError, FailureWording::Cause, "error al leer o escribir el archivo de la base de datos", {}},
    {Kind::ConnectionLost, FailureWording::Cause, "se ha perdido la conexión con el servidor de bases de datos", {}},
    {Kind::Other, FailureWording::Cause, "la base de datos no ha aceptado la escritura", {}},
};

// The level a refusal names: the program's own check gives it; the server's
// refusal of one of our functions tells it by the function's prefix; any
// other refusal of a write is collect's, the least that writes.
QString neededLevel(const QString& detail)
{
    for (const char* level : {"read", "collect", "admin"})
        if (detail == QLatin1String(level))
            return detail;
    static const QRegularExpression prefix(QStringLiteral("tvq52_(read|journal|collect|admin)_"));
    const QString word = prefix.match(detail).captured(1);
    if (word == QLatin1String("read") || word == QLatin1String("admin"))
        return word;
    return QStringLiteral("collect");
}

const Words* ownWordsFor(Kind kind, FailureWording as)
{
    for (const Words& w : kWords)
        if (w.kind == kind && w.as == as)
            return &w;
    return nullptr;
}

QString argument(Arg arg, const DatabaseFailure& failure, const FailureSubject& subject)
{
    const DatabaseTarget& t = subject.database;
    switch (arg) {
    case Arg::None:
        break;
    case Arg::Detail:
        return failure.detail;
    case Arg::FirstLine:
        return failure.detail.trimmed().section(QLatin1Char('\n'), 0, 0);
    case Arg::Database:
        return t.displayName();
    case Arg::Server:
        return t.host.isEmpty() ? QStringLiteral("localhost:%1").arg(t.port)
                                : QStringLiteral("%1:%2").arg(t.host).arg(t.port);
    case Arg::User:
        return t.user.isEmpty() ? qEnvironmentVariable("USER") : t.user;
    case Arg::Name:
        return t.database;
    case Arg::File:
        return QDir::toNativeSeparators(t.path);
    case Arg::Folder:
        return subject.folder;
    case Arg::Unit:
        return QString::number(subject.unit);
    case Arg::Right:
        return neededLevel(failure.detail);
    }
    return {};
}

} // namespace

Error databaseError(DatabaseFailure::Kind kind, const QString& detail)
{
    return Error{kDatabaseFailureIds + int(kind), detail};
}

Error databaseError(const DatabaseFailure& failure)
{
    return databaseError(failure.kind, failure.detail);
}

DatabaseFailure databaseFailureOf(const Error& error)
{
    const int kind = error.catalogueId - kDatabaseFailureIds;
    const QString detail = error.text.isEmpty() ? error.detail : untranslatedText(error);
    const bool carried = kind > int(Kind::None) && kind <= int(Kind::PermissionDenied);
    // A told refusal keeps the level it named, to be told again elsewhere.
    if (carried && Kind(kind) == Kind::PermissionDenied && !error.textArgs.isEmpty())
        return DatabaseFailure{Kind::PermissionDenied, error.textArgs.front()};
    return DatabaseFailure{carried ? Kind(kind) : Kind::Other, detail};
}

bool hasOwnWords(DatabaseFailure::Kind kind, FailureWording as)
{
    return ownWordsFor(kind, as) != nullptr;
}

Error toldFailure(const DatabaseFailure& failure, FailureWording as, const FailureSubject& subject)
{
    const Words* words = ownWordsFor(failure.kind, as);
    if (!words)
        words = ownWordsFor(Kind::Other, as);
    // A refusal's words already name what its detail holds.
    const bool keepDetail = as == FailureWording::Cause && failure.kind != Kind::PermissionDenied;
    Error told(kDatabaseFailureIds + int(failure.kind), keepDetail ? failure.detail : QString());
    told.text = QString::fromUtf8(words->text);
    for (const Arg arg : words->args)
        if (arg != Arg::None)
            told.textArgs << argument(arg, failure, subject);
    return told;
}

Kind connectFailure(const QString& text)
{
    const auto has = [&](const char* words) { return text.contains(QLatin1String(words), Qt::CaseInsensitive); };
    if (has("password authentication failed") || has("no password supplied") || has("role \"")
        || has("no pg_hba.conf entry") || has("authentication failed"))
        return Kind::Authentication;
    if (has("database \"") && has("does not exist"))
        return Kind::NoDatabase;
    if (has("could not connect") || has("connection refused") || has("could not translate host name")
        || has("no such file or directory") || has("timeout expired") || has("no route to host")
        || has("network is unreachable") || has("server closed the connection"))
        return Kind::Unreachable;
    return Kind::Other;
}

bool isSqliteRowError(int code)
{
    switch (code & 0xFF) {
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
        return true;
    default:
        return false;
    }
}

DatabaseFailure sqliteFailure(int code, const QString& message)
{
    DatabaseFailure f;
    f.detail = message.trimmed();
    switch (code & 0xFF) {
    case SQLITE_FULL:
        f.kind = DatabaseFailure::Kind::DiskFull;
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        f.kind = DatabaseFailure::Kind::Locked;
        break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        f.kind = DatabaseFailure::Kind::ReadOnly;
        break;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        f.kind = DatabaseFailure::Kind::DiskError;
        break;
    default:
        f.kind = DatabaseFailure::Kind::Other;
        break;
    }
    return f;
}

DatabaseFailure sqliteFailure(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return sqliteFailure(ok ? code : SQLITE_ERROR, text);
}

bool isServerRowError(const QByteArray& sqlState, bool connectionUp)
{
    return connectionUp && (sqlState.startsWith("22") || sqlState.startsWith("23"));
}

DatabaseFailure serverFailure(const QByteArray& sqlState, const QString& message, bool connectionUp)
{
    DatabaseFailure f;
    f.detail = message.trimmed().section(QLatin1Char('\n'), 0, 0);
    if (!connectionUp || sqlState.startsWith("08") || sqlState == "57P01" || sqlState == "57P02" || sqlState == "57P03")
        f.kind = DatabaseFailure::Kind::ConnectionLost;
    else if (sqlState == "53100")
        f.kind = DatabaseFailure::Kind::DiskFull;
    else if (sqlState == "25006")
        f.kind = DatabaseFailure::Kind::ReadOnly;
    else if (sqlState == "42501")
        f.kind = DatabaseFailure::Kind::PermissionDenied;
    else if (sqlState == "55P03" || sqlState == "40P01" || sqlState == "57014")
        f.kind = DatabaseFailure::Kind::Locked;
    else if (sqlState == "58030")
        f.kind = DatabaseFailure::Kind::DiskError;
    else
        f.kind = DatabaseFailure::Kind::Other;
    return f;
}

DatabaseFailure databaseFailure(const QSqlError& error, bool server)
{
    if (error.type() == QSqlError::NoError)
        return {};
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if (server)
        return serverFailure(error.nativeErrorCode().toLatin1(), text, !isConnectionLoss(error));
    // SQLite's driver marks every failed step as a connection error: its own
    // result code tells the reason instead; without one nothing more is known.
    bool numeric = false;
    error.nativeErrorCode().toInt(&numeric);
    if (!numeric)
        return DatabaseFailure{DatabaseFailure::Kind::Other, text.trimmed()};
    return sqliteFailure(error);
}

} // namespace tvq52
