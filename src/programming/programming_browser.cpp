#include "programming/programming_browser.h"

#include "db/case_folding.h"
#include "db/database.h"
#include "db/schema.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <array>

namespace tvq52 {

namespace {

const std::array<SearchField, 8> kSearchFields{{
    {QStringLiteral("MaskNumeroSerie"), QStringLiteral("LNumeroSerie"), 2},
    {QStringLiteral("MaskVersion"), QStringLiteral("TVersion"), 3},
    {QStringLiteral("MaskFecha"), QStringLiteral("DFecha"), 4},
    {QStringLiteral("MaskContacto"), QStringLiteral("TContacto"), 5},
    {QStringLiteral("MaskLocal"), QStringLiteral("TLocal"), 6},
    {QStringLiteral("MaskDireccion"), QStringLiteral("TDireccion"), 7},
    {QStringLiteral("MaskPoblacion"), QStringLiteral("TPoblacion"), 8},
    {QStringLiteral("MaskTelefono"), QStringLiteral("TTelefono"), 9},
}};

QString serialColumn()
{
    return quoteIdentifier(QStringLiteral("LNumeroSerie"));
}

// The column as the user sees it: dates are stored "yyyy-mm-dd" and shown
// "dd/mm/yy".
QString searchableText(SqlDialect dialect, const QString& column)
{
    const QString text = QStringLiteral("CAST(%1 AS VARCHAR(255))").arg(quoteIdentifier(column));
    if (column != QLatin1String("DFecha"))
        return foldedSql(dialect, text);
    return QStringLiteral("(SUBSTR(%1, 9, 2) || '/' || SUBSTR(%1, 6, 2) || '/' || SUBSTR(%1, 3, 2))").arg(text);
}

} // namespace

std::optional<SearchField> searchFieldOf(const QString& control)
{
    for (const SearchField& f : kSearchFields)
        if (f.control == control)
            return f;
    return std::nullopt;
}

std::optional<qint32> ProgrammingBrowser::firstSerial(const QString& where, const QString& order,
                                                      const QVariantList& binds) const
{
    QSqlQuery q(database_.connection());
    q.setForwardOnly(true);
    const QString sql = QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %1 %4 LIMIT 1")
                            .arg(serialColumn(), quoteIdentifier(QStringLiteral("Programacion")),
                                 where.isEmpty() ? QString() : QLatin1String(" WHERE ") + where, order);
    if (!q.prepare(sql)) {
        lastError_ = q.lastError().text();
        return std::nullopt;
    }
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec()) {
        lastError_ = q.lastError().text();
        return std::nullopt;
    }
    if (!q.next())
        return std::nullopt;
    return q.value(0).toInt();
}

bool ProgrammingBrowser::isEmpty() const
{
    return !first().has_value();
}

bool ProgrammingBrowser::contains(qint32 serial) const
{
    return firstSerial(serialColumn() + QLatin1String(" = ?"), QStringLiteral("ASC"), {serial}).has_value();
}

std::optional<qint32> ProgrammingBrowser::first() const
{
    return firstSerial({}, QStringLiteral("ASC"), {});
}

std::optional<qint32> ProgrammingBrowser::next(qint32 serial) const
{
    return firstSerial(serialColumn() + QLatin1String(" > ?"), QStringLiteral("ASC"), {serial});
}

std::optional<qint32> ProgrammingBrowser::previous(qint32 serial) const
{
    return firstSerial(serialColumn() + QLatin1String(" < ?"), QStringLiteral("DESC"), {serial});
}

std::optional<qint32> ProgrammingBrowser::findContaining(const SearchField& field, const QString& text) const
{
    // Only the known columns reach the query text.
    const auto known = searchFieldOf(field.control);
    if (!known)
        return std::nullopt;
    return firstSerial(searchableText(database_.dialect(), known->column) + QLatin1String(" LIKE ? ESCAPE '\\'"),
                       QStringLiteral("ASC"), {containsPattern(text)});
}

std::optional<qint32> ProgrammingBrowser::findCommandLineSerial(const QString& argument) const
{
    static const QRegularExpression digits(QStringLiteral("^-?\\d{1,10}$"));
    const QString text = argument.trimmed();
    bool ok = false;
    const qint32 serial = text.toInt(&ok);
    // Leading zeros or signs would not match the stored serial's text.
    if (!digits.match(text).hasMatch() || !ok || QString::number(serial) != text)
        return std::nullopt;
    if (!contains(serial))
        return std::nullopt;
    return serial;
}

} // namespace tvq52
