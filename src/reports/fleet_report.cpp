#include "reports/fleet_report.h"

#include "core/own_words.h"
#include "i18n/loc_guru.h"

#include <QFile>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

namespace tvq52 {

namespace {

// The Spanish source text of each reason, translated where it is shown.
QString reasonText(FleetReason reason)
{
    switch (reason) {
    case FleetReason::Erased:
        return QStringLiteral("memoria borrada");
    case FleetReason::Battery:
        return QStringLiteral("fin de batería");
    case FleetReason::Reprogrammed:
        return QStringLiteral("reprogramada");
    case FleetReason::Journal:
        return QStringLiteral("diario no verificado");
    case FleetReason::Stale:
        return QStringLiteral("sin leer");
    case FleetReason::Exceedances:
        return QStringLiteral("excesos");
    }
    return {};
}

} // namespace

FleetTable fleetTable(const std::vector<FleetUnit>& units, const LocGuru& guru, const QDateTime& printed)
{
    auto tr = [&guru](const char* text) { return guru.GetTranslation(QString::fromUtf8(text)); };
    FleetTable t;
    t.title =
        tr("Estado de las unidades") + QStringLiteral(" — ") + printed.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    t.headings = {tr("Número de serie"), tr("Local"), tr("Teléfono"), tr("Última descarga"), tr("Días"), tr("Avisos")};
    for (const FleetUnit& u : units) {
        QStringList reasons;
        for (FleetReason r : u.reasons)
            reasons << guru.GetTranslation(reasonText(r));
        t.rows << QStringList{QString::number(u.serial),
                              u.venue,
                              u.phone,
                              u.lastDownload ? u.lastDownload->toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                             : QStringLiteral("-"),
                              u.daysSinceDownload ? QString::number(*u.daysSinceDownload) : QStringLiteral("-"),
                              reasons.join(QStringLiteral(", "))};
    }
    return t;
}

Status writeFleetPdf(const FleetTable& table, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return ownWords(QStringLiteral("No se puede escribir %1: %2"), {path, file.errorString()});
    QPdfWriter writer(&file);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(15, 15, 15, 15),
                                     QPageLayout::Millimeter));
    writer.setResolution(300);
    writer.setTitle(table.title);
    QPainter p;
    if (!p.begin(&writer))
        return ownWords(QStringLiteral("No se puede escribir %1: %2"), {path, QStringLiteral("PDF")});
    const QRect page = writer.pageLayout().paintRectPixels(writer.resolution());
    const QRect area(0, 0, page.width(), page.height());
    QFont font(QStringLiteral("Sans Serif"));
    font.setPointSizeF(9);
    p.setFont(font);
    const int rowHeight = QFontMetrics(font, &writer).height() * 3 / 2;
    // Column widths in parts of the page: the venue and the reasons get most.
    const QList<int> parts{14, 20, 12, 14, 6, 34};
    QList<int> left{0};
    for (int k = 0; k < parts.size(); ++k)
        left << left.last() + area.width() * parts[k] / 100;
    auto drawRow = [&](const QStringList& cells, int y, bool bold) {
        QFont f = font;
        f.setBold(bold);
        p.setFont(f);
        for (int k = 0; k < cells.size() && k < parts.size(); ++k) {
            const QRect cell(left[k] + 10, y, left[k + 1] - left[k] - 20, rowHeight);
            p.drawText(cell, Qt::AlignVCenter | Qt::AlignLeft,
                       p.fontMetrics().elidedText(cells[k], Qt::ElideRight, cell.width()));
        }
        p.drawLine(0, y + rowHeight, area.width(), y + rowHeight);
    };
    auto startPage = [&]() {
        QFont f = font;
        f.setPointSizeF(13);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(0, 0, area.width(), rowHeight * 2), Qt::AlignVCenter | Qt::AlignLeft, table.title);
        drawRow(table.headings, rowHeight * 2, true);
        return rowHeight * 3;
    };
    int y = startPage();
    for (const QStringList& row : table.rows) {
        if (y + rowHeight > area.height()) {
            writer.newPage();
            y = startPage();
        }
        drawRow(row, y, false);
        y += rowHeight;
    }
    p.end();
    file.close();
    if (file.error() != QFileDevice::NoError)
        return ownWords(QStringLiteral("No se puede escribir %1: %2"), {path, file.errorString()});
    return {};
}

} // namespace tvq52
