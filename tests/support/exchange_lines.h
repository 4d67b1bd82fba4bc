#pragma once

#include "exchange/exchange_format.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>

namespace tvq52::test {

using Fields = std::map<QString, QString>;

// A default text for every column, so that a test names only what it checks.
inline QString defaultField(const ColumnDef& c)
{
    switch (c.type) {
    case ColumnType::Long:
        return QStringLiteral("7001");
    case ColumnType::Short:
    case ColumnType::Byte:
        return QStringLiteral("3");
    case ColumnType::Single:
        return QStringLiteral("61.5");
    case ColumnType::Boolean:
        return QStringLiteral("0");
    case ColumnType::Date:
        return QStringLiteral("2024-03-05 10:15:00");
    case ColumnType::Text:
        return QStringLiteral("\"x\"");
    }
    return {};
}

// One record of `section` in Windows-1252, `given` fields as written and the others by default.
inline QByteArray dataLine(const char* section, const Fields& given, const char* eol = "\r\n")
{
    const ExchangeSection* s = exchangeSection(QString::fromLatin1(section));
    QStringList out;
    for (const QString& name : s->fileColumns) {
        const auto it = given.find(name);
        out << (it != given.end() ? it->second : defaultField(*s->table->column(name)));
    }
    return encodeWindows1252(out.join(QLatin1Char(';'))) + eol;
}

// A section line and its header line.
inline QByteArray sectionStart(const char* section, const char* eol = "\r\n")
{
    const ExchangeSection* s = exchangeSection(QString::fromLatin1(section));
    return QByteArray("//") + section + "//" + eol + s->fileColumns.join(QLatin1Char(';')).toLatin1() + eol;
}

} // namespace tvq52::test
