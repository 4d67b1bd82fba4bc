#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace tvq52 {

// What a printed report can be checked by later: which records it showed,
// as a digest, and where the exchange journal stood when it was printed.
enum class ReportKind : std::uint8_t { Programming, Intervals, Sessions, Exceedances, Graph, Fleet };

// "programming", "intervals", "sessions", "exceedances", "graph", "fleet":
// the words kept in a PDF and taken by the command line.
QString reportKindName(ReportKind kind);
std::optional<ReportKind> reportKindFromName(const QString& name);

// One record as a report shows it: its table, its key text and the hex
// SHA-256 of its canonical stored text (as the journal lists a record).
struct ShownRecord {
    QString table;
    QString key;
    QByteArray hash;
    bool operator==(const ShownRecord&) const = default;
};

// The bytes a shown record adds to the digest: the line the journal hashes
// for a record it lists.
QByteArray shownLine(const ShownRecord& record);
// The digest of records in the order given.
QByteArray digestOf(const QList<ShownRecord>& records);

struct ReportProof {
    ReportKind kind = ReportKind::Programming;
    qint32 serial = 0;    // 0 for the fleet overview, which shows every unit
    QDateTime from, to;   // the range shown; invalid where a report has none
    QDateTime printed;    // UTC, when the records were read
    QByteArray digest;    // hex SHA-256 of the shown records' lines, in the order shown
    QByteArray head;      // the journal's head then; empty for an empty journal
    qint64 records = 0;   // how many records the digest covers
    // The shown records the journal does not list (the programming row, the
    // non-working intervals, the overview's units), carried in the file so
    // that a later check can name the one that changed.
    QList<ShownRecord> carried;
    bool operator==(const ReportProof&) const = default;
};

} // namespace tvq52
