#pragma once

#include "db/database_failure.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tvq52 {

class Database;

// What the merge did with one table of the source.
struct MergeTableCount {
    QString table;
    qint64 read = 0;    // rows in the source table
    qint64 added = 0;   // rows the target did not have
    qint64 present = 0; // rows whose key the target already had: left as they are
    qint64 refused = 0; // rows that do not pass the checks of imported rows
    QString error;      // not empty when the table could not be read
    // Columns of the source table that this program's table lacks (a newer
    // schema's): their values are not merged.
    QStringList leftOut;
};

struct MergeResult {
    enum class Fault { None, Missing, NotARegularFile, OwnDatabase, NotOurs, Journal };
    Fault fault = Fault::None;
    QString detail; // the driver's text for a fault or an unreadable table
    QList<MergeTableCount> tables;
    // The target database failed while `failedTable` was merged: that table
    // was rolled back and the merge stopped; the tables before it are stored.
    DatabaseFailure failure;
    QString failedTable;
    // The merge was stopped before `stoppedAt` was stored: a table under way
    // was rolled back, the tables before it are stored.
    QString stoppedAt;
    QByteArray journalHead; // after the merge's entry was sealed
    // The entry could not be sealed: the rows counted are stored, but the
    // journal does not yet say how (the next start seals it as interrupted).
    QString sealError;

    // Every table was read and stored; refused rows do not make it fail.
    bool complete() const;
    bool stopped() const { return !stoppedAt.isEmpty(); }
    qint64 added() const;
    // "Table: added N, present N, refused N" a line, for the journal and the command line.
    QString countsText() const;
};

// Called before each table with its name, its place and how many there are.
using MergeProgress = std::function<void(const QString& table, int index, int count)>;
// Asked before each table and, into a file, now and then while a table's
// rows go in: true stops the merge there.
using MergeStop = std::function<bool()>;

// Why `sourcePath` cannot be merged into `target` (missing, not a regular
// file, the target's own file under any name); None when it can be tried.
MergeResult::Fault mergeRefusal(const Database& target, const QString& sourcePath);

// Adds the rows of another database of this program to `target`, table by
// table, each in one transaction: the record tables only (never the settings
// row nor the journal), by column name with the target's columns governing,
// a row only when its key is not already there. The source is opened
// read-only. Every record row added is listed in the journal's open `entry`,
// which the caller opened and seals.
void mergeRows(Database& target, const QString& sourcePath, qint64 entry, MergeResult& result,
               const MergeProgress& progress = {}, const MergeStop& stop = {});

} // namespace tvq52
