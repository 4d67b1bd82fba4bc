#pragma once

#include "db/database_failure.h"
#include "evidence/exchange_provenance.h"
#include "exchange/exchange_convert.h"
#include "exchange/exchange_signature.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace tvq52 {

class Database;
class Translator;

struct TableImport {
    QString table;
    qint64 added = 0;
    qint64 present = 0; // present and equal, or a later row of a key the file already gave
    qint64 differs = 0; // present with other values; the stored row is kept
    qint64 refused = 0;
    QList<Refusal> firstRefused; // the first few, in file order
};

struct ImportSummary {
    bool opened = false;
    QString error;            // why the file or the database could not be used
    bool notAFile = false;    // a folder, a device or a pipe: never read
    bool notExchange = false; // no section of ours in it
    bool cancelled = false;
    // The database failed at `failedAtLine` (0: before the first row): the
    // import stopped there, and the counts hold only what was committed.
    DatabaseFailure failure;
    qint64 failedAtLine = 0;
    std::vector<TableImport> tables; // in section order
    qint64 ignoredLines = 0;         // before the first section and in unknown sections
    QStringList ignoredSections;
    QStringList headerMismatches;   // sections whose header names differ from their columns
    bool journalUnwritable = false; // no entry could be opened: nothing was imported
    qint64 journalEntry = 0;        // the entry that lists the records added
    QByteArray journalHead;         // the journal's head after it was sealed
    // The entry could not be sealed: the rows counted are stored, but the
    // journal does not yet say how (the next start seals it as interrupted).
    QString sealError;
    // What the file said of where it comes from, and whether it still holds.
    FileProvenance provenance;
    ProvenanceVerdict verdict;
    // Why the file was refused before a row was read (changed after signing,
    // or not signed by a trusted office where that is required); empty when not.
    QString refusal;
    // The file could not be read again after its first reading (the disk or
    // the network failed): the rows from `unreadAtLine` on were not taken.
    QString unreadWhy;
    qint64 unreadAtLine = 0;

    // Read as an exchange file, journaled, every row handled (stored, found,
    // refused), and the file as its writer wrote it when it says so.
    bool succeeded() const
    {
        return opened && !notExchange && !journalUnwritable && !failure.failed() && sealError.isEmpty()
            && refusal.isEmpty() && unreadWhy.isEmpty() && provenance.trustworthy() && verdict.kind != ProvenanceVerdict::Kind::Changed;
    }
};

struct ImportProgress {
    QString table;
    qint64 tableRows = 0; // read so far of `table`
    qint64 rows = 0;      // read so far, all tables
    qint64 added = 0; // added so far, all tables
    double rowsPerSecond = 0;
    qint64 bytesRead = 0;
    qint64 bytesTotal = 0;
};

// Imports the rows of an exchange file that the database lacks. Each row is
// looked up by its table's key; a present row is never changed. Rows are
// written in batched transactions; after a cancel the rows up to the last one
// handled are committed and nothing else.
class ExchangeImporter {
public:
    explicit ExchangeImporter(Database& database) : database_(database) {}

    std::function<void(const ImportProgress&)> onProgress;
    std::function<bool()> cancelRequested;
    int batchRows = 5000;
    int keptRefusals = 5;
    // The user's language for what the journal entry says; native words without it.
    Translator* translator = nullptr;
    // Whether only files signed by a trusted office are taken; another is
    // refused unless acceptUnsigned (asked with what is missing) says yes.
    bool requireSigned = false;
    std::function<bool(const ProvenanceVerdict&)> acceptUnsigned;
    // The certificates trusted here; the run's office signing's when null.
    const TrustStore* trust = nullptr;

    ImportSummary run(const QString& path);

private:
    Database& database_;
};

// The progress as one line in the user's language: the table being read
// with its own rows, then the counts of the whole file.
QString progressText(const ImportProgress& progress, const Translator& translator);
// The counts of the whole file, as the line that ends the progress.
QString progressTotalText(const ImportProgress& progress, const Translator& translator);

// The reason for a refusal in the user's language.
QString refusalText(const Refusal& refusal, Translator& translator);
// What failed in the database and why, in the user's language: the cause
// as every workflow words it, the database's own words after it.
QString databaseFailureText(const DatabaseFailure& failure, Translator& translator);
// Why a file's provenance does not hold, in the user's language; empty when it does.
QString provenanceWarning(const FileProvenance& provenance, Translator* translator);
MessageWords provenanceWarningWords(const FileProvenance& provenance);
// The whole summary as lines of text, for the window and the command line.
QStringList summaryLines(const ImportSummary& summary, Translator& translator);

} // namespace tvq52
