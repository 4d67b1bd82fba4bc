#include "db/database_merge.h"

#include "core/regular_file.h"
#include "db/database.h"
#include "db/merge_tables.h"
#include "db/row_sink.h"
#include "db/sqlite_statement.h"

#include <QFileInfo>
#include <filesystem>
#include <sqlite3.h>

namespace tvq52 {

namespace {

bool sameFile(const QString& a, const QString& b)
{
    // Links, hard links and relative paths all come down to one inode.
    std::error_code ec;
    const bool same =
        std::filesystem::equivalent(std::filesystem::path(a.toStdString()), std::filesystem::path(b.toStdString()), ec);
    return !ec && same;
}

} // namespace

// The name a source table goes by (any case), empty when it has none.
QString sourceTableName(const QStringList& sourceTables, const char* name)
{
    for (const QString& s : sourceTables)
        if (s.compare(QString::fromUtf8(name), Qt::CaseInsensitive) == 0)
            return s;
    return QString();
}

QStringList sourceColumnNames(sqlite3* source, const QString& table)
{
    QStringList names;
    SqliteStatement info;
    if (!info.prepare(source, QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(table))).failed())
        while (info.step().row())
            names << QString::fromUtf8(info.text(1));
    return names;
}

bool MergeResult::complete() const
{
    if (fault != Fault::None || failure.failed() || stopped() || !sealError.isEmpty() || tables.isEmpty())
        return false;
    for (const MergeTableCount& t : tables)
        if (!t.error.isEmpty())
            return false;
    return true;
}

qint64 MergeResult::added() const
{
    qint64 n = 0;
    for (const MergeTableCount& t : tables)
        n += t.added;
    return n;
}

QString MergeResult::countsText() const
{
    QStringList lines;
    for (const MergeTableCount& t : tables) {
        lines << (t.error.isEmpty() ? QStringLiteral("%1: added %2, present %3, refused %4")
                                          .arg(t.table)
                                          .arg(t.added)
                                          .arg(t.present)
                                          .arg(t.refused)
                                    : QStringLiteral("%1: not read (%2)").arg(t.table, t.error));
        if (!t.leftOut.isEmpty())
            lines << QStringLiteral("%1: columns left out: %2").arg(t.table, t.leftOut.join(QStringLiteral(", ")));
    }
    if (failure.failed())
        lines << QStringLiteral("stopped at %1: %2").arg(failedTable, failure.detail);
    if (stopped())
        lines << QStringLiteral("stopped by the user at %1").arg(stoppedAt);
    return lines.join(QLatin1Char('\n'));
}

MergeResult::Fault mergeRefusal(const Database& target, const QString& sourcePath)
{
    if (isNonRegularFile(sourcePath))
        return MergeResult::Fault::NotARegularFile;
    if (!QFileInfo(sourcePath).isFile())
        return MergeResult::Fault::Missing;
    if (!target.isServer() && sameFile(sourcePath, target.path()))
        return MergeResult::Fault::OwnDatabase;
    return MergeResult::Fault::None;
}

void mergeRows(Database& target, const QString& sourcePath, qint64 entry, MergeResult& result,
               const MergeProgress& progress, const MergeStop& stop)
{
    // Each backend's sink merges a file by its own quickest way.
    Result<std::unique_ptr<RowSink>> sink = openRowSink(target, kNoBatches);
    if (!sink) {
        result.failure = databaseFailureOf(sink.error());
        return;
    }
    (*sink)->mergeFile(sourcePath, entry, result, progress, stop);
}

} // namespace tvq52
