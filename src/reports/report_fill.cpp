#include "reports/report.h"

#include "reports/report_format.h"
#include "reports/report_parts.h"
#include "reports/report_text_fit.h"

#include <QPainter>
#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

namespace tvq52 {

using namespace engine;

namespace {

// The heights of growing fields, measured as the painter fits their texts.
class TextMeasure {
public:
    explicit TextMeasure(const std::vector<ReportFont>& fonts) : fit_(fonts) {}

    // The height a growing field needs, fitted as the painter fits it: a word
    // longer than the width shrinks the text. Repeated headers measure the
    // same texts on every page: each is measured once.
    double height(int font, const QString& text, double widthMm)
    {
        const Key key{font, widthMm, text};
        if (const auto known = heights_.find(key); known != heights_.end())
            return known->second;
        if (heights_.size() > 4096)
            heights_.clear();
        return heights_[key] = fit_.heightMm(font, fit_.fit(font, text, widthMm, 0));
    }

private:
    using Key = std::tuple<int, double, QString>;

    FontFit fit_;
    std::map<Key, double> heights_;
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

// The layout stops early this way once its sink has the pages it wanted;
// never shown.
constexpr int kEnoughPages = -9100;

Status enoughPages()
{
    return Status(Error(kEnoughPages));
}

bool isEnoughPages(const Status& status)
{
    return !status && status.error().catalogueId == kEnoughPages;
}

bool holdsSubReports(const PartImpl& part)
{
    for (const BandDef& b : part.bands)
        if (!b.subs.empty())
            return true;
    return false;
}

// Lays the pages out in order, handing each to the sink once nothing more
// can land on it: only the pages still open are held.
class Layouter {
public:
    Layouter(const RenderedReport::Document& document, PageSink& sink, int total)
        : main_(*document.main),
          measure_(document.fonts),
          page_(document.page),
          margins_(document.margins),
          sources_(document.sources),
          parameters_(document.parameters),
          sink_(sink),
          total_(total)
    {
        top_ = margins_.top() + (main_.pageHeader ? main_.pageHeader->height : 0);
        bottom_ = page_.height() - margins_.bottom() - (main_.pageFooter ? main_.pageFooter->height : 0);
    }

    Result<int> run()
    {
        Cursor c{0, top_};
        const Status laid = layPart(main_, margins_.left(), c, nullptr);
        firstMainRow_ = nullptr;
        if (isEnoughPages(laid))
            return opened_;
        if (!laid)
            return laid.error();
        ensurePage(0);
        if (const Status flushed = flushBelow(opened_); !flushed && !isEnoughPages(flushed))
            return flushed.error();
        return opened_;
    }

private:
    using Repeat = std::function<void(Cursor&)>;

    // One part's pass over its rows: its headers wait for the first row,
    // which they print from, as do the headers it repeats.
    struct PartRun {
        const PartImpl& part;
        double x;
        const Repeat* outer;
        std::optional<ReportRow> first;
        bool started = false;
        Repeat repeat;
    };

    void ensurePage(int index)
    {
        while (opened_ <= index) {
            open_.emplace_back();
            const int page = opened_++;
            if (main_.pageHeader)
                drawBand(*main_.pageHeader, firstMainRow_, page, margins_.left(), margins_.top(),
                         main_.pageHeader->height);
        }
    }

    // The page footer and the page numbers, once nothing else lands on it.
    void finish(int index)
    {
        if (main_.pageFooter)
            drawBand(*main_.pageFooter, nullptr, index, margins_.left(),
                     page_.height() - margins_.bottom() - main_.pageFooter->height, main_.pageFooter->height);
        for (DrawOp& op : open_.front().ops)
            if (op.pageNumber)
                op.text = op.text.arg(index + 1).arg(total_);
    }

    // Hands over every open page below `low`.
    Status flushBelow(int low)
    {
        while (flushed_ < low && !open_.empty()) {
            const int index = flushed_;
            Status taken;
            if (sink_.draws(index)) {
                finish(index);
                taken = sink_.take(index, std::move(open_.front()));
            }
            open_.pop_front();
            ++flushed_;
            std::erase_if(repeatEnd_, [index](const auto& entry) { return entry.first.second <= index; });
            if (!taken)
                return taken;
        }
        return sink_.enough(flushed_) ? enoughPages() : Status();
    }

    // A column field names a column its source's rows carry: a misspelt
    // one fails the report rather than printing as an empty field.
    static Status columnsNamed(const PartImpl& part, const ReportRow& row)
    {
        for (const BandDef& b : part.bands)
            for (const FieldDef& f : b.fields)
                if (f.kind == FieldDef::Column && !row.has(f.column))
                    return reportError(ReportFailure::TemplateBroken,
                                       QStringLiteral("%1: field \"%2\": no column \"%3\" in source \"%4\"")
                                           .arg(part.name, f.name, f.column, part.sourceName));
        return {};
    }

    // A part whose rows hold sub-reports reads them all first (they are
    // few: the main report's one row), so that a sub-report's query never
    // runs inside another; the lists themselves stream.
    Status readRows(const PartImpl& part, const RowTaker& take)
    {
        if (part.sourceName.isEmpty()) {
            ReportRow none;
            return take(none);
        }
        if (!holdsSubReports(part))
            return sources_.read(part.sourceName, parameters_, take);
        ReportRows rows;
        const Status read = sources_.read(part.sourceName, parameters_, [&rows](ReportRow& row) {
            rows.push_back(row);
            return Status();
        });
        if (!read)
            return read;
        for (ReportRow& row : rows)
            if (Status taken = take(row); !taken)
                return taken;
        return {};
    }

    Status layPart(const PartImpl& part, double x, Cursor& c, const Repeat* outer)
    {
        PartRun run{part, x, outer, std::nullopt, false, {}};
        run.repeat = [this, &run](Cursor& at) { repeatHeaders(run, at); };
        if (Status read = readRows(part, [&](ReportRow& row) { return layRow(run, row, c); }); !read)
            return read;
        if (!run.started)
            if (Status started = start(run, nullptr, c); !started)
                return started;
        const ReportRow* first = run.first ? &*run.first : nullptr;
        for (const BandDef& b : part.bands)
            if (b.kind == BandDef::Footer)
                if (Status placed = place(b, first, x, c, &run.repeat); !placed)
                    return placed;
        return {};
    }

    Status layRow(PartRun& run, ReportRow& row, Cursor& c)
    {
        if (!run.started && !run.part.sourceName.isEmpty())
            if (Status named = columnsNamed(run.part, row); !named)
                return named;
        if (run.part.hook)
            if (Status hooked = run.part.hook(row); !hooked)
                return hooked;
        if (!run.started) {
            run.first = row;
            if (Status started = start(run, &*run.first, c); !started)
                return started;
        }
        for (const BandDef& b : run.part.bands)
            if (b.kind == BandDef::Detail)
                if (Status placed = place(b, &row, run.x, c, &run.repeat); !placed)
                    return placed;
        return {};
    }

    // The part's header bands, printed from its first row.
    Status start(PartRun& run, const ReportRow* first, Cursor& c)
    {
        run.started = true;
        if (&run.part == &main_)
            firstMainRow_ = first;
        ensurePage(c.page);
        for (const BandDef& b : run.part.bands)
            if (b.kind == BandDef::Header)
                if (Status placed = place(b, first, run.x, c, run.outer); !placed)
                    return placed;
        return {};
    }

    // The part's repeated headers go on top of every page it runs onto.
    // Side-by-side sub-reports share the page: what is above them is drawn
    // once, and each starts below it.
    void repeatHeaders(const PartRun& run, Cursor& at)
    {
        if (run.outer)
            (*run.outer)(at);
        const auto key = std::make_pair(&run.part, at.page);
        if (const auto done = repeatEnd_.find(key); done != repeatEnd_.end()) {
            at.y = std::max(at.y, done->second);
            return;
        }
        const ReportRow* first = run.first ? &*run.first : nullptr;
        for (const BandDef& b : run.part.bands)
            if (b.kind == BandDef::Header && b.repeat)
                placeStatic(b, first, run.x, at);
        repeatEnd_[key] = at.y;
    }

    Status newPage(Cursor& c, const Repeat* repeat)
    {
        c = Cursor{c.page + 1, top_};
        ensurePage(c.page);
        int low = c.page;
        for (const int held : holds_)
            low = std::min(low, held);
        if (Status flushed = flushBelow(low); !flushed)
            return flushed;
        if (repeat)
            (*repeat)(c);
        return {};
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

    // The height of a part's header bands and its first detail band.
    double leadIn(const PartImpl& part)
    {
        double h = 0;
        bool row = false;
        for (const BandDef& b : part.bands) {
            if (b.kind == BandDef::Header) {
                h += bandHeight(b, nullptr);
            } else if (b.kind == BandDef::Detail && !row) {
                h += b.height;
                row = true;
            }
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
            if (Status broke = newPage(c, repeat); !broke)
                return broke;
        }
        const double h = bandHeight(b, row);
        // What lies above a sub-report has to fit on this page together with
        // the sub-report's headings and first row: a heading never ends a page.
        double own = b.subs.empty() ? h : 0;
        for (const auto& s : b.subs)
            own = std::max(own, s->place.y() + leadIn(*s));
        if (c.y + own > bottom_ && c.y > top_)
            if (Status broke = newPage(c, repeat); !broke)
                return broke;
        drawBand(b, row, c.page, x, c.y, h);
        Cursor end{c.page, c.y + h};
        if (Status laid = laySubReports(b, x, h, c, end, repeat); !laid)
            return laid;
        c = end;
        if (c.y > bottom_)
            if (Status broke = newPage(c, repeat); !broke)
                return broke;
        if (b.breakAfter)
            pendingBreak_ = true;
        return {};
    }

    // Side-by-side sub-reports all start on the band's page: it stays open
    // until the last of them has started there.
    Status laySubReports(const BandDef& b, double x, double h, const Cursor& c, Cursor& end, const Repeat* repeat)
    {
        const bool hold = b.subs.size() > 1;
        if (hold)
            holds_.push_back(c.page);
        for (std::size_t i = 0; i < b.subs.size(); ++i) {
            const PartImpl& s = *b.subs[i];
            if (hold && i + 1 == b.subs.size())
                holds_.pop_back();
            Cursor sc{c.page, c.y + s.place.y()};
            if (Status laid = layPart(s, x + s.place.x(), sc, repeat); !laid)
                return laid;
            sc.y += std::max(0.0, h - s.place.bottom());
            end = std::max(end, sc);
        }
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
        if (!sink_.draws(page))
            return;
        Q_ASSERT(page >= flushed_ && page < opened_);
        std::vector<DrawOp>& ops = open_[std::size_t(page - flushed_)].ops;
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
    PageSink& sink_;
    int total_ = 0;
    // Pages [flushed_, opened_) are open, held in open_.
    std::deque<ReportPage> open_;
    int flushed_ = 0;
    int opened_ = 0;
    // The pages of bands whose side-by-side sub-reports have not all started.
    std::vector<int> holds_;
    const ReportRow* firstMainRow_ = nullptr;
    double top_ = 0;
    double bottom_ = 0;
    bool pendingBreak_ = false;
    std::map<std::pair<const PartImpl*, int>, double> repeatEnd_;
};

// Counts the pages and draws none.
class PageCount : public PageSink {
public:
    bool draws(int) const override { return false; }
    Status take(int, ReportPage) override { return {}; }
    bool enough(int) const override { return false; }
};

BandDef cloneBand(const BandDef& band)
{
    BandDef copy;
    copy.kind = band.kind;
    copy.height = band.height;
    copy.breakBefore = band.breakBefore;
    copy.breakAfter = band.breakAfter;
    copy.repeat = band.repeat;
    copy.fields = band.fields;
    copy.lines = band.lines;
    copy.boxes = band.boxes;
    for (const auto& sub : band.subs)
        copy.subs.push_back(clonePart(*sub));
    return copy;
}

} // namespace

bool Report::setPicture(const QString& field, const QImage& image)
{
    FieldDef* f = d->main->findPicture(field);
    if (!f)
        return false;
    // The pages are white and a PDF/A file may hold no transparency: an
    // image with an alpha channel is laid onto white once, here.
    if (image.hasAlphaChannel()) {
        QImage opaque(image.size(), QImage::Format_RGB32);
        opaque.setDevicePixelRatio(image.devicePixelRatio());
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(QPoint(0, 0), image);
        painter.end();
        f->image = std::make_shared<const QImage>(std::move(opaque));
    } else {
        f->image = std::make_shared<const QImage>(image);
    }
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

std::unique_ptr<PartImpl> engine::clonePart(const PartImpl& part)
{
    auto copy = std::make_unique<PartImpl>();
    copy->name = part.name;
    copy->place = part.place;
    for (const BandDef& b : part.bands)
        copy->bands.push_back(cloneBand(b));
    if (part.pageHeader)
        copy->pageHeader = std::make_unique<BandDef>(cloneBand(*part.pageHeader));
    if (part.pageFooter)
        copy->pageFooter = std::make_unique<BandDef>(cloneBand(*part.pageFooter));
    copy->sourceName = part.sourceName;
    copy->hook = part.hook;
    return copy;
}

Result<int> engine::layOut(const RenderedReport::Document& document, PageSink& sink, int total)
{
    return Layouter(document, sink, total).run();
}

Result<RenderedReport> Report::render(const ReportSources& sources) const
{
    auto document = std::make_shared<RenderedReport::Document>();
    document->main = clonePart(*d->main);
    document->fonts = d->fonts;
    document->page = d->page;
    document->landscape = d->landscape;
    document->margins = d->margins;
    document->parameters = d->parameters;
    document->sources = sources;
    PageCount count;
    const Result<int> pages = layOut(*document, count, 0);
    if (!pages)
        return pages.error();
    document->pages = *pages;
    RenderedReport out;
    out.document_ = std::move(document);
    return Result<RenderedReport>(std::move(out));
}

} // namespace tvq52
