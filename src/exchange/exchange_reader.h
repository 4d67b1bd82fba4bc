#pragma once

#include "core/error.h"
#include "core/sha256.h"

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace tvq52 {

// One record of an exchange file as the reader meets it.
struct ExchangeRecord {
    // TooLong: longer than the reader's limit; only its start was read.
    enum class Kind { Section, Fields, Cut, TooLong };
    Kind kind = Kind::Fields;
    qint64 line = 0;           // where the record starts, from 1
    QString section;           // for Section: the name between the markers
    QStringList fields;        // for Fields (unless the reader leaves them to split())
    std::vector<bool> quoted;  // for each field: written between quotes
    QByteArray raw;            // for Fields and Cut: the record's bytes without its line end
    bool utf8 = false;         // raw is UTF-8, else Windows-1252
    bool unterminated = false; // the file's last line, without a line end
    bool blank = false;        // nothing but blanks on the line
};

// Reads an exchange file record by record, never holding more than one record:
// a quoted field may run over several lines and hold ";" or a line that starts
// with "//" without ending the record or starting a section. A record longer
// than the limit is given as TooLong without being read whole, and reading
// goes on after its end.
class ExchangeReader {
public:
    // The error's detail holds the system's words; a path that is no regular
    // file fails with nonRegularFileError (isNonRegularFileError tells it).
    Status open(const QString& path);
    // The bounds of the records read from now on: bytes of the record without
    // its line end, and fields split (one more is kept, to tell too many).
    void setLimits(qint64 maxBytes, int maxFields);
    // Whether next() splits the fields of a record; when not, split() does
    // it for the records that need it.
    void setSplitting(bool split) { splitting_ = split; }
    // What next() came to: a record, or the end of the file. A read that
    // failed is an error with the system's words.
    enum class Read : std::uint8_t { Record, EndOfFile };
    Result<Read> next(ExchangeRecord* record);
    // Fills the fields of a record read without splitting.
    void split(ExchangeRecord* record) const;
    qint64 bytesRead() const { return file_.pos(); }
    // Whether the bytes read are hashed (set before open()): the SHA-256 of
    // what comes before a section line is then at hand without a second pass.
    void setDigesting(bool digest) { digesting_ = digest; }
    // The hex SHA-256 of the file's bytes (its byte-order mark included) up
    // to the start of the last section line read; hashing stops there.
    QByteArray finishDigest();
    // Whether hashing goes on to the end (set before open()): one hash of
    // each byte gives both digests, the whole file's once read to its end.
    void setHashingFile(bool hash) { hashingFile_ = hash; }
    QByteArray fileDigest() { return digest_.result().toHex(); }
    qint64 size() const { return file_.size(); }
    // When the open file was last changed.
    QDateTime modified() const { return file_.fileTime(QFileDevice::FileModificationTime); }

private:
    QString decode(const QByteArray& bytes) const;
    // Record when the next record starts where reading stopped.
    Result<Read> skipRestOfRecord();
    // The next line appended to `raw`, at most `budget` bytes; Record when there was one.
    Result<Read> readLine(QByteArray& raw, qint64 budget);
    // Where a read that gave nothing stopped: the end, or a failure.
    Result<Read> nothingRead() const;
    void hash(QByteArrayView bytes)
    {
        if (digesting_ || hashingFile_)
            digest_.add(bytes);
    }
    QFile file_;
    bool digesting_ = false;
    bool hashingFile_ = false;
    Sha256 digest_;
    // A section line is hashed only once the next record is asked for.
    QByteArray pendingSection_;
    bool splitting_ = true;
    qint64 line_ = 0;
    bool utf8_ = false;
    qint64 maxBytes_ = 1 << 20;
    int maxFields_ = 64;
    // In the rest of a record too long to read: where it was left, and
    // whether inside a quoted field.
    bool skipping_ = false;
    bool skipAtLineStart_ = false;
    bool skipInQuotes_ = false;
};

} // namespace tvq52
