#include "exchange/exchange_reader.h"

#include "core/regular_file.h"
#include "exchange/exchange_format.h"

#include <QFileInfo>
#include <algorithm>
#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tvq52 {

namespace {

// A record's quotes, found by memchr: QByteArray::count looks at every byte alone.
qsizetype quotesIn(QByteArrayView bytes)
{
    qsizetype n = 0;
    if (bytes.isEmpty())
        return n;
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    while ((at = static_cast<const char*>(std::memchr(at, '"', size_t(end - at)))) != nullptr) {
        ++n;
        ++at;
    }
    return n;
}

void chopLineEnd(QByteArray* bytes)
{
    if (bytes->endsWith('\n'))
        bytes->chop(1);
    if (bytes->endsWith('\r'))
        bytes->chop(1);
}

bool isBlank(const QByteArray& bytes)
{
    for (char c : bytes)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    return true;
}

} // namespace

Status ExchangeReader::open(const QString& path)
{
    enum class OpenFailure { None, CannotOpen, NotARegularFile };
    OpenFailure failure = OpenFailure::None;
    QString error;
    file_.setFileName(path);
#ifdef Q_OS_UNIX
    // Opened without waiting (a pipe would wait for a writer) and checked on
    // the descriptor itself, so that nothing can be swapped in between.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) {
        failure = OpenFailure::CannotOpen;
        error = QString::fromLocal8Bit(strerror(errno));
    } else if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        failure = OpenFailure::NotARegularFile;
        ::close(fd);
    } else {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (!file_.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            failure = OpenFailure::CannotOpen;
            error = file_.errorString();
            ::close(fd);
        }
    }
#else
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        failure = OpenFailure::NotARegularFile;
    else if (!file_.open(QIODevice::ReadOnly)) {
        failure = OpenFailure::CannotOpen;
        error = file_.errorString();
    }
#endif
    if (failure == OpenFailure::NotARegularFile)
        return nonRegularFileError(path, FileUse::Read);
    if (failure != OpenFailure::None)
        return Error(0, error);
    const QByteArray bom = file_.peek(3);
    utf8_ = bom == QByteArray("\xEF\xBB\xBF", 3);
    digest_.reset();
    pendingSection_.clear();
    if (utf8_)
        hash(file_.read(3));
    line_ = 0;
    skipping_ = false;
    return Status();
}

void ExchangeReader::setLimits(qint64 maxBytes, int maxFields)
{
    maxBytes_ = maxBytes;
    maxFields_ = maxFields;
}

QString ExchangeReader::decode(const QByteArray& bytes) const
{
    return utf8_ ? QString::fromUtf8(bytes) : decodeWindows1252(bytes);
}

Result<ExchangeReader::Read> ExchangeReader::nothingRead() const
{
    // Reading past the end gives nothing too; only a failed read leaves an error.
    if (file_.error() != QFileDevice::NoError)
        return Error(0, file_.errorString());
    return Read::EndOfFile;
}

Result<ExchangeReader::Read> ExchangeReader::skipRestOfRecord()
{
    // In pieces: the rest may be gigabytes without a line end. The record
    // ends at a line end outside quotes; reading goes back to just after it.
    bool lineStart = skipAtLineStart_;
    bool inQuotes = skipInQuotes_;
    char piece[64 * 1024];
    while (true) {
        const qint64 start = file_.pos();
        const qint64 n = file_.read(piece, sizeof piece);
        if (n <= 0)
            return nothingRead();
        for (qint64 i = 0; i < n; ++i) {
            if (lineStart) {
                ++line_;
                lineStart = false;
            }
            if (piece[i] == '"') {
                inQuotes = !inQuotes;
            } else if (piece[i] == '\n') {
                lineStart = true;
                if (!inQuotes) {
                    hash(QByteArrayView(piece, i + 1));
                    if (!file_.seek(start + i + 1))
                        return Error(0, file_.errorString());
                    return Read::Record;
                }
            }
        }
        hash(QByteArrayView(piece, n));
    }
}

Result<ExchangeReader::Read> ExchangeReader::readLine(QByteArray& raw, qint64 budget)
{
    // Into the record's own buffer: a million lines need no allocation each.
    const qsizetype at = raw.size();
    raw.resize(at + qsizetype(budget) + 1);
    const qint64 n = file_.readLine(raw.data() + at, budget + 1);
    raw.resize(at + qsizetype(std::max<qint64>(n, 0)));
    if (n > 0)
        return Read::Record;
    return nothingRead();
}

QByteArray ExchangeReader::finishDigest()
{
    // What was hashed so far; the section line itself is still to come.
    digesting_ = false;
    return digest_.result().toHex();
}

Result<ExchangeReader::Read> ExchangeReader::next(ExchangeRecord* record)
{
    if (!pendingSection_.isEmpty()) {
        hash(pendingSection_);
        pendingSection_.clear();
    }
    if (skipping_) {
        skipping_ = false;
        if (Result<Read> skipped = skipRestOfRecord(); !skipped || *skipped == Read::EndOfFile)
            return skipped;
    }
    // At most the longest record allowed and its line end (readLine() keeps
    // one byte of what it is given for itself).
    const qint64 budget = maxBytes_ + 2;
    QByteArray& raw = record->raw;
    raw.resize(0);
    // readLine() comes back empty only at the end; atEnd() would ask the
    // file system for the size at every line.
    if (Result<Read> first = readLine(raw, budget); !first || *first == Read::EndOfFile)
        return first;
    ++line_;
    record->line = line_;
    record->fields.clear();
    record->quoted.clear();
    record->section.clear();
    record->unterminated = false;
    record->blank = false;
    record->utf8 = utf8_;
    bool ended = raw.endsWith('\n');
    const bool section = raw.startsWith("//");
    // An odd count of quotes leaves a quoted field open: its line end is part
    // of the field, and so is the next line.
    qsizetype quotes = section ? 0 : quotesIn(raw);
    bool atEnd = false;
    while (quotes % 2 == 1 && ended && raw.size() < budget) {
        const qsizetype before = raw.size();
        const Result<Read> more = readLine(raw, budget - before);
        if (!more)
            return more.error();
        if (*more == Read::EndOfFile) {
            atEnd = true;
            break;
        }
        ++line_;
        quotes += quotesIn(QByteArrayView(raw).sliced(before));
        ended = raw.endsWith('\n');
    }
    qsizetype content = raw.size();
    if (content > 0 && raw[content - 1] == '\n')
        --content;
    if (content > 0 && raw[content - 1] == '\r')
        --content;
    if (section && content <= maxBytes_ && digesting_)
        pendingSection_ = raw;
    else
        hash(raw);
    chopLineEnd(&raw);
    if (raw.size() > maxBytes_ || (quotes % 2 == 1 && ended && !atEnd)) {
        // Not read to its end: the rest of it is passed over next time.
        record->kind = ExchangeRecord::Kind::TooLong;
        skipInQuotes_ = quotes % 2 == 1;
        skipAtLineStart_ = ended;
        skipping_ = !ended || skipInQuotes_;
        return Read::Record;
    }
    if (section) {
        record->kind = ExchangeRecord::Kind::Section;
        record->section = decode(raw.mid(2, raw.size() - 4));
        return Read::Record;
    }
    // A quote left open at the end of the file means the file was cut short;
    // so may a last line without its line end (the caller counts its fields).
    record->unterminated = !ended;
    record->kind = quotes % 2 == 1 ? ExchangeRecord::Kind::Cut : ExchangeRecord::Kind::Fields;
    record->blank = isBlank(raw);
    if (splitting_)
        split(record);
    return Read::Record;
}

void ExchangeReader::split(ExchangeRecord* record) const
{
    const bool hasFields = record->kind == ExchangeRecord::Kind::Fields || record->kind == ExchangeRecord::Kind::Cut;
    if (hasFields && record->fields.isEmpty())
        record->fields = splitFields(decode(record->raw), maxFields_ + 1, &record->quoted);
}

} // namespace tvq52
