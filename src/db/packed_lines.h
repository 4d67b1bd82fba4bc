#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Many records of one table and unit in one journal line. A bulk path that
// stored a million rows kept a million lines, each with a 64-character hex
// digest and an index entry, which cost more than the rows themselves; a
// packed line holds each record's key and the raw SHA-256 of its canonical
// values, keys prefix-compressed against the one before. Each record is
// still proven alone: its line's digest covers the packed bytes, and the
// entry's hash covers the line.
namespace tvq52::packed_lines {

inline constexpr int kDigestBytes = 32;
using Digest = std::array<unsigned char, kDigestBytes>;

// The first byte of every packed value; a later form takes another.
inline constexpr char kFormat = 1;
// Lines the server's store function writes: keys whole, in key order.
inline constexpr char kServerFormat = 2;
// Records per line: a day of intervals of a few hundred units is a line
// each, and a disputed row reads a few kilobytes.
inline constexpr int kRecordsPerLine = 2048;

struct Record {
    std::string key; // the key text, as a one-record line holds it
    Digest digest{};
};

// One line as it is stored: "TTabla", "TClave" (the first key), "TClaveFin"
// (the last), "BRegistros" (the packed records) and "THuella" (the hex
// SHA-256 of the packed bytes).
struct Line {
    QByteArray table;
    QByteArray firstKey;
    QByteArray lastKey;
    QByteArray packed;
    QByteArray digest;
    int records = 0;
};

// The bytes a packed line adds to its entry's lines digest: unlike a
// one-record line (table, key, digest) it names both ends of its keys, so
// that the range an index finds it by is covered by the entry's hash.
QByteArray lineText(QByteArrayView table, QByteArrayView firstKey, QByteArrayView lastKey, QByteArrayView digest);

// Collects listed records into lines, one open line per table and unit (the
// serial is the key's first word), and hands over those that are full.
class Packer {
public:
    explicit Packer(int recordsPerLine = kRecordsPerLine) : perLine_(recordsPerLine), last_(open_.end()) {}
    Packer(const Packer&) = delete;
    Packer& operator=(const Packer&) = delete;
    void add(std::string_view table, std::string_view key, const Digest& digest);
    void add(std::string_view table, std::string_view key, const unsigned char* digest);
    // The full lines since the last call; with `all` the open ones too.
    std::vector<Line> take(bool all);
    bool empty() const { return open_.empty() && full_.empty(); }
    // Forgets what was given since the last take(true): its batch went back.
    void clear();

private:
    struct Open {
        std::string table;
        std::string first;
        std::string last;
        std::string packed;
        int records = 0;
        std::uint64_t opened = 0; // lines are handed over in the order they began
    };
    void close(Open& o);

    int perLine_;
    std::map<std::string, Open, std::less<>> open_; // by table and serial
    std::map<std::string, Open, std::less<>>::iterator last_; // the line added to last
    std::vector<Line> full_;
    std::string slot_;
    std::uint64_t opened_ = 0;
};

// Numbers the lines the server's store function packs a batch's records
// in: a line per unit and at most kRecordsPerLine records, numbered in the
// order they open. Rows mostly come unit after unit.
class LineNumbers {
public:
    explicit LineNumbers(int recordsPerLine = kRecordsPerLine) : perLine_(recordsPerLine) {}
    // The line of the record of `key`.
    qint32 next(std::string_view key);
    void clear();

private:
    struct Open {
        qint32 line = 0;
        int records = 0;
    };
    int perLine_;
    std::map<std::string, Open, std::less<>> open_; // by serial
    std::string lastUnit_;
    Open* last_ = nullptr;
    qint32 lines_ = 0;
};

// The records of a packed value, in the order they were added; an error
// when it is not a packed value this program writes, or is cut short.
Result<std::vector<Record>> unpack(QByteArrayView packed);

// The hex SHA-256 of a packed value, as "THuella" keeps it.
QByteArray packedDigest(QByteArrayView packed);

// The bounds of a unit's keys in text order: every key of `serial` is at
// least the first and less than the second.
std::pair<QString, QString> unitKeyBounds(qint32 serial);

} // namespace tvq52::packed_lines
