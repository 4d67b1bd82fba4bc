#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace tvq52 {

// One entry of the writing office's journal that stored records of a unit
// the file carries: the newest entry that listed each of them.
struct SourceEntry {
    qint32 serial = 0;
    qint64 entry = 0; // 0: records no sealed entry listed
    QString action;
    QString at;
    QString outcome;
    QByteArray hash;
    qint64 records = 0;
};

// What a file says of where it comes from, and what reading it found.
struct FileProvenance {
    bool present = false;    // the file has the section
    QByteArray statedDigest; // hex SHA-256 the writer gave of the bytes before the section
    QByteArray readDigest;   // the same, computed while reading
    QByteArray head;         // the writing journal's head
    QString written;         // when the file was written
    QList<SourceEntry> entries;
    // Why the section cannot be read as written, and the first line where that was seen.
    enum class Damage { None, Header, BadLine, LineTooLong, NoDigest, NotLast, Twice };
    Damage damage = Damage::None;
    qint64 damageLine = 0;

    bool digestMatches() const { return !statedDigest.isEmpty() && statedDigest == readDigest; }
    // Nothing to warn of: no section, or a whole one whose digest matches.
    bool trustworthy() const { return !present || (damage == Damage::None && digestMatches()); }
};

// The section's name, written last in the file.
extern const QString kProvenanceSection;
// Its column names, the first line after the section line.
QStringList provenanceColumns();
// The longest line the section may hold, without its line end.
inline constexpr qint64 kProvenanceLineBytes = 512;

// The section's lines after its section line (header included), CRLF ended.
QByteArray provenanceLines(const FileProvenance& p);

// Reads the section's lines as the reader gives them, header first.
class ProvenanceReader {
public:
    explicit ProvenanceReader(FileProvenance& target) : p_(target) {}
    // `fields` split from a record at `line`; an unusable record marks the
    // section damaged and is otherwise passed over.
    void take(const QStringList& fields, qint64 line);
    // The first damage is the one told.
    void damaged(FileProvenance::Damage why, qint64 line);
    // After the last record: what must have been there.
    void finish(qint64 line);

private:
    FileProvenance& p_;
    bool headerSeen_ = false;
};

// As kept with the import's journal entry (compact JSON) and read back.
QString provenanceJson(const FileProvenance& p);
std::optional<FileProvenance> provenanceFromJson(const QString& text);

} // namespace tvq52
