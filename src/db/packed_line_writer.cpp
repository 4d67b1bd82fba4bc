#include "db/packed_line_writer.h"

#include <sqlite3.h>

namespace tvq52 {

const char* const kJournalPackedLineSql =
    "INSERT INTO \"DiarioRegistros\" (\"LEntrada\", \"TTabla\", \"TClave\", \"TClaveFin\", \"BRegistros\", "
    "\"THuella\") VALUES (?, ?, ?, ?, ?, ?)";

SqliteStep SqlitePackedLines::prepare(sqlite3* db, qint64 entry)
{
    entry_ = entry;
    pending_.clear();
    texts_.clear();
    SqliteStep step = open_.prepare(
        db, QStringLiteral("SELECT 1 FROM main.\"Diario\" WHERE \"LId\" = ? AND \"THash\" IS NULL"));
    if (!step.failed())
        step = insert_.prepare(db, QString::fromLatin1(kJournalPackedLineSql));
    return step;
}

SqliteStep SqlitePackedLines::checkOpen()
{
    open_.bindInteger(0, entry_);
    SqliteStep step = open_.step();
    open_.reset();
    if (step.done())
        return SqliteStep{SqliteStep::State::Failed, SQLITE_ERROR,
                          QStringLiteral("Journal entry %1 is not open").arg(entry_)};
    return step;
}

SqliteStep SqlitePackedLines::write(const std::vector<packed_lines::Line>& lines)
{
    auto view = [](const QByteArray& b) { return std::string_view(b.constData(), size_t(b.size())); };
    for (const packed_lines::Line& l : lines) {
        insert_.bindInteger(0, entry_);
        insert_.bindText(1, view(l.table));
        insert_.bindText(2, view(l.firstKey));
        insert_.bindText(3, view(l.lastKey));
        insert_.bindBlob(4, view(l.packed));
        insert_.bindText(5, view(l.digest));
        const SqliteStep step = insert_.step();
        insert_.reset();
        if (step.failed())
            return step;
        pending_ += packed_lines::lineText(l.table, l.firstKey, l.lastKey, l.digest);
    }
    return SqliteStep{};
}

void SqlitePackedLines::committed()
{
    texts_ += pending_;
    pending_.clear();
}

} // namespace tvq52
