#include "exchange/exchange_writer.h"

#include "core/regular_file.h"
#include "core/sha256.h"
#include "db/database.h"
#include "db/store.h"
#include "evidence/exchange_provenance.h"
#include "evidence/journal.h"
#include "evidence/provenance_store.h"
#include "exchange/exchange_format.h"

#include <QDate>
#include <QDateTime>
#include <QSaveFile>
#include <vector>

namespace tvq52 {

namespace {

QString fieldText(const ColumnDef& c, const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return {};
    switch (c.type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        return QString::number(v.toLongLong());
    case ColumnType::Single:
        // Nine significant digits give back the same single on reading.
        return QString::number(double(v.toFloat()), 'g', 9);
    case ColumnType::Boolean:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case ColumnType::Date:
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case ColumnType::Text:
        return quoteField(v.toString());
    }
    return {};
}

} // namespace

Result<qint64> writeExchangeFile(Database& database, const QString& path, const QList<qint32>& serials)
{
    if (isNonRegularFile(path))
        return nonRegularFileError(path, FileUse::Write);
    // The journal as it stands when writing begins: its head and, for each
    // unit, the entries that stored the records about to be written.
    FileProvenance provenance;
    provenance.head = Journal(database).head();
    provenance.written = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    for (qint32 serial : serials) {
        const Result<QList<SourceEntry>> entries = unitSourceEntries(database, serial);
        if (!entries)
            return entries.error();
        provenance.entries += *entries;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Error(0, file.errorString());
    Store store(database);
    qint64 count = 0;
    const QByteArray crlf("\r\n");
    // Every byte before the provenance is hashed as it goes out, so that the
    // receiving office can tell a file changed on the way.
    Sha256 digest;
    const auto write = [&file, &digest](const QByteArray& bytes) {
        digest.add(bytes);
        file.write(bytes);
    };
    // UTF-8 with its byte-order mark holds every text as stored.
    write(QByteArrayLiteral("\xEF\xBB\xBF"));
    for (const ExchangeSection& s : exchangeSections()) {
        write((QStringLiteral("//") + s.name + QStringLiteral("//")).toUtf8() + crlf);
        write(s.fileColumns.join(QLatin1Char(';')).toUtf8() + crlf);
        QStringList order;
        for (const char* k : s.table->key)
            order << QString::fromUtf8(k);
        for (qint32 serial : serials) {
            Row where;
            where.set(QStringLiteral("LNumeroSerie"), serial);
            const QList<Row> found = store.select(s.name, where, order);
            if (!store.lastError().isEmpty()) {
                file.cancelWriting();
                return Error(0, store.lastError());
            }
            // Each field's column and place in the rows, found once a unit:
            // looked up by name for every field, a large export spent most
            // of its time there.
            struct Field {
                const ColumnDef* column = nullptr;
                qsizetype at = -1;
                qsizetype timeAt = -1; // the time that joins a split date-time
            };
            std::vector<Field> layout;
            if (!found.isEmpty()) {
                const QStringList& names = found.first().columns();
                const auto place = [&names](const QString& name) {
                    for (qsizetype i = 0; i < names.size(); ++i)
                        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
                            return i;
                    return qsizetype(-1);
                };
                for (const QString& name : s.fileColumns) {
                    Field f{s.table->column(name), place(name), -1};
                    if (s.splitsDateTimes && name == QLatin1String("DFechaInicio"))
                        f.timeAt = place(QStringLiteral("THoraInicio"));
                    else if (s.splitsDateTimes && name == QLatin1String("DFechaFinal"))
                        f.timeAt = place(QStringLiteral("THoraFinal"));
                    layout.push_back(f);
                }
            }
            for (const Row& r : found) {
                QStringList fields;
                fields.reserve(qsizetype(layout.size()));
                for (const Field& f : layout) {
                    QString text = f.at < 0 ? QString() : fieldText(*f.column, r.values().at(f.at));
                    if (f.timeAt >= 0 && !text.isEmpty()) {
                        const QString time = r.values().at(f.timeAt).toString();
                        if (!time.isEmpty())
                            text += QLatin1Char(' ') + time + QStringLiteral(":00");
                    }
                    fields << text;
                }
                write(fields.join(QLatin1Char(';')).toUtf8() + crlf);
                ++count;
            }
        }
    }
    // Last, so that older readers pass over it as an unknown section.
    provenance.statedDigest = digest.result().toHex();
    file.write((QStringLiteral("//") + kProvenanceSection + QStringLiteral("//")).toUtf8() + crlf);
    file.write(provenanceLines(provenance));
    // commit() alone misses a failure of the last buffered write.
    if (!file.flush() || !file.commit())
        return Error(0, file.errorString());
    return count;
}

} // namespace tvq52
