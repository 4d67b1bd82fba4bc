#include "records/gui/grid_column_widths.h"

#include "records/record_grid_model.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>
#include <algorithm>

namespace tvq52 {

namespace {

// The widest digit of `metrics`: a "0" in a pattern stands for any digit.
QChar widestDigit(const QFontMetrics& metrics)
{
    QChar widest = QLatin1Char('0');
    for (char d = '1'; d <= '9'; ++d)
        if (metrics.horizontalAdvance(QLatin1Char(d)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(d);
    return widest;
}

int widestCell(const QTableView& view, const RecordGridModel& model, int column)
{
    const QFontMetrics cell(view.font());
    const QChar digit = widestDigit(cell);
    int width = 0;
    const QStringList texts = model.widestTexts(column);
    for (QString text : texts)
        width = std::max(width, cell.horizontalAdvance(text.replace(QLatin1Char('0'), digit)));
    // A column of pictures holds the picture.
    if (texts.isEmpty())
        width = view.iconSize().isValid() ? view.iconSize().width() : 16;
    const int frame = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
    return width + 2 * frame + 4;
}

int widestHeading(const QTableView& view, const RecordGridModel& model, int column)
{
    const QHeaderView* header = view.horizontalHeader();
    // Headings are drawn bold by some styles: measured bold, they fit in all.
    QFont font = header->font();
    font.setBold(true);
    const QFontMetrics heading(font);
    int width = 0;
    for (const QString& line : model.headerData(column, Qt::Horizontal).toString().split(QLatin1Char('\n')))
        width = std::max(width, heading.horizontalAdvance(line.trimmed()));
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    int extra = 2 * margin + 4;
    if (header->isSortIndicatorShown())
        extra += header->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header) + margin;
    return width + extra;
}

} // namespace

int gridColumnWidth(const QTableView& view, const RecordGridModel& model, int column)
{
    return std::max(widestCell(view, model, column), widestHeading(view, model, column));
}

void fitGridColumns(QTableView& view, const RecordGridModel& model)
{
    for (int c = 0; c < model.columnCount(); ++c)
        view.setColumnWidth(c, gridColumnWidth(view, model, c));
}

} // namespace tvq52
