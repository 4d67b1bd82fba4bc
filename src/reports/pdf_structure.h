#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace tvq52::pdf {

// Where a value stands in the text it was read from: [begin, end).
struct Span {
    qsizetype begin = 0;
    qsizetype end = 0;
};

// Past the white space and comments from `at`.
qsizetype skipSpace(QByteArrayView text, qsizetype at);

struct DictEntry {
    QByteArray key; // without its slash
    Span value;
};
// The entries of the dictionary that starts at `at` ("<<"), in order, and
// where it ends; nothing when it is none or does not close.
std::optional<QList<DictEntry>> dictEntries(QByteArrayView text, qsizetype at, qsizetype* end = nullptr);
const DictEntry* findEntry(const QList<DictEntry>& entries, QByteArrayView key);

// The items of the array that starts at `at` ("["); references as one item.
std::optional<QList<Span>> arrayItems(QByteArrayView text, qsizetype at);

// The object number of a reference "N G R"; nothing when it is not one.
std::optional<int> referenceTo(QByteArrayView value);
// A non-negative integer; nothing when the value is not one.
std::optional<qint64> integerValue(QByteArrayView value);

// A file's objects as its classic cross-reference sections (the newest
// first, then each one's /Prev) place them.
class Structure {
public:
    // Nothing, and why in `problem` (untranslated), when the file ends in
    // no cross-reference section that can be read.
    static std::optional<Structure> read(const QByteArray& file, QString* problem);

    const QByteArray& file() const { return file_; }
    // The newest trailer's entries, as spans of the file.
    const QList<DictEntry>& trailer() const { return trailer_; }
    QByteArrayView trailerValue(QByteArrayView key) const;
    // Where the newest cross-reference section starts.
    qsizetype lastXref() const { return lastXref_; }

    // The value of object `number` (the dictionary of a stream); nothing
    // when the file has no such object or it is not where the table says.
    std::optional<Span> object(int number) const;
    QByteArrayView text(Span span) const { return QByteArrayView(file_).sliced(span.begin, span.end - span.begin); }

private:
    // Reads the section at `at`; `prev` is where the one before it starts.
    bool readSection(qsizetype at, QString* problem, bool newest, std::optional<qsizetype>* prev);

    QByteArray file_;
    QList<DictEntry> trailer_;
    qsizetype lastXref_ = -1;
    QHash<int, qsizetype> offsets_; // -1: free
};

} // namespace tvq52::pdf
