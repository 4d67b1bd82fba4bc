#include "db/server_text.h"

#include <QDate>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace tvq52 {

QByteArray serverBoolText(bool value)
{
    return value ? QByteArrayLiteral("t") : QByteArrayLiteral("f");
}

QByteArray serverRealText(float value)
{
    // Not printf: the program runs under the user's locale.
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, int(end.ptr - buffer));
}

namespace {

QByteArray serverDateText(const QVariant& value)
{
    const QDate d =
        value.typeId() == QMetaType::QDate ? value.toDate() : QDate::fromString(value.toString().left(10), Qt::ISODate);
    if (!d.isValid() || d.year() < 1 || d.year() > 9999)
        return QByteArray();
    char text[10];
    const int parts[] = {d.year() / 100, d.year() % 100, d.month(), d.day()};
    for (int i = 0, at = 0; i < 4; ++i) {
        if (i >= 2)
            text[at++] = '-';
        text[at++] = char('0' + parts[i] / 10);
        text[at++] = char('0' + parts[i] % 10);
    }
    return QByteArray(text, 10);
}

} // namespace

QByteArray serverText(const ColumnDef& column, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return QByteArray();
    switch (column.type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        return QByteArray::number(value.toLongLong());
    case ColumnType::Single:
        return serverRealText(value.toFloat());
    case ColumnType::Boolean:
        return serverBoolText(value.toBool());
    case ColumnType::Date:
        return serverDateText(value);
    case ColumnType::Text: {
        QByteArray text = value.toString().toUtf8();
        if (text.isNull())
            text = QByteArray("");
        return text;
    }
    }
    return QByteArray();
}

QVariant fromServerText(const ColumnDef& column, const char* text)
{
    if (!text)
        return QVariant();
    switch (column.type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        return QVariant(qlonglong(std::strtoll(text, nullptr, 10)));
    case ColumnType::Single: {
        // Not strtof: the program runs under the user's locale.
        float v = 0;
        std::from_chars(text, text + std::strlen(text), v);
        return QVariant(double(v));
    }
    case ColumnType::Boolean:
        return QVariant(text[0] == 't' ? 1 : 0);
    case ColumnType::Date:
    case ColumnType::Text:
        return QVariant(QString::fromUtf8(text));
    }
    return QVariant();
}

QString serverCast(const ColumnDef& column)
{
    switch (column.type) {
    case ColumnType::Long:
        return QStringLiteral("integer");
    case ColumnType::Short:
    case ColumnType::Byte:
        return QStringLiteral("smallint");
    case ColumnType::Single:
        return QStringLiteral("real");
    case ColumnType::Boolean:
        return QStringLiteral("boolean");
    case ColumnType::Date:
        return QStringLiteral("date");
    case ColumnType::Text:
        // Not varchar(n): that cast would cut a longer text without a word.
        return QStringLiteral("text");
    }
    return QStringLiteral("text");
}

void appendServerArrayElement(QByteArray& literal, const QByteArray& element)
{
    if (element.isNull()) {
        literal += "NULL";
        return;
    }
    literal += '"';
    for (const char c : element) {
        if (c == '"' || c == '\\')
            literal += '\\';
        literal += c;
    }
    literal += '"';
}

void ServerArray::append(const QByteArray& element)
{
    if (text_.size() > 1)
        text_ += ',';
    appendServerArrayElement(text_, element);
}

QByteArray ServerArray::finish()
{
    text_ += '}';
    QByteArray done = std::move(text_);
    text_ = QByteArrayLiteral("{");
    return done;
}

} // namespace tvq52
