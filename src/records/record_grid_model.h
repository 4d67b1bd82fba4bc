#pragma once

#include "core/error.h"
#include "records/record_store.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QVector>
#include <cstdint>
#include <vector>

namespace tvq52 {

class Database;
class Translator;

// The five grids of the recorded-data window.
enum class RecordGrid : std::uint8_t { Intervals, Sessions, BatteryEnds, Erasures, Reprogrammings };

// How a stored value is shown in its cell.
enum class CellShow : std::uint8_t {
    Plain,
    Date,         // stored "yyyy-mm-dd", shown "dd/mm/yyyy"
    Level,        // one decimal; 59.0 "UND", 121.0 "UP", 0 "---"
    LevelNoUnder, // as Level, but 59.0 is a level like any other
    Limit,        // 255 "---"
    Uncalibrated, // 255 "Sin calibrar"
    Flag,         // a picture for true and for false
};

// Red, green, blue; a zero alpha means no colour of its own.
struct GridColour {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
    bool isSet() const { return a != 0; }
};

struct GridColumn {
    QString field;
    // First line: catalogue text `headingId`, or the literal when it is 0;
    // `unitLine` (untranslated units such as "dBA") goes on a second line.
    int headingId = 0;
    const char* literal = nullptr;
    const char* unitLine = nullptr;
    CellShow show = CellShow::Plain;
    GridColour cell;
    GridColour heading;
    // What a header click sorts by (schema names; a "dd/mm/yyyy" text column
    // sorts by its date).
    QStringList sortKeys;
    // Counters and limits line up on the right, as the levels do.
    bool numeric = false;
    // The widest text a plain column's stored value shows as, digits as '0'.
    QString widestPlain;
};

// The columns of a grid, in the window's order.
const QVector<GridColumn>& gridColumns(RecordGrid grid);
// The kind of record a grid shows (its table is recordTable of it).
RecordKind gridKind(RecordGrid grid);

// The text a stored value shows as; `uncalibrated` is the text of 255 in the
// uncalibrated columns. Levels read either decimal separator.
QString cellText(CellShow show, const QVariant& stored, const QString& uncalibrated);

// Every widest text a column's cells can show ("000.0", "UND", "UP", "---",
// "00/00/0000", the uncalibrated text, ...), each digit written '0': a view
// sizes the column for the widest of them in its own font, whatever rows it
// holds. None for a column of pictures.
QStringList widestCellTexts(const GridColumn& column, const QString& uncalibrated);

// One grid of one unit's records. Only the ordered row ids are held; the
// rows are read a page at a time as the view asks for them and a few pages
// are kept, so a unit with a year of intervals costs little memory.
class RecordGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kPageRows = 128;
    static constexpr int kCachedPages = 12;

    RecordGridModel(Database& database, RecordGrid grid, const Translator& translator, QObject* parent = nullptr);

    RecordGrid grid() const { return grid_; }
    // The unit's rows, newest first; no rows on a database error.
    Status load(qint32 serial);
    void clear();
    // Re-reads the rows in the current order.
    Status reload();
    // A header click: the order of that column, ascending after a descending
    // order and descending otherwise.
    Status sortByColumn(int column);
    bool descending() const { return descending_; }
    // The headings again, in the translator's language.
    void retranslate();

    int columnOf(const QString& field) const;
    // widestCellTexts of `column`, in the translator's language.
    QStringList widestTexts(int column) const;
    // The stored value of a cell, as the database gave it.
    QVariant storedValue(int row, int column) const;
    // Rows now held in memory.
    int cachedRows() const;
    // How the last read of a page of rows went (pages are read as the view asks).
    const Status& pageRead() const { return pageRead_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

protected:
    const GridColumn& columnDef(int column) const { return columns_[column]; }

private:
    struct Page {
        QVector<QVector<QVariant>> rows;
        quint64 lastUse = 0;
    };
    Status query(const QStringList& keys, bool descending);
    const QVector<QVariant>* rowValues(int row) const;
    const Page* page(int index) const;

    RecordStore store_;
    const RecordGrid grid_;
    const Translator& translator_;
    const QVector<GridColumn>& columns_;
    QStringList headings_;
    QString uncalibrated_;
    qint32 serial_ = 0;
    bool loaded_ = false;
    QStringList keys_;
    bool descending_ = true;
    std::vector<qint64> ids_;
    mutable QHash<int, Page> pages_;
    mutable quint64 uses_ = 0;
    mutable Status pageRead_;
};

} // namespace tvq52
