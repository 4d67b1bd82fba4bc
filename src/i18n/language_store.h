#pragma once

#include "core/error.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class QSqlDatabase;

namespace tvq52 {

// One stored text of the language database with its translations.
struct LanguageEntry {
    qint64 rowId = -1;
    QString native;
    bool skip = false;
    QStringList values; // one per column, in the table's column order
};

// The language database's table as read, in stored order.
struct LanguageTable {
    QStringList columns;
    int nativeColumn = -1;
    QVector<LanguageEntry> rows;
    int maxNativeLength = 255; // the longest native text the table can store
};

// Column names compare as the database compares them: without regard to case.
int findLanguageColumn(const QStringList& columns, const QString& name);

// The SQL language database (table "LocGuru"): read once on opening; one
// opened for writing keeps its connection for the export of native texts.
class LanguageStore {
public:
    LanguageStore() = default;
    ~LanguageStore();
    LanguageStore(const LanguageStore&) = delete;
    LanguageStore& operator=(const LanguageStore&) = delete;

    // Fails on a missing file or a table without "Native"; the error's
    // text is the database's words or the store's own, untranslated.
    Result<LanguageTable> open(const QString& path, bool readOnly);
    void close();
    bool isWritable() const { return !connection_.isEmpty(); }

    // An export runs in one transaction; a failed commit is rolled back.
    void beginExport();
    Status commitExport();
    // Every text starts an export unused; each exported one is marked used.
    Status clearUsedMarks();
    Status markUsed(qint64 rowId);
    // Adds a text the table does not hold yet; gives its row id.
    Result<qint64> insertUsed(const QString& native);

private:
    Result<LanguageTable> readTable(QSqlDatabase& db, const QString& path);

    QString connection_;
};

} // namespace tvq52
