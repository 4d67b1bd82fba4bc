#include "reports/report.h"

#include "reports/report_parts.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>

namespace tvq52 {

using namespace engine;

QFont engine::qfontFor(const ReportFont& f, double pointsToDevice)
{
    QFont font(f.family);
    font.setPointSizeF(f.points * pointsToDevice);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    return font;
}

// ---------------------------------------------------------------- RenderedReport

RenderedReport::RenderedReport() = default;
RenderedReport::~RenderedReport() = default;
RenderedReport::RenderedReport(RenderedReport&&) noexcept = default;
RenderedReport& RenderedReport::operator=(RenderedReport&&) noexcept = default;

int RenderedReport::pageCount() const
{
    return int(pages_.size());
}
QSizeF RenderedReport::pageSizeMm() const
{
    return pageSize_;
}
bool RenderedReport::landscape() const
{
    return landscape_;
}

QStringList RenderedReport::pageTexts(int index) const
{
    QStringList texts;
    if (index < 0 || index >= pageCount())
        return texts;
    for (const DrawOp& op : pages_[size_t(index)].ops)
        if (op.type == DrawOp::Text && !op.text.isEmpty())
            texts << op.text;
    return texts;
}
std::vector<RenderedReport::PlacedText> RenderedReport::placedTexts(int index) const
{
    std::vector<PlacedText> texts;
    if (index < 0 || index >= pageCount())
        return texts;
    for (const DrawOp& op : pages_[size_t(index)].ops)
        if (op.type == DrawOp::Text && !op.text.isEmpty())
            texts.push_back({op.rect, op.text});
    return texts;
}

namespace {

// A text wider than its field wraps at word breaks and then shrinks until it
// fits: a heading that is longer in another language must neither run into
// its neighbour nor be cut. A field that grows has the height it needs, but
// a single word longer than its width would still run over.
void drawFitted(QPainter& painter, const QRectF& rect, int flags, const QString& shown, const QFont& font)
{
    // Two-line headings come with CR LF; a CR would be measured as a glyph.
    QString text = shown;
    text.remove(QLatin1Char('\r'));
    // Fonts are a fraction of a point in the painter's millimetres, where
    // metrics round badly: measure at a large size and scale back.
    constexpr double k = 64.0;
    QFont big = font;
    big.setPointSizeF(font.pointSizeF() * k);
    const QFontMetricsF fm(big, painter.device());
    const double room = rect.width() * k;
    double widestLine = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widestLine = std::max(widestLine, fm.horizontalAdvance(line));
    if (widestLine <= room) {
        painter.drawText(rect, flags, shown);
        return;
    }
    // A field that grows wraps its words and only shrinks for a word longer
    // than its width; a fixed field keeps its lines and shrinks to them.
    const bool grows = flags & Qt::TextDontClip;
    double widest = widestLine;
    if (grows) {
        widest = 0;
        for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
            widest = std::max(widest, fm.horizontalAdvance(word));
    }
    // A heading shrinks only so far that paper still reads it; a word still
    // too long then breaks where it must.
    const double floor = grows ? kGrowingFloor : 0.5;
    const double wanted = room / std::max(widest, 1.0) * 0.98;
    const double scale = std::clamp(wanted, floor, 1.0);
    int drawFlags = flags;
    if (grows)
        drawFlags |= wanted < floor ? Qt::TextWrapAnywhere : Qt::TextWordWrap;
    // Scaled drawing rather than a smaller font: point sizes this small in
    // millimetre units do not scale evenly.
    painter.save();
    painter.translate(rect.topLeft());
    painter.scale(scale, scale);
    painter.drawText(QRectF(0, 0, rect.width() / scale, rect.height() / scale), drawFlags, text);
    painter.restore();
}

} // namespace

void RenderedReport::paintPage(QPainter& painter, int index) const
{
    if (index < 0 || index >= pageCount() || pageSize_.isEmpty())
        return;
    QPaintDevice* device = painter.device();
    const double scale = std::min(device->width() / pageSize_.width(), device->height() / pageSize_.height());
    // Fonts are sized in the painter's millimetre units.
    const double pointsToDevice = 25.4 / device->logicalDpiY();
    std::vector<QFont> fonts;
    fonts.reserve(fonts_.size());
    for (const ReportFont& f : fonts_)
        fonts.push_back(qfontFor(f, pointsToDevice));

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    painter.fillRect(QRectF(QPointF(0, 0), pageSize_), Qt::white);
    int currentFont = -1;
    QPen pen(Qt::black);
    for (const DrawOp& op : pages_[size_t(index)].ops) {
        switch (op.type) {
        case DrawOp::Text:
            if (op.frame) {
                pen.setWidthF(0.15);
                painter.setPen(pen);
                painter.drawRect(op.rect);
            }
            if (op.font != currentFont) {
                currentFont = op.font;
                painter.setFont(fonts[size_t(op.font)]);
            }
            painter.setPen(Qt::black);
            drawFitted(painter, op.frame ? op.rect.adjusted(0.6, 0, -0.6, 0) : op.rect, op.flags, op.text,
                       fonts[size_t(op.font)]);
            break;
        case DrawOp::Line:
            pen.setWidthF(op.penWidth);
            painter.setPen(pen);
            painter.drawLine(op.line);
            break;
        case DrawOp::Box:
            pen.setWidthF(op.penWidth);
            painter.setPen(op.penWidth > 0 ? pen : QPen(Qt::NoPen));
            painter.setBrush(op.fill.isValid() ? QBrush(op.fill) : QBrush(Qt::NoBrush));
            painter.drawRect(op.rect);
            painter.setBrush(Qt::NoBrush);
            break;
        case DrawOp::Image: {
            QSizeF s = QSizeF(op.image->size()).scaled(op.rect.size(), Qt::KeepAspectRatio);
            painter.drawImage(QRectF(op.rect.topLeft(), s), *op.image);
            break;
        }
        case DrawOp::Picture: {
            const QRectF bounds = op.picture->boundingRect();
            if (bounds.isEmpty())
                break;
            const double k = std::min(op.rect.width() / bounds.width(), op.rect.height() / bounds.height());
            painter.save();
            painter.translate(op.rect.topLeft());
            painter.scale(k, k);
            painter.translate(-bounds.topLeft());
            painter.drawPicture(0, 0, *op.picture);
            painter.restore();
            break;
        }
        }
    }
    painter.restore();
}

bool RenderedReport::print(QPagedPaintDevice& device, bool keepDeviceLayout) const
{
    if (!keepDeviceLayout) {
        const QSizeF portrait = landscape_ ? pageSize_.transposed() : pageSize_;
        device.setPageSize(QPageSize(portrait, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch));
        device.setPageOrientation(landscape_ ? QPageLayout::Landscape : QPageLayout::Portrait);
        device.setPageMargins(QMarginsF(0, 0, 0, 0));
    }
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    for (int i = 0; i < pageCount(); ++i) {
        if (i > 0 && !device.newPage())
            return false;
        paintPage(painter, i);
    }
    return painter.end();
}

Status RenderedReport::writePdf(const QString& path, const QString& title) const
{
    // Written to a file beside the target that takes its place only when
    // whole: a full disk or a failed write leaves any earlier file as it was.
    QSaveFile file(path);
    const auto failed = [&] {
        const QString why =
            file.error() == QFileDevice::NoError ? QString() : QStringLiteral(": ") + file.errorString();
        return reportError(ReportFailure::Output, QDir::toNativeSeparators(path) + why);
    };
    if (!file.open(QIODevice::WriteOnly))
        return Status(failed());
    bool painted = false;
    {
        QPdfWriter writer(&file);
        writer.setResolution(600);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("TVQ-52 Manager"));
        painted = print(writer);
    }
    const bool flushed = file.flush();
    if (!painted || !flushed || file.error() != QFileDevice::NoError) {
        const Error error = failed();
        file.cancelWriting();
        return Status(error);
    }
    if (!file.commit())
        return Status(failed());
    return {};
}
} // namespace tvq52
