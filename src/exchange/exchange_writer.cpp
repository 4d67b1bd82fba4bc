#include "exchange/exchange_writer.h"

#include "core/own_words.h"
#include "core/regular_file.h"
#include "core/sha256.h"
#include "db/database.h"
#include "db/unit_rows.h"
#include "evidence/exchange_provenance.h"
#include "evidence/journal.h"
#include "evidence/provenance_store.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_signature.h"

#include <QDate>
#include <QDateTime>
#include <QSaveFile>
#include <cerrno>
#include <charconv>
#include <string_view>
#include <vector>

namespace tvq52 {

namespace {

// What goes out before the provenance, handed to the file and hashed a block
// at a time: a million rows never sit in memory together.
class BlockWriter {
public:
    BlockWriter(QSaveFile& file, Sha256& digest) : file_(file), digest_(digest) { block_.reserve(kBlock + 4096); }
    QByteArray& bytes() { return block_; }
    void endLine()
    {
        block_.append("\r\n", 2);
        if (block_.size() >= kBlock)
            flush();
    }
    void flush()
    {
        digest_.add(block_);
        write(block_);
        block_.resize(0);
    }
    // A failed write fails the commit, where it is told; its reason is kept
    // here, as the file has often forgotten it by then (a write cut short
    // leaves it none).
    void write(const QByteArray& bytes)
    {
        errno = 0;
        if (file_.write(bytes) != bytes.size() && failure_.isEmpty())
            failure_ = writeFailureText(file_, errno);
    }
    const QString& failure() const { return failure_; }

private:
    static constexpr qsizetype kBlock = 1 << 20;
    QSaveFile& file_;
    Sha256& digest_;
    QByteArray block_;
    QString failure_;
};

void appendInteger(QByteArray& out, qint64 value)
{
    char text[24];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr - text);
}

void appendQuoted(QByteArray& out, std::string_view text)
{
    out.append('"');
    for (size_t quote; (quote = text.find('"')) != std::string_view::npos; text.remove_prefix(quote + 1))
        out.append(text.data(), qsizetype(quote)).append("\"\"", 2);
    out.append(text.data(), qsizetype(text.size())).append('"');
}

// The stored date when it is one ("yyyy-mm-dd" leads its text), else empty.
std::string_view storedDate(std::string_view text)
{
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return {};
    int parts[3] = {0, 0, 0};
    const int from[3] = {0, 5, 8}, digits[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p)
        for (int i = from[p]; i < from[p] + digits[p]; ++i) {
            if (text[size_t(i)] < '0' || text[size_t(i)] > '9')
                return {};
            parts[p] = parts[p] * 10 + (text[size_t(i)] - '0');
        }
    return QDate::isValid(parts[0], parts[1], parts[2]) ? text.substr(0, 10) : std::string_view();
}

// One field of the file: where its value is among the columns read, and the
// time that joins a split date-time.
struct Field {
    const ColumnDef* column = nullptr;
    int at = -1;
    int timeAt = -1;
};

void appendField(QByteArray& out, const UnitRows& rows, const Field& f)
{
    if (rows.isNull(f.at))
        return;
    switch (f.column->type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        appendInteger(out, rows.integer(f.at));
        break;
    case ColumnType::Single:
        appendSingle(out, float(rows.real(f.at)));
        break;
    case ColumnType::Boolean:
        out.append(rows.boolean(f.at) ? '1' : '0');
        break;
    case ColumnType::Date: {
        const std::string_view date = storedDate(rows.text(f.at));
        out.append(date.data(), qsizetype(date.size()));
        if (!date.empty() && f.timeAt >= 0 && !rows.isNull(f.timeAt)) {
            const std::string_view time = rows.text(f.timeAt);
            if (!time.empty())
                out.append(' ').append(time.data(), qsizetype(time.size())).append(":00", 3);
        }
        break;
    }
    case ColumnType::Text:
        appendQuoted(out, rows.text(f.at));
        break;
    }
}

// A record's key as the journal lists it: its values' canonical texts,
// blank separated.
void appendKey(QByteArray& out, const UnitRows& rows, const std::vector<Field>& key)
{
    out.resize(0);
    for (const Field& f : key) {
        if (&f != &key.front())
            out.append(' ');
        if (rows.isNull(f.at))
            continue;
        switch (f.column->type) {
        case ColumnType::Long:
        case ColumnType::Short:
        case ColumnType::Byte:
            appendInteger(out, rows.integer(f.at));
            break;
        case ColumnType::Single:
            out.append(QByteArray::number(double(float(rows.real(f.at))), 'f', 1));
            break;
        case ColumnType::Boolean:
            out.append(rows.boolean(f.at) ? '1' : '0');
            break;
        case ColumnType::Date:
        case ColumnType::Text: {
            std::string_view t = rows.text(f.at);
            if (f.column->type == ColumnType::Date)
                t = t.substr(0, 10);
            out.append(t.data(), qsizetype(t.size()));
            break;
        }
        }
    }
}

// Writes one unit's rows of a section; false with the reason when they cannot be read.
Status writeUnitRows(Database& database, const ExchangeSection& s, qint32 serial, BlockWriter& out,
                     UnitSources& sources, qint64& count)
{
    // The file's columns, then the times the file joins to its dates.
    QStringList columns = s.fileColumns;
    if (s.splitsDateTimes)
        columns << QStringLiteral("THoraInicio") << QStringLiteral("THoraFinal");
    const auto place = [&columns](const QString& name) { return int(columns.indexOf(name)); };
    std::vector<Field> fields;
    for (const QString& name : s.fileColumns) {
        Field f{s.table->column(name), place(name), -1};
        if (s.splitsDateTimes && name == QLatin1String("DFechaInicio"))
            f.timeAt = place(QStringLiteral("THoraInicio"));
        else if (s.splitsDateTimes && name == QLatin1String("DFechaFinal"))
            f.timeAt = place(QStringLiteral("THoraFinal"));
        fields.push_back(f);
    }
    const bool listed = UnitSources::listed(*s.table);
    std::vector<Field> key;
    for (const char* k : s.table->key)
        key.push_back(Field{s.table->column(QString::fromUtf8(k)), place(QString::fromUtf8(k)), -1});
    UnitRows rows(database);
    if (const Status opened = rows.open(*s.table, columns, serial); !opened)
        return opened;
    QByteArray keyText;
    while (rows.next()) {
        QByteArray& line = out.bytes();
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                line.append(';');
            appendField(line, rows, fields[i]);
        }
        out.endLine();
        if (listed) {
            appendKey(keyText, rows, key);
            sources.count(*s.table, std::string_view(keyText.constData(), size_t(keyText.size())));
        }
        ++count;
    }
    return rows.status();
}

} // namespace

Result<qint64> writeExchangeFile(Database& database, const QString& path, const QList<qint32>& serials,
                                 ExchangeSigning* signing)
{
    if (isNonRegularFile(path))
        return nonRegularFileError(path, FileUse::Write);
    // A key that cannot be loaded writes nothing, never an unsigned file in its place.
    const Result<Signer*> signer = OfficeSigning::signer();
    if (!signer)
        return signer.error();
    // The journal as it stands when writing begins: its head and, for each
    // unit, the entries that stored the records about to be written.
    FileProvenance provenance;
    Result<QByteArray> head = Journal(database).head();
    if (!head)
        return head.error();
    provenance.head = std::move(head).value();
    provenance.written = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    std::vector<UnitSources> sources;
    for (qint32 serial : serials) {
        Result<UnitSources> read = UnitSources::read(database, serial);
        if (!read)
            return read.error();
        sources.push_back(std::move(read).value());
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Error(0, file.errorString());
    qint64 count = 0;
    const QByteArray crlf("\r\n");
    // Every byte before the provenance is hashed as it goes out, so that the
    // receiving office can tell a file changed on the way.
    Sha256 digest;
    BlockWriter out(file, digest);
    // UTF-8 with its byte-order mark holds every text as stored.
    out.bytes().append("\xEF\xBB\xBF", 3);
    for (const ExchangeSection& s : exchangeSections()) {
        out.bytes().append((QStringLiteral("//") + s.name + QStringLiteral("//")).toUtf8());
        out.endLine();
        out.bytes().append(s.fileColumns.join(QLatin1Char(';')).toUtf8());
        out.endLine();
        for (size_t u = 0; u < size_t(serials.size()); ++u) {
            if (const Status done = writeUnitRows(database, s, serials[qsizetype(u)], out, sources[u], count); !done) {
                file.cancelWriting();
                return done.error();
            }
        }
    }
    out.flush();
    // The journal entries that stored what the file carries, unit by unit.
    for (const UnitSources& unit : sources) {
        const Result<QList<SourceEntry>> entries = unit.entries(database);
        if (!entries) {
            file.cancelWriting();
            return entries.error();
        }
        provenance.entries += *entries;
    }
    // Last, so that older readers pass over it as an unknown section.
    provenance.statedDigest = digest.result().toHex();
    if (*signer) {
        const Result<Signature> made = signProvenance(provenance, **signer);
        if (!made) {
            file.cancelWriting();
            return made.error();
        }
        if (signing) {
            signing->signer = (*signer)->certificate();
            if (!made->timeStampProblem.isEmpty())
                signing->warning = ownWords(QStringLiteral("El archivo se ha firmado sin sello de tiempo: %1"),
                                            {made->timeStampProblem});
        }
    } else if (signing && OfficeSigning::firstUnsignedWarning()) {
        signing->warning =
            ownWords(QStringLiteral("Este PC no tiene clave de firma: los archivos de intercambio se "
                                    "escriben sin firmar, y quien los reciba no sabrá quién los "
                                    "escribió."));
    }
    out.write((QStringLiteral("//") + kProvenanceSection + QStringLiteral("//")).toUtf8() + crlf);
    out.write(provenanceLines(provenance));
    // commit() alone misses a failure of the last buffered write.
    errno = 0;
    if (!file.flush())
        return Error(0, out.failure().isEmpty() ? writeFailureText(file, errno) : out.failure());
    if (!file.commit())
        return Error(0, out.failure().isEmpty() ? file.errorString() : out.failure());
    return count;
}

} // namespace tvq52
