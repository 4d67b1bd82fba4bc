#include "reports/fleet_report.h"

#include "core/own_words.h"
#include "evidence/signed_pdf.h"
#include "i18n/translator.h"
#include "reports/archival_pdf.h"

#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

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

FleetTable fleetTable(const std::vector<FleetUnit>& units, const Translator& translator, const QDateTime& printed)
{
    auto tr = [&translator](const char* text) { return translator.translate(QString::fromUtf8(text)); };
    FleetTable t;
    t.title =
        tr("Estado de las unidades") + QStringLiteral(" — ") + printed.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    t.headings = {tr("Número de serie"), tr("Local"), tr("Teléfono"), tr("Última descarga"), tr("Días"), tr("Avisos")};
    for (const FleetUnit& u : units) {
        QStringList reasons;
        for (FleetReason r : u.reasons)
            reasons << translator.translate(reasonText(r));
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

namespace {

// The fleet table's pages: a title and the headings on each, the rows, and
// the footer with the page number below a rule at the foot of each.
class FleetPages {
public:
    FleetPages(const FleetTable& table, QPdfWriter& writer, QPainter& p)
        : table_(table),
          writer_(writer),
          p_(p),
          font_(QStringLiteral("Sans Serif")),
          small_(QStringLiteral("Monospace"))
    {
        const QRect page = writer.pageLayout().paintRectPixels(writer.resolution());
        area_ = QRect(0, 0, page.width(), page.height());
        font_.setPointSizeF(9);
        // Digests in the footer read back letter by letter, no ligatures.
        font_.setStyleStrategy(QFont::PreferNoShaping);
        small_.setStyleStrategy(QFont::PreferNoShaping);
        small_.setStyleHint(QFont::TypeWriter);
        small_.setPointSizeF(6.5);
        rowHeight_ = QFontMetrics(font_, &writer).height() * 3 / 2;
        footLine_ = QFontMetrics(small_, &writer).height();
        // The page number has a line of its own under the footer's.
        footTop_ = area_.height() - footLine_ * int(table.footer.size() + 1) - footLine_ / 2;
        // Column widths in parts of the page: the venue and the reasons get most.
        const QList<int> parts{14, 20, 12, 14, 6, 34};
        left_ << 0;
        for (int part : parts)
            left_ << left_.last() + area_.width() * part / 100;
        // A little room between the last row and the rule above the footer.
        perPage_ = std::max(1, (footTop_ - footLine_ - rowHeight_ * 3) / rowHeight_);
        pages_ = std::max(1, int((table.rows.size() + perPage_ - 1) / perPage_));
    }

    bool paint(const std::function<bool()>& writing)
    {
        for (int page = 0; page < pages_; ++page) {
            if ((page > 0 && !writer_.newPage()) || !writing())
                return false;
            int y = heading();
            for (qsizetype k = qsizetype(page) * perPage_; k < table_.rows.size() && k < (page + 1) * perPage_; ++k) {
                drawRow(table_.rows[k], y, false);
                y += rowHeight_;
            }
            foot(page);
        }
        return true;
    }

private:
    int heading()
    {
        QFont f = font_;
        f.setPointSizeF(13);
        f.setBold(true);
        p_.setFont(f);
        p_.drawText(QRect(0, 0, area_.width(), rowHeight_ * 2), Qt::AlignVCenter | Qt::AlignLeft, table_.title);
        drawRow(table_.headings, rowHeight_ * 2, true);
        return rowHeight_ * 3;
    }

    void drawRow(const QStringList& cells, int y, bool bold)
    {
        QFont f = font_;
        f.setBold(bold);
        p_.setFont(f);
        for (int k = 0; k < cells.size() && k + 1 < left_.size(); ++k) {
            const QRect cell(left_[k] + 10, y, left_[k + 1] - left_[k] - 20, rowHeight_);
            p_.drawText(cell, Qt::AlignVCenter | Qt::AlignLeft,
                        p_.fontMetrics().elidedText(cells[k], Qt::ElideRight, cell.width()));
        }
        p_.drawLine(0, y + rowHeight_, area_.width(), y + rowHeight_);
    }

    void foot(int page)
    {
        p_.drawLine(0, footTop_, area_.width(), footTop_);
        p_.setFont(small_);
        int y = footTop_ + footLine_ / 2;
        for (const QString& line : table_.footer) {
            p_.drawText(QRect(0, y, area_.width(), footLine_), Qt::AlignVCenter | Qt::AlignLeft,
                        p_.fontMetrics().elidedText(line, Qt::ElideRight, area_.width()));
            y += footLine_;
        }
        p_.drawText(QRect(0, y, area_.width(), footLine_), Qt::AlignVCenter | Qt::AlignRight,
                    QStringLiteral("%1 / %2").arg(page + 1).arg(pages_));
    }

    const FleetTable& table_;
    QPdfWriter& writer_;
    QPainter& p_;
    QFont font_, small_;
    QRect area_;
    int rowHeight_ = 0, footLine_ = 0, footTop_ = 0, perPage_ = 1, pages_ = 1;
    QList<int> left_;
};

} // namespace

Status writeFleetPdf(const FleetTable& unnamed, const QString& path)
{
    const Result<Signer*> signer = OfficeSigning::signer();
    if (!signer)
        return signer.error();
    FleetTable table = unnamed;
    if (*signer)
        table.footer << signerLine(table.signerPattern.isEmpty() ? QString::fromUtf8(kSignerLinePattern)
                                                                 : table.signerPattern,
                                   (*signer)->certificate());
    const PdfFailure failure = [&path](const QString& why) {
        return ownWords(QStringLiteral("No se puede escribir %1: %2"),
                        {path, why.isEmpty() ? QStringLiteral("PDF") : why});
    };
    const PdfPainting paint = [&](QPdfWriter& writer, const std::function<bool()>& writing) {
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(15, 15, 15, 15),
                                         QPageLayout::Millimeter));
        writer.setResolution(300);
        QPainter p;
        if (!p.begin(&writer))
            return Status(failure(QString()));
        FleetPages pages(table, writer, p);
        const bool painted = pages.paint(writing);
        const bool ended = p.end();
        return painted && ended ? Status() : Status(failure(QString()));
    };
    return writeArchivalPdf(path, {table.title, table.proof, *signer}, paint, failure);
}

} // namespace tvq52
