#include "db/case_folding.h"

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

QString foldedSql(SqlDialect dialect, const QString& expression)
{
    if (dialect == SqlDialect::SQLite)
        return QStringLiteral("%1(%2)").arg(QLatin1String(kFoldFunction), expression);
    return QStringLiteral("LOWER(%1)").arg(expression);
}

QString containsPattern(const QString& fragment)
{
    QString escaped = foldCase(fragment);
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('%'), QLatin1String("\\%"))
        .replace(QLatin1Char('_'), QLatin1String("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

bool registerCaseFolding(const QSqlDatabase& db, QString* error)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0
        || !*static_cast<sqlite3* const*>(handle.constData())) {
        *error = QStringLiteral("La conexión no es de SQLite");
        return false;
    }
    sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData());
    const int rc = sqlite3_create_function_v2(connection, kFoldFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                              &foldFunction, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errstr(rc));
        return false;
    }
    return true;
}

} // namespace tvq52
