#include "db/case_folding.h"

#include "core/own_words.h"
#include "db/sqlite_statement.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>
#include <sqlite3.h>

namespace tvq52 {

namespace {

constexpr char kFoldFunction[] = "tvq52_fold";

void foldFunction(sqlite3_context* context, int, sqlite3_value** args)
{
    if (sqlite3_value_type(args[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    const QByteArray folded = foldCase(QString::fromUtf8(text, sqlite3_value_bytes(args[0]))).toUtf8();
    sqlite3_result_text(context, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
}

} // namespace

QString foldCase(const QString& text)
{
    return text.toCaseFolded();
}

namespace {

// translate() arguments that fold every letter venue texts can hold (the
// Windows-1252 repertoire) as foldCase does, whatever the server's locale.
const QString& serverFolding()
{
    static const QString sql = [] {
        QString from;
        QString to;
        static const char16_t extra[] = {u'\u0160', u'\u0152', u'\u017D', u'\u0178'}; // Š Œ Ž Ÿ
        QString candidates;
        for (char16_t c = 0x41; c < 0x100; ++c)
            candidates += QChar(c);
        for (char16_t c : extra)
            candidates += QChar(c);
        for (const QChar c : candidates) {
            const QString folded = foldCase(QString(c));
            if (folded.size() == 1 && folded[0] != c) {
                from += c;
                to += folded[0];
            }
        }
        return QStringLiteral("'%1', '%2'").arg(from, to);
    }();
    return sql;
}

} // namespace

QString foldedSql(SqlDialect dialect, const QString& expression)
{
    if (dialect == SqlDialect::SQLite)
        return QStringLiteral("%1(%2)").arg(QLatin1String(kFoldFunction), expression);
    return QStringLiteral("translate(%1, %2)").arg(expression, serverFolding());
}

QString containsPattern(const QString& fragment)
{
    QString escaped = foldCase(fragment);
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('%'), QLatin1String("\\%"))
        .replace(QLatin1Char('_'), QLatin1String("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

Status registerCaseFolding(const QSqlDatabase& db)
{
    sqlite3* connection = sqliteHandle(db);
    if (!connection)
        return ownWords(QStringLiteral("La conexión no es de SQLite"));
    const int rc = sqlite3_create_function_v2(connection, kFoldFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                              &foldFunction, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return finalText(QString::fromUtf8(sqlite3_errstr(rc)));
    return {};
}

} // namespace tvq52
