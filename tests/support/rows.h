#pragma once

#include "db/row_sink.h"
#include "db/store.h"

#include <QDateTime>
#include <initializer_list>
#include <utility>

namespace tvq52::test {

inline Row row(std::initializer_list<std::pair<const char*, QVariant>> values)
{
    Row r;
    for (const auto& [column, value] : values)
        r.set(QString::fromUtf8(column), value);
    return r;
}

// A record of `serial` from `start` to `end`, with the columns in `more`.
inline Row spanRow(qint32 serial, const QDateTime& start, const QDateTime& end,
                   std::initializer_list<std::pair<const char*, QVariant>> more = {})
{
    Row r = row(more);
    r.set(QStringLiteral("LNumeroSerie"), serial);
    r.set(QStringLiteral("DFechaInicio"), start.date());
    r.set(QStringLiteral("THoraInicio"), start.time().toString(QStringLiteral("HH:mm")));
    r.set(QStringLiteral("DFechaFinal"), end.date());
    r.set(QStringLiteral("THoraFinal"), end.time().toString(QStringLiteral("HH:mm")));
    return r;
}

// Every column of the table, in its own order, as a sink takes it.
inline SinkTable wholeSinkTable(const char* name)
{
    SinkTable t;
    t.table = schemaTable(QString::fromLatin1(name));
    for (const ColumnDef& c : t.table->columns)
        t.columns.push_back(&c);
    for (const char* k : t.table->key)
        for (size_t i = 0; i < t.columns.size(); ++i)
            if (qstrcmp(t.columns[i]->name, k) == 0)
                t.keyIndex.push_back(int(i));
    return t;
}

} // namespace tvq52::test
