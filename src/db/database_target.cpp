#include "db/database_target.h"

#include "core/own_words.h"

#include <QUrl>
#include <QUrlQuery>

namespace tvq52 {

DatabaseTarget DatabaseTarget::sqlite(const QString& path)
{
    DatabaseTarget t;
    t.path = path;
    return t;
}

Result<DatabaseTarget> DatabaseTarget::fromUri(const QString& text)
{
    const auto fail = [](const QString& why) -> Result<DatabaseTarget> { return finalText(why); };
    // A socket folder may stand for the host, percent-encoded ("%2Frun%2Fpostgresql"),
    // which QUrl refuses as a host name: it is taken out and kept aside.
    QString written = text.trimmed();
    QString socketFolder;
    const qsizetype authorityStart = written.indexOf(QLatin1String("://"));
    if (authorityStart > 0) {
        const qsizetype from = authorityStart + 3;
        qsizetype end = written.indexOf(QLatin1Char('/'), from);
        if (end < 0)
            end = written.size();
        const qsizetype at = written.lastIndexOf(QLatin1Char('@'), end);
        const qsizetype hostStart = at >= from ? at + 1 : from;
        if (written.mid(hostStart, 3).compare(QLatin1String("%2F"), Qt::CaseInsensitive) == 0) {
            qsizetype hostEnd = written.indexOf(QLatin1Char(':'), hostStart);
            if (hostEnd < 0 || hostEnd > end)
                hostEnd = end;
            socketFolder = QUrl::fromPercentEncoding(written.mid(hostStart, hostEnd - hostStart).toUtf8());
            written.remove(hostStart, hostEnd - hostStart);
        }
    }
    const QUrl url(written, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("postgresql") && url.scheme() != QLatin1String("postgres")))
        return fail(QStringLiteral("No es una dirección postgresql://usuario@servidor:puerto/base: %1").arg(text));
    // Both ps and the settings file would show it.
    if (!url.password().isEmpty())
        return fail(
            QStringLiteral("La contraseña no puede ir en la dirección: use ~/.pgpass, PGPASSWORD o "
                           "déjela en blanco para que se le pregunte"));
    DatabaseTarget t;
    t.dialect = SqlDialect::PostgreSQL;
    t.host = socketFolder.isEmpty() ? url.host(QUrl::FullyDecoded) : socketFolder;
    if (url.port() > 0)
        t.port = url.port();
    t.user = url.userName(QUrl::FullyDecoded);
    t.database = url.path(QUrl::FullyDecoded);
    if (t.database.startsWith(QLatin1Char('/')))
        t.database.remove(0, 1);
    QStringList options;
    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("password"))
            return fail(
                QStringLiteral("La contraseña no puede ir en la dirección: use ~/.pgpass, PGPASSWORD o "
                               "déjela en blanco para que se le pregunte"));
        if (key == QLatin1String("host"))
            t.host = value;
        else if (key == QLatin1String("port"))
            t.port = value.toInt();
        else if (key == QLatin1String("user"))
            t.user = value;
        else if (key == QLatin1String("dbname"))
            t.database = value;
        else if (key.contains(QLatin1Char(';')) || value.contains(QLatin1Char(';')))
            return fail(QStringLiteral("Opción no válida en la dirección: %1").arg(key));
        else
            options << key + QLatin1Char('=') + value;
    }
    if (t.database.isEmpty())
        return fail(QStringLiteral("Falta el nombre de la base de datos en %1").arg(text));
    if (t.port <= 0 || t.port > 65535)
        return fail(QStringLiteral("Puerto no válido en %1").arg(text));
    t.options = options.join(QLatin1Char(';'));
    return t;
}

QString DatabaseTarget::uri() const
{
    if (!isServer())
        return {};
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    QUrlQuery query;
    // A socket folder is a path; it goes in the query, where slashes are plain.
    if (host.startsWith(QLatin1Char('/')))
        query.addQueryItem(QStringLiteral("host"), host);
    else
        url.setHost(host);
    if (!user.isEmpty())
        url.setUserName(user);
    if (port != 5432)
        url.setPort(port);
    url.setPath(QLatin1Char('/') + database);
    for (const QString& option : options.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        query.addQueryItem(option.section(QLatin1Char('='), 0, 0), option.section(QLatin1Char('='), 1));
    if (!query.isEmpty())
        url.setQuery(query);
    QString text = url.toString(QUrl::FullyEncoded);
    // QUrl writes "postgresql:/db" without an authority; libpq and people expect "//".
    if (url.host().isEmpty() && !text.startsWith(QLatin1String("postgresql://")))
        text.replace(0, int(qstrlen("postgresql:")), QStringLiteral("postgresql://"));
    return text;
}

QString DatabaseTarget::displayName() const
{
    if (!isServer())
        return path;
    return QStringLiteral("%1@%2:%3/%4")
        .arg(user.isEmpty() ? QStringLiteral("?") : user, host.isEmpty() ? QStringLiteral("localhost") : host)
        .arg(port)
        .arg(database);
}

} // namespace tvq52
