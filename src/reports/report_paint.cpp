#include "reports/report.h"

#include "reports/archival_pdf.h"
#include "reports/report_parts.h"
#include "reports/report_text_fit.h"
#include "evidence/signed_pdf.h"

#include <QDir>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>
#include <algorithm>
#include <functional>
#include <map>

namespace tvq52 {

using namespace engine;

QFont engine::qfontFor(const ReportFont& f, double pointsToDevice)
{
    QFont font(f.family);
    font.setPointSizeF(f.points * pointsToDevice);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    // No ligatures: a digest printed as "ff" must read back as two letters
    // when a reader copies it out of the PDF.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

// ---------------------------------------------------------------- RenderedReport

namespace {

// A page the layout gave that is not there: the sources read differently
// this time than when the pages were counted.
Error recordsChanged()
{
    return reportError(ReportFailure::Database, QStringLiteral("the records changed while the report was printed"));
}

// Keeps the pages of [from, to) as they come.
class PageWindow : public PageSink {
public:
    PageWindow(int from, int to) : from_(from), to_(to) {}
    bool draws(int index) const override { return index >= from_ && index < to_; }
    Status take(int index, ReportPage page) override
    {
        pages.emplace(index, std::move(page));
        return {};
    }
    bool enough(int index) const override { return index >= to_; }
    std::map<int, ReportPage> pages;

private:
    int from_, to_;
};

// How many pages a preview gets laid out around the one it shows: paging
// on lays out once every few pages.
constexpr int kHeldBefore = 2;
constexpr int kHeldAfter = 6;

} // namespace

struct RenderedReport::Held {
    std::map<int, ReportPage> pages;
};

RenderedReport::RenderedReport() = default;
RenderedReport::~RenderedReport() = default;
RenderedReport::RenderedReport(RenderedReport&&) noexcept = default;
RenderedReport& RenderedReport::operator=(RenderedReport&&) noexcept = default;

int RenderedReport::pageCount() const
{
    return document_ ? document_->pages : 0;
}
QSizeF RenderedReport::pageSizeMm() const
{
    return document_ ? document_->page : QSizeF();
}
bool RenderedReport::landscape() const
{
    return document_ && document_->landscape;
}

Result<const ReportPage*> RenderedReport::laidOut(int index) const
{
    if (held_)
        if (const auto found = held_->pages.find(index); found != held_->pages.end())
            return &found->second;
    PageWindow window(std::max(0, index - kHeldBefore), std::min(pageCount(), index + kHeldAfter));
    const Result<int> laid = layOut(*document_, window, pageCount());
    if (!laid)
        return laid.error();
    held_ = std::make_unique<Held>();
    held_->pages = std::move(window.pages);
    const auto found = held_->pages.find(index);
    if (found == held_->pages.end())
        return recordsChanged();
    return &found->second;
}

QStringList RenderedReport::pageTexts(int index) const
{
    QStringList texts;
    for (const PlacedText& placed : placedTexts(index))
        texts << placed.text;
    return texts;
}

std::vector<RenderedReport::PlacedText> RenderedReport::placedTexts(int index) const
{
    std::vector<PlacedText> texts;
    if (index < 0 || index >= pageCount())
        return texts;
    const Result<const ReportPage*> page = laidOut(index);
    if (!page)
        return texts;
    const FontFit fonts(document_->fonts);
    for (const DrawOp& op : (*page)->ops)
        if (op.type == DrawOp::Text && !op.text.isEmpty()) {
            const QRectF rect = op.frame ? op.rect.adjusted(0.6, 0, -0.6, 0) : op.rect;
            const bool grows = op.flags & Qt::TextDontClip;
            const FittedText fit = fonts.fit(op.font, op.text, rect.width(), grows ? 0 : rect.height());
            texts.push_back({op.rect, op.text, fit.lines, fit.scale});
        }
    return texts;
}

namespace {

// Fonts are a fraction of a point in the painter's millimetres, where
// metrics round badly: texts are measured at this many times the size.
constexpr double kMeasureScale = 64.0;

// The report's fonts on one device, and the widths of the texts drawn in
// them: a listing draws the same few texts many times over.
class DeviceFonts {
public:
    DeviceFonts(const std::vector<ReportFont>& fonts, QPaintDevice* device) : device_(device)
    {
        // Fonts are sized in the painter's millimetre units.
        const double pointsToDevice = 25.4 / device->logicalDpiY();
        for (const ReportFont& f : fonts) {
            fonts_.push_back(qfontFor(f, pointsToDevice));
            QFont big = fonts_.back();
            big.setPointSizeF(big.pointSizeF() * kMeasureScale);
            metrics_.emplace_back(big, device);
            bigFonts_.push_back(big);
        }
        widths_.resize(fonts.size());
        shapes_.resize(fonts.size());
    }
    const QFont& font(int index) const { return fonts_[std::size_t(index)]; }
    // The font at the measuring scale: lines broken by its widths are drawn in it.
    const QFont& measuringFont(int index) const { return bigFonts_[std::size_t(index)]; }
    // The distance between lines at the measuring scale.
    double lineSpacing(int index) const { return metrics_[std::size_t(index)].lineSpacing(); }
    // The width of `text` (one line) at the measuring scale.
    double width(int index, const QString& text)
    {
        QHash<QString, double>& known = widths_[std::size_t(index)];
        if (const auto found = known.constFind(text); found != known.constEnd())
            return *found;
        if (known.size() > 20000)
            known.clear();
        return *known.insert(text, metrics_[std::size_t(index)].horizontalAdvance(text));
    }

    // A text of one line that fits its field, placed as drawText places it
    // but from glyphs shaped once, and not clipped: it fits.
    void drawLine(QPainter& painter, const QRectF& rect, int flags, const QString& text, int font)
    {
        const Shaped& shaped = shape(font, text, rect.width(), flags & Qt::AlignHorizontal_Mask);
        double y = 0;
        if (flags & Qt::AlignBottom)
            y = rect.height() - shaped.height;
        else if (flags & Qt::AlignVCenter)
            y = (rect.height() - shaped.height) / 2;
        for (const QGlyphRun& run : shaped.runs)
            painter.drawGlyphRun(QPointF(rect.x(), rect.y() + y), run);
    }

private:
    // A text shaped and aligned on a line of the field's width.
    struct Shaped {
        double width = 0;
        int align = 0;
        QList<QGlyphRun> runs;
        double height = 0;
    };

    const Shaped& shape(int font, const QString& text, double width, int align)
    {
        QHash<QString, std::vector<Shaped>>& known = shapes_[std::size_t(font)];
        std::vector<Shaped>& ways = known[text];
        for (const Shaped& way : ways)
            if (way.width == width && way.align == align)
                return way;
        if (known.size() > 20000) {
            known.clear();
            return shape(font, text, width, align);
        }
        QTextLayout layout(text, fonts_[std::size_t(font)], device_);
        layout.setTextOption(QTextOption(Qt::Alignment(align)));
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(width);
        layout.endLayout();
        ways.push_back({width, align, layout.glyphRuns(), line.ascent() + line.descent()});
        return ways.back();
    }

    QPaintDevice* device_;
    std::vector<QFont> fonts_;
    std::vector<QFontMetricsF> metrics_;
    std::vector<QFont> bigFonts_;
    std::vector<QHash<QString, double>> widths_;
    std::vector<QHash<QString, std::vector<Shaped>>> shapes_;
};

// A text wider than its field wraps between words and shrinks until every
// word fits: a heading that is longer in another language must neither run
// into its neighbour, nor be cut, nor break inside a word.
void drawFitted(QPainter& painter, const QRectF& rect, int flags, const QString& shown, DeviceFonts& fonts, int font)
{
    // Two-line headings come with CR LF; a CR would be measured as a glyph.
    QString text = shown;
    if (text.contains(QLatin1Char('\r')))
        text.remove(QLatin1Char('\r'));
    // Most texts are one line that fits: drawn at once.
    if (!text.contains(QLatin1Char('\n')) && fonts.width(font, text) <= rect.width() * kMeasureScale) {
        fonts.drawLine(painter, rect, flags, text, font);
        return;
    }
    const bool grows = flags & Qt::TextDontClip;
    const FittedText fit =
        fitText(text, rect.width() * kMeasureScale, grows ? 0 : rect.height() * kMeasureScale,
                fonts.lineSpacing(font), [&fonts, font](const QString& line) { return fonts.width(font, line); },
                kGutterMm * kMeasureScale);
    if (fit.scale == 1 && fit.lines.size() == 1) {
        fonts.drawLine(painter, rect, flags, fit.lines.front(), font);
        return;
    }
    // The lines are broken already: the painter must not break them again.
    const int drawFlags = flags & ~(Qt::TextWordWrap | Qt::TextWrapAnywhere);
    // Drawn in the font the lines were measured in, scaled down: point sizes
    // this small in millimetre units do not scale evenly.
    const double k = fit.scale / kMeasureScale;
    const double inset = fit.squeezed ? kGutterMm / 2 : 0;
    const QRectF inner = rect.adjusted(inset, 0, -inset, 0);
    painter.save();
    painter.setFont(fonts.measuringFont(font));
    painter.translate(inner.topLeft());
    painter.scale(k, k);
    painter.drawText(QRectF(0, 0, inner.width() / k, inner.height() / k), drawFlags, fit.lines.join(QLatin1Char('\n')));
    painter.restore();
}

void drawPicture(QPainter& painter, const QRectF& rect, const QPicture& picture)
{
    const QRectF bounds = picture.boundingRect();
    if (bounds.isEmpty())
        return;
    const double k = std::min(rect.width() / bounds.width(), rect.height() / bounds.height());
    painter.save();
    painter.translate(rect.topLeft());
    painter.scale(k, k);
    painter.translate(-bounds.topLeft());
    painter.drawPicture(0, 0, picture);
    painter.restore();
}

void drawOp(QPainter& painter, const DrawOp& op, DeviceFonts& fonts, int& currentFont)
{
    QPen pen(Qt::black);
    switch (op.type) {
    case DrawOp::Text:
        if (op.frame) {
            pen.setWidthF(0.15);
            painter.setPen(pen);
            painter.drawRect(op.rect);
        }
        if (op.font != currentFont) {
            currentFont = op.font;
            painter.setFont(fonts.font(op.font));
        }
        painter.setPen(Qt::black);
        drawFitted(painter, op.frame ? op.rect.adjusted(0.6, 0, -0.6, 0) : op.rect, op.flags, op.text, fonts, op.font);
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
        QSizeF size = QSizeF(op.image->size()).scaled(op.rect.size(), Qt::KeepAspectRatio);
        painter.drawImage(QRectF(op.rect.topLeft(), size), *op.image);
        break;
    }
    case DrawOp::Picture:
        drawPicture(painter, op.rect, *op.picture);
        break;
    }
}

// Paints `page` scaled onto the painter's whole device.
void paintOps(QPainter& painter, const ReportPage& page, QSizeF pageSize, DeviceFonts& fonts)
{
    QPaintDevice* device = painter.device();
    const double scale = std::min(device->width() / pageSize.width(), device->height() / pageSize.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    painter.fillRect(QRectF(QPointF(0, 0), pageSize), Qt::white);
    int currentFont = -1;
    for (const DrawOp& op : page.ops)
        drawOp(painter, op, fonts, currentFont);
    painter.restore();
}

// Paints each page onto the device as the layout hands it over.
class DevicePages : public PageSink {
public:
    DevicePages(QPagedPaintDevice& device, QPainter& painter, const RenderedReport::Document& document,
                const std::function<bool()>& writing)
        : device_(device),
          painter_(painter),
          pageSize_(document.page),
          fonts_(document.fonts, &device),
          writing_(writing)
    {}
    bool draws(int) const override { return true; }
    Status take(int index, ReportPage page) override
    {
        // A full disk ends the report at the page it failed on.
        if ((index > 0 && !device_.newPage()) || !writing_())
            return reportError(ReportFailure::Output, QString());
        paintOps(painter_, page, pageSize_, fonts_);
        return {};
    }
    bool enough(int) const override { return false; }

private:
    QPagedPaintDevice& device_;
    QPainter& painter_;
    QSizeF pageSize_;
    DeviceFonts fonts_;
    const std::function<bool()>& writing_;
};

} // namespace

Status RenderedReport::paintPage(QPainter& painter, int index) const
{
    if (index < 0 || index >= pageCount())
        return {};
    const Result<const ReportPage*> page = laidOut(index);
    if (!page)
        return page.error();
    DeviceFonts fonts(document_->fonts, painter.device());
    paintOps(painter, **page, document_->page, fonts);
    return {};
}

Status RenderedReport::print(QPagedPaintDevice& device, bool keepDeviceLayout) const
{
    const std::function<bool()> always = [] { return true; };
    return printPages(device, keepDeviceLayout, always, true);
}

Status RenderedReport::printPages(QPagedPaintDevice& device, bool keepDeviceLayout,
                                  const std::function<bool()>& writing, bool paper) const
{
    // Pages whose records changed since the footer's digest was taken would
    // print a proof they do not match.
    if (paper)
        if (Status same = checkProof(); !same)
            return same;
    if (!keepDeviceLayout) {
        const QSizeF size = pageSizeMm();
        const QSizeF portrait = landscape() ? size.transposed() : size;
        device.setPageSize(QPageSize(portrait, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch));
        device.setPageOrientation(landscape() ? QPageLayout::Landscape : QPageLayout::Portrait);
        device.setPageMargins(QMarginsF(0, 0, 0, 0));
    }
    QPainter painter;
    if (!painter.begin(&device))
        return reportError(ReportFailure::Output, QString());
    Result<int> laid = 0;
    if (document_) {
        DevicePages pages(device, painter, *document_, writing);
        laid = layOut(*document_, pages, pageCount());
    }
    const bool ended = painter.end();
    if (!laid)
        return laid.error();
    if (*laid != pageCount())
        return recordsChanged();
    if (!ended)
        return reportError(ReportFailure::Output, QString());
    return checkProof();
}

Status RenderedReport::writePdf(const QString& path, const QString& title) const
{
    const PdfFailure failure = [&path](const QString& why) {
        return reportError(ReportFailure::Output,
                           QDir::toNativeSeparators(path) + (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    };
    const Result<Signer*> signer = OfficeSigning::signer();
    if (!signer)
        return signer.error();
    // Paper carries no signature: the signer's line is the file's alone.
    RenderedReport named;
    const RenderedReport* shown = this;
    if (*signer && document_) {
        const QString pattern = signerPattern_.isEmpty() ? QString::fromUtf8(kSignerLinePattern) : signerPattern_;
        named = withText(QStringLiteral("Firma"), signerLine(pattern, (*signer)->certificate()));
        shown = &named;
    }
    const PdfPainting paint = [&](QPdfWriter& writer, const std::function<bool()>& writing) {
        writer.setResolution(600);
        const Status painted = shown->printPages(writer, false, writing, false);
        if (!painted && isReportFailure(painted.error(), ReportFailure::Output))
            return Status(failure(QString()));
        return painted;
    };
    return writeArchivalPdf(path, {title, proof_, *signer}, paint, failure);
}

RenderedReport RenderedReport::withText(const QString& field, const QString& text) const
{
    auto document = std::make_shared<Document>();
    document->main = clonePart(*document_->main);
    document->main->setText(field, text);
    document->fonts = document_->fonts;
    document->page = document_->page;
    document->landscape = document_->landscape;
    document->margins = document_->margins;
    document->parameters = document_->parameters;
    document->sources = document_->sources;
    document->pages = document_->pages;
    RenderedReport copy;
    copy.document_ = std::move(document);
    copy.proof_ = proof_;
    copy.digestNow_ = digestNow_;
    copy.signerPattern_ = signerPattern_;
    return copy;
}
} // namespace tvq52
