#include "i18n/loc_guru.h"
#include "records/gui/grid_column_widths.h"
#include "records_fixture.h"

#include <QFontMetrics>

using namespace tvq52;
using namespace tvq52::test;

namespace {

QDateTime at(int d, int h, int m)
{
    return QDateTime(QDate(2026, 3, d), QTime(h, m), Qt::UTC);
}

const GridColumn& columnNamed(RecordGrid grid, const char* field)
{
    for (const GridColumn& c : gridColumns(grid))
        if (c.field == QLatin1String(field))
            return c;
    ADD_FAILURE() << field;
    return gridColumns(grid).front();
}

// What each format can show at its widest, digits written '0'.
TEST(GridColumnWidths, EachFormatNamesTheWidestTextsItCanShow)
{
    const QString uncalibrated = QStringLiteral("Sin calibrar");
    const struct {
        RecordGrid grid;
        const char* field;
        QStringList widest;
    } cases[] = {
        {RecordGrid::Intervals, "SLeqLocal", {"000.0", "UND", "UP", "---"}},
        {RecordGrid::Intervals, "SLeqVecino", {"000.0", "UP", "---"}},
        {RecordGrid::Intervals, "ByNivelLeqLocal", {"000", "---"}},
        {RecordGrid::Intervals, "ByDNA", {"000", uncalibrated}},
        {RecordGrid::Intervals, "DFechaInicio", {"00/00/0000"}},
        {RecordGrid::Intervals, "THoraInicio", {"00000"}},
        {RecordGrid::Intervals, "IPasadasLocal", {"00000"}},
        {RecordGrid::Intervals, "ByTLeq", {"000"}},
        {RecordGrid::Intervals, "BoRS232", {}},
        {RecordGrid::Sessions, "LPasadasLocal", {"0000000"}},
        {RecordGrid::Erasures, "THora", {"00000"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(widestCellTexts(columnNamed(c.grid, c.field), uncalibrated), c.widest) << c.field;

    // Every level a cell can show is no longer than the widest, digit for digit.
    const GridColumn& level = columnNamed(RecordGrid::Intervals, "SMaxFast");
    for (int tenths = 0; tenths <= 1210; ++tenths) {
        const QString shown = cellText(level.show, tenths / 10.0, uncalibrated);
        EXPECT_LE(shown.size(), 5) << shown.toStdString();
    }
}

class GridWidthsWindow : public RecordsWindowFixture {
protected:
    // Whatever the newest row, every cell of every row and every line of
    // every heading fits its column.
    void expectEverythingFits(RecordedDataWindow::Grid grid, const char* language)
    {
        QTableView* view = window_->view(grid);
        RecordGridItems* model = window_->model(grid);
        const QFontMetrics cell(view->font());
        QFont bold = view->horizontalHeader()->font();
        bold.setBold(true);
        const QFontMetrics heading(bold);
        for (int c = 0; c < model->columnCount(); ++c) {
            if (view->isColumnHidden(c))
                continue;
            const int width = view->columnWidth(c);
            EXPECT_EQ(width, gridColumnWidth(*view, *model, c));
            for (const QString& line : model->headerData(c, Qt::Horizontal).toString().split('\n'))
                EXPECT_LT(heading.horizontalAdvance(line.trimmed()), width)
                    << language << ": heading " << line.toStdString();
            for (int r = 0; r < model->rowCount(); ++r) {
                const QString text = model->index(r, c).data().toString();
                EXPECT_LT(cell.horizontalAdvance(text) + 4, width)
                    << language << ": " << text.toStdString() << " in column " << c;
            }
        }
    }
};

TEST_F(GridWidthsWindow, ColumnsHoldTheirWidestValueAndHeadingInEveryLanguage)
{
    storeUnit(9, QStringLiteral("Empty"), QStringLiteral("3.3"));
    storeUnit(10, QStringLiteral("Bar"), QStringLiteral("3.3"));
    // The oldest rows hold the widest values; the newest is narrow.
    addInterval(10, at(1, 20, 0),
                {{"SLeqLocal", 118.7},
                 {"SMaxFast", 120.9},
                 {"SL1", 119.8},
                 {"SL90", 100.4},
                 {"ByENA", 255},
                 {"ByDNA", 255},
                 {"IPasadasLocal", 32000}});
    addInterval(10, at(1, 21, 0), {{"SLeqLocal", 105.3}, {"SLeqVecino", 104.8}, {"ByLineaInsuficiente", 255}});
    addInterval(10, at(2, 9, 0), {{"SLeqLocal", 61.0}});
    ASSERT_TRUE(store_->insert(QStringLiteral("Sesiones"), row({{"LNumeroSerie", 10},
                                                                 {"DFechaInicio", QDate(2026, 3, 1)},
                                                                 {"THoraInicio", "20:00"},
                                                                 {"SLeq", 111.1},
                                                                 {"LPasadasLocal", 1234567},
                                                                 {"ITiempoAtenuacion", 32000}})));
    for (const char* language : {"", "Català", "English", "Deutsch", "Français", "Italiano", "Português"}) {
        if (*language) {
            ctx_->guru.sForeignColumnName = QString::fromUtf8(language);
            ASSERT_TRUE(ctx_->guru.OpenLanguageDatabase(QStringLiteral(TVQ52_ASSET_DIR "/Language.db"), true,
                                                        LocGuru::SqlDb));
        }
        ctx_->link.UnitSerial = 10;
        open();
        ASSERT_EQ(shownSerial(), QStringLiteral("10")) << language;
        ASSERT_EQ(intervals()->rowCount(), 3);
        expectEverythingFits(RecordedDataWindow::Intervals, language);
        expectEverythingFits(RecordedDataWindow::Sessions, language);
        // The empty grid's headings are whole too.
        click("SSCommandAnterior");
        ASSERT_EQ(shownSerial(), QStringLiteral("9")) << language;
        ASSERT_EQ(intervals()->rowCount(), 0);
        {
            expectEverythingFits(RecordedDataWindow::Intervals, language);
            expectEverythingFits(RecordedDataWindow::Sessions, language);
        }
        window_.reset();
    }
}

} // namespace
