#include "exchange/exchange_reader.h"

#include "exchange/exchange_format.h"

namespace tvq52 {

namespace {

void chopLineEnd(QByteArray* bytes)
{
    if (bytes->endsWith('\n'))
        bytes->chop(1);
    if (bytes->endsWith('\r'))
        bytes->chop(1);
}

} // namespace

bool ExchangeReader::open(const QString& path, QString* error)
{
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadOnly)) {
        *error = file_.errorString();
        return false;
    }
    const QByteArray bom = file_.peek(3);
    utf8_ = bom == QByteArray("\xEF\xBB\xBF", 3);
    if (utf8_)
        file_.read(3);
    line_ = 0;
    return true;
}

QString ExchangeReader::decode(const QByteArray& bytes) const
{
    return utf8_ ? QString::fromUtf8(bytes) : decodeWindows1252(bytes);
}

bool ExchangeReader::next(ExchangeRecord* record)
{
    // readLine() comes back empty only at the end; atEnd() would ask the
    // file system for the size at every line.
    QByteArray raw = file_.readLine();
    if (raw.isEmpty())
        return false;
    ++line_;
    record->line = line_;
    record->fields.clear();
    record->section.clear();
    if (raw.startsWith("//")) {
        chopLineEnd(&raw);
        record->kind = ExchangeRecord::Kind::Section;
        record->section = decode(raw.mid(2, raw.size() - 4));
        return true;
    }
    // An odd count of quotes leaves a quoted field open: its line end is part
    // of the field, and so is the next line.
    qsizetype quotes = raw.count('"');
    bool complete = raw.endsWith('\n');
    while (quotes % 2 == 1) {
        const QByteArray more = file_.readLine();
        if (more.isEmpty())
            break;
        ++line_;
        quotes += more.count('"');
        raw += more;
        complete = raw.endsWith('\n');
    }
    // A quote left open at the end of the file means the file was cut short;
    // so may a last line without its line end (the caller counts its fields).
    record->unterminated = !complete;
    chopLineEnd(&raw);
    record->kind = quotes % 2 == 1 ? ExchangeRecord::Kind::Cut : ExchangeRecord::Kind::Fields;
    record->fields = splitFields(decode(raw));
    return true;
}

} // namespace tvq52
