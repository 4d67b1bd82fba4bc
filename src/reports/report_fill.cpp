#include "reports/report.h"

#include "reports/report_format.h"
#include "reports/report_parts.h"

#include <QFontMetricsF>
#include <QImage>
#include <QRegularExpression>
#include <algorithm>
#include <functional>
#include <map>

namespace tvq52 {

using namespace engine;

namespace {

// Measures wrapped text in millimetres at a fine fixed resolution, so the
// layout does not depend on the device it is later painted on.

class TextMeasure {
public:
    explicit TextMeasure(const std::vector<ReportFont>& fonts) : fonts_(fonts), device_(8, 8, QImage::Format_RGB32)
    {
        const int dpm = int(1200 / 0.0254);
        device_.setDotsPerMeterX(dpm);
        device_.setDotsPerMeterY(dpm);
    }

    // The height a growing field needs, fitted as the painter fits it: a word
    // longer than the width shrinks the text, then breaks.
    double height(int font, const QString& text, double widthMm)
    {
        const double pxPerMm = 1200 / 25.4;
        QFontMetricsF fm(qfontFor(fonts_[size_t(font)], 1.0), &device_);
        const double room = widthMm * pxPerMm;
        double widest = 0;
        for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
            widest = std::max(widest, fm.horizontalAdvance(word));
        const double wanted = widest > room ? room / widest * 0.98 : 1.0;
        const double scale = std::clamp(wanted, kGrowingFloor, 1.0);
        const int flags = wanted < kGrowingFloor ? Qt::TextWrapAnywhere : Qt::TextWordWrap;
        const QRectF r = fm.boundingRect(QRectF(0, 0, room / scale, 1e7), flags, text);
        return r.height() * scale / pxPerMm;
    }

private:
    const std::vector<ReportFont>& fonts_;
    QImage device_;
};

// Stored texts end their lines with CR (and LF); the painter breaks on LF.
QString printable(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

struct Cursor {
    int page = 0;
    double y = 0;
    bool operator<(const Cursor& o) const { return page < o.page || (page == o.page && y < o.y); }
};

class Layouter {
public:
    Layouter(const PartImpl& main, const std::vector<ReportFont>& fonts, QSizeF page, QMarginsF margins,
             const ReportSources& sources, const ReportParameters& parameters)
        : main_(main), measure_(fonts), page_(page), margins_(margins), sources_(sources), parameters_(parameters)
    {
        top_ = margins.top() + (main.pageHeader ? main.pageHeader->height : 0);
        bottom_ = page.height() - margins.bottom() - (main.pageFooter ? main.pageFooter->height : 0);
    }

    Status run(std::vector<ReportPage>& pages)
    {
        pages_ = &pages;
        Cursor c{0, top_};
        const Status laid = layPart(main_, margins_.left(), c, nullptr);
        firstMainRow_ = nullptr;
        if (!laid)
            return laid;
        ensurePage(0);
        // Page numbers and the footer once the count is known.
        const int count = int(pages.size());
        for (int p = 0; p < count; ++p) {
            if (main_.pageFooter)
                drawBand(*main_.pageFooter, nullptr, p, margins_.left(),
                         page_.height() - margins_.bottom() - main_.pageFooter->height, main_.pageFooter->height);
            for (DrawOp& op : pages[size_t(p)].ops)
                if (op.pageNumber)
                    op.text = op.text.arg(p + 1).arg(count);
        }
        return {};
    }

private:
    using Repeat = std::function<void(Cursor&)>;

    void ensurePage(int index)
    {
        while (int(pages_->size()) <= index) {
            pages_->emplace_back();
            if (main_.pageHeader)
                drawBand(*main_.pageHeader, firstMainRow_, int(pages_->size()) - 1, margins_.left(), margins_.top(),
                         main_.pageHeader->height);
        }
    }

    // A column field names a column its source's rows carry: a misspelt
    // one fails the report rather than printing as an empty field.
    static Status columnsNamed(const PartImpl& part, const ReportRows& rows)
    {
        if (rows.empty())
            return {};
        for (const BandDef& b : part.bands)
            for (const FieldDef& f : b.fields)
                if (f.kind == FieldDef::Column && !rows.front().has(f.column))
                    return reportError(ReportFailure::TemplateBroken,
                                       QStringLiteral("%1: field \"%2\": no column \"%3\" in source \"%4\"")
                                           .arg(part.name, f.name, f.column, part.sourceName));
        return {};
    }

    Status layPart(const PartImpl& part, double x, Cursor& c, const Repeat* outer)
    {
        ReportRows rows;
        if (part.sourceName.isEmpty()) {
            rows.emplace_back();
        } else {
            Result<ReportRows> read = sources_.rows(part.sourceName, parameters_);
            if (!read)
                return read.error();
            rows = std::move(*read);
            if (Status named = columnsNamed(part, rows); !named)
                return named;
        }
        for (ReportRow& row : rows)
            if (part.hook)
                if (Status hooked = part.hook(row); !hooked)
                    return hooked;
        const ReportRow* first = rows.empty() ? nullptr : &rows.front();
        if (&part == &main_)
            firstMainRow_ = first;
        ensurePage(c.page);

        // The part's repeated headers go on top of every page it runs onto.
        // Side-by-side sub-reports share the page: what is above them is
        // drawn once, and each starts below it.
        const Repeat repeat = [&](Cursor& at) {
            if (outer)
                (*outer)(at);
            const auto key = std::make_pair(&part, at.page);
            if (const auto done = repeatEnd_.find(key); done != repeatEnd_.end()) {
                at.y = std::max(at.y, done->second);
                return;
            }
            for (const BandDef& b : part.bands)
                if (b.kind == BandDef::Header && b.repeat)
                    placeStatic(b, first, x, at);
            repeatEnd_[key] = at.y;
        };
        for (const BandDef& b : part.bands)
            if (b.kind == BandDef::Header)
                if (Status placed = place(b, first, x, c, outer); !placed)
                    return placed;
        for (const ReportRow& row : rows)
            for (const BandDef& b : part.bands)
                if (b.kind == BandDef::Detail)
                    if (Status placed = place(b, &row, x, c, &repeat); !placed)
                        return placed;
        for (const BandDef& b : part.bands)
            if (b.kind == BandDef::Footer)
                if (Status placed = place(b, first, x, c, &repeat); !placed)
                    return placed;
        return {};
    }

    void newPage(Cursor& c, const Repeat* repeat)
    {
        c = Cursor{c.page + 1, top_};
        ensurePage(c.page);
        if (repeat)
            (*repeat)(c);
    }

    double bandHeight(const BandDef& b, const ReportRow* row)
    {
        double h = b.height;
        for (const FieldDef& f : b.fields)
            if (f.grow && f.visible) {
                const QString text = fieldText(f, row);
                if (text.isEmpty())
                    continue;
                // A little slack: devices round glyph metrics differently.
                const double need = measure_.height(f.font, printable(text), f.rect.width()) + 0.6;
                h = std::max(h, b.height + need - f.rect.height());
            }
        return h;
    }

    // A band without sub-reports: drawn whole, on a new page when it does not fit.
    void placeStatic(const BandDef& b, const ReportRow* row, double x, Cursor& c)
    {
        const double h = bandHeight(b, row);
        drawBand(b, row, c.page, x, c.y, h);
        c.y += h;
    }

    Status place(const BandDef& b, const ReportRow* row, double x, Cursor& c, const Repeat* repeat)
    {
        if (pendingBreak_ || (b.breakBefore && c.y > top_)) {
            pendingBreak_ = false;
            newPage(c, repeat);
        }
        const double h = bandHeight(b, row);
        double own = h;
        if (!b.subs.empty()) {
            // Only what lies above the first sub-report has to fit on this page.
            own = h;
            for (const auto& s : b.subs)
                own = std::min(own, s->place.y() + 0.1);
        }
        if (c.y + own > bottom_ && c.y > top_)
            newPage(c, repeat);
        drawBand(b, row, c.page, x, c.y, h);
        Cursor end{c.page, c.y + h};
        for (const auto& s : b.subs) {
            Cursor sc{c.page, c.y + s->place.y()};
            if (Status laid = layPart(*s, x + s->place.x(), sc, repeat); !laid)
                return laid;
            sc.y += std::max(0.0, h - s->place.bottom());
            end = std::max(end, sc);
        }
        c = end;
        if (c.y > bottom_)
            newPage(c, repeat);
        if (b.breakAfter)
            pendingBreak_ = true;
        return {};
    }

    static QString fieldText(const FieldDef& f, const ReportRow* row)
    {
        switch (f.kind) {
        case FieldDef::Column:
        case FieldDef::Computed:
            if (!row || !row->has(f.column))
                return f.text;
            return formatReportValue(row->value(f.column), f.format);
        default:
            return f.text;
        }
    }

    void drawBand(const BandDef& b, const ReportRow* row, int page, double x, double y, double h)
    {
        std::vector<DrawOp>& ops = (*pages_)[size_t(page)].ops;
        const double grown = h - b.height;
        for (const BoxDef& box : b.boxes) {
            DrawOp op;
            op.type = DrawOp::Box;
            op.rect = box.rect.translated(x, y);
            op.penWidth = box.width;
            op.fill = box.fill;
            ops.push_back(std::move(op));
        }
        for (const LineDef& l : b.lines) {
            DrawOp op;
            op.type = DrawOp::Line;
            // Lines below the band's middle follow a band that grew.
            const double shift = l.line.y1() > b.height / 2 ? grown : 0;
            op.line = l.line.translated(x, y + shift);
            op.penWidth = l.width;
            ops.push_back(std::move(op));
        }
        for (const FieldDef& f : b.fields) {
            if (!f.visible)
                continue;
            DrawOp op;
            op.rect = f.rect.translated(x, y);
            if (f.grow)
                op.rect.setHeight(f.rect.height() + grown);
            op.frame = f.frame;
            if (f.kind == FieldDef::Picture) {
                if (!f.image && !f.picture)
                    continue;
                op.type = f.image ? DrawOp::Image : DrawOp::Picture;
                op.image = f.image;
                op.picture = f.picture;
                ops.push_back(std::move(op));
                continue;
            }
            op.type = DrawOp::Text;
            op.text = printable(fieldText(f, row));
            op.pageNumber = f.kind == FieldDef::Page;
            if (op.text.isEmpty() && !op.frame)
                continue;
            op.font = f.font;
            op.flags = f.flags;
            ops.push_back(std::move(op));
        }
    }

    const PartImpl& main_;
    TextMeasure measure_;
    QSizeF page_;
    QMarginsF margins_;
    const ReportSources& sources_;
    const ReportParameters& parameters_;
    std::vector<ReportPage>* pages_ = nullptr;
    const ReportRow* firstMainRow_ = nullptr;
    double top_ = 0;
    double bottom_ = 0;
    bool pendingBreak_ = false;
    std::map<std::pair<const PartImpl*, int>, double> repeatEnd_;
};

} // namespace

bool Report::setPicture(const QString& field, const QImage& image)
{
    FieldDef* f = d->main->findPicture(field);
    if (!f)
        return false;
    f->image = std::make_shared<const QImage>(image);
    f->picture.reset();
    return true;
}

bool Report::setPicture(const QString& field, const QPicture& picture)
{
    FieldDef* f = d->main->findPicture(field);
    if (!f)
        return false;
    f->picture = std::make_shared<const QPicture>(picture);
    f->image.reset();
    return true;
}

void Report::bind(const QString& parameter, const QVariant& value)
{
    d->parameters.insert(parameter, value);
}

Result<RenderedReport> Report::render(const ReportSources& sources) const
{
    RenderedReport out;
    out.fonts_ = d->fonts;
    out.pageSize_ = d->page;
    out.landscape_ = d->landscape;
    Layouter layouter(*d->main, out.fonts_, d->page, d->margins, sources, d->parameters);
    if (Status laid = layouter.run(out.pages_); !laid)
        return laid.error();
    return Result<RenderedReport>(std::move(out));
}

} // namespace tvq52
