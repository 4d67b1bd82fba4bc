#include "reports/report.h"

#include "reports/report_format.h"
#include "reports/report_layout.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QXmlStreamReader>
#include <algorithm>
#include <map>

namespace tvq52 {

namespace {

struct FieldDef {
    enum Kind { Text, Caption, Column, Computed, Page, Picture };
    Kind kind = Text;
    QString name;
    QString column;
    QString format;
    QString text;
    QRectF rect;
    int flags = Qt::AlignLeft | Qt::AlignVCenter;
    int font = 0;
    bool frame = false;
    bool grow = false;
    bool visible = true;
    std::shared_ptr<const QImage> image;
    std::shared_ptr<const QPicture> picture;
};

struct LineDef {
    QLineF line;
    double width = 0.2;
};

struct BoxDef {
    QRectF rect;
    double width = 0.2;
    QColor fill;
};

class PartImpl;

struct BandDef {
    enum Kind { Header, Detail, Footer };
    Kind kind = Detail;
    double height = 5;
    bool breakBefore = false;
    bool breakAfter = false;
    bool repeat = false;
    std::vector<FieldDef> fields;
    std::vector<LineDef> lines;
    std::vector<BoxDef> boxes;
    std::vector<std::unique_ptr<PartImpl>> subs;
};

class PartImpl : public ReportPart {
public:
    QString name;
    QRectF place; // x, y and width in the holding band; height = the room it takes there
    std::vector<BandDef> bands;
    // Page header and footer belong to the main report only.
    std::unique_ptr<BandDef> pageHeader;
    std::unique_ptr<BandDef> pageFooter;
    QString sql;
    QVariantList bound;
    bool hasSource = false;
    RowHook hook;

    FieldDef* find(const QString& field)
    {
        auto search = [&field](BandDef* band) -> FieldDef* {
            if (!band)
                return nullptr;
            for (FieldDef& f : band->fields)
                if (f.name == field)
                    return &f;
            return nullptr;
        };
        for (BandDef& b : bands)
            if (FieldDef* f = search(&b))
                return f;
        if (FieldDef* f = search(pageHeader.get()))
            return f;
        return search(pageFooter.get());
    }
    const FieldDef* find(const QString& field) const { return const_cast<PartImpl*>(this)->find(field); }

    bool hasField(const QString& field) const override { return find(field) != nullptr; }
    bool setText(const QString& field, const QString& text) override
    {
        FieldDef* f = find(field);
        if (f)
            f->text = text;
        return f != nullptr;
    }
    bool setVisible(const QString& field, bool visible) override
    {
        FieldDef* f = find(field);
        if (f)
            f->visible = visible;
        return f != nullptr;
    }
    QString text(const QString& field) const override
    {
        const FieldDef* f = find(field);
        return f ? f->text : QString();
    }
    bool isVisible(const QString& field) const override
    {
        const FieldDef* f = find(field);
        return f && f->visible;
    }
    void setRecordSource(const QString& text, const QVariantList& values) override
    {
        sql = text;
        bound = values;
        hasSource = !text.isEmpty();
    }
    void setRowHook(RowHook h) override { hook = std::move(h); }
    ReportPart* subReport(const QString& subName) override
    {
        for (BandDef& b : bands)
            for (auto& s : b.subs)
                if (s->name == subName)
                    return s.get();
        return nullptr;
    }

    // Every picture field of this part and the parts below it.
    FieldDef* findPicture(const QString& field)
    {
        if (FieldDef* f = find(field); f && f->kind == FieldDef::Picture)
            return f;
        for (BandDef& b : bands)
            for (auto& s : b.subs)
                if (FieldDef* f = s->findPicture(field))
                    return f;
        return nullptr;
    }
};

// ---------------------------------------------------------------- loading

class TemplateReader {
public:
    TemplateReader(const QByteArray& xml, std::vector<ReportFont>& fonts) : xml_(xml), fonts_(fonts) {}

    // Reads until report `wanted`; null with `error` set when it fails.
    std::unique_ptr<PartImpl> read(const QString& wanted, QSizeF* page, bool* landscape, QMarginsF* margins,
                                   QString* error)
    {
        if (!xml_.readNextStartElement() || xml_.name() != QLatin1String("reports")) {
            *error = (xml_.hasError() ? xml_.errorString() : QStringLiteral("<reports> expected"))
                + QStringLiteral(" (line %1)").arg(xml_.lineNumber());
            return nullptr;
        }
        bool found = false;
        std::unique_ptr<PartImpl> result;
        while (xml_.readNextStartElement()) {
            if (xml_.name() != QLatin1String("report")) {
                fail(QStringLiteral("<report> expected"));
                break;
            }
            const auto a = xml_.attributes();
            if (a.value(QLatin1String("name")).toString().compare(wanted, Qt::CaseInsensitive) != 0) {
                xml_.skipCurrentElement();
                continue;
            }
            found = true;
            baseFont_.family = a.value(QLatin1String("font")).toString();
            if (baseFont_.family.isEmpty())
                baseFont_.family = QStringLiteral("DejaVu Sans");
            baseFont_.points = number(a, "size", 8);
            const QString paper = a.value(QLatin1String("paper")).toString();
            const QPageSize size(paper.compare(QLatin1String("letter"), Qt::CaseInsensitive) == 0 ? QPageSize::Letter
                                                                                                  : QPageSize::A4);
            *landscape = a.value(QLatin1String("orientation")) == QLatin1String("landscape");
            QSizeF mm = size.size(QPageSize::Millimeter);
            if (*landscape)
                mm.transpose();
            *page = mm;
            const QStringList m =
                a.value(QLatin1String("margins")).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            *margins = m.size() == 4 ? QMarginsF(m[3].toDouble(), m[0].toDouble(), m[1].toDouble(), m[2].toDouble())
                                     : QMarginsF(12, 12, 12, 12);
            result = std::make_unique<PartImpl>();
            result->name = a.value(QLatin1String("name")).toString();
            readPart(*result, true);
            break;
        }
        if (!error_.isEmpty() || xml_.hasError()) {
            *error = !error_.isEmpty() ? error_ : xml_.errorString();
            *error += QStringLiteral(" (line %1)").arg(xml_.lineNumber());
            return nullptr;
        }
        if (!found) {
            *error = QStringLiteral("no report \"%1\"").arg(wanted);
            return nullptr;
        }
        return result;
    }

private:
    void fail(const QString& text)
    {
        if (error_.isEmpty())
            error_ = text;
    }

    static double number(const QXmlStreamAttributes& a, const char* key, double fallback)
    {
        const auto v = a.value(QLatin1String(key));
        if (v.isEmpty())
            return fallback;
        bool ok = false;
        const double d = v.toDouble(&ok);
        return ok ? d : fallback;
    }

    double required(const QXmlStreamAttributes& a, const char* key)
    {
        bool ok = false;
        const double d = a.value(QLatin1String(key)).toDouble(&ok);
        if (!ok)
            fail(QStringLiteral("<%1> needs a number in \"%2\"").arg(xml_.name().toString(), QLatin1String(key)));
        return d;
    }

    int fontIndex(const ReportFont& f)
    {
        auto it = std::find(fonts_.begin(), fonts_.end(), f);
        if (it != fonts_.end())
            return int(it - fonts_.begin());
        fonts_.push_back(f);
        return int(fonts_.size()) - 1;
    }

    void readPart(PartImpl& part, bool isMain)
    {
        while (error_.isEmpty() && xml_.readNextStartElement()) {
            const auto name = xml_.name();
            if (isMain && name == QLatin1String("pageHeader")) {
                part.pageHeader = std::make_unique<BandDef>();
                readBand(*part.pageHeader);
            } else if (isMain && name == QLatin1String("pageFooter")) {
                part.pageFooter = std::make_unique<BandDef>();
                readBand(*part.pageFooter);
            } else if (name == QLatin1String("band")) {
                BandDef band;
                const auto kind = xml_.attributes().value(QLatin1String("kind"));
                if (kind == QLatin1String("header"))
                    band.kind = BandDef::Header;
                else if (kind == QLatin1String("footer"))
                    band.kind = BandDef::Footer;
                else if (kind == QLatin1String("detail"))
                    band.kind = BandDef::Detail;
                else
                    fail(QStringLiteral("band kind \"%1\"").arg(kind.toString()));
                readBand(band);
                part.bands.push_back(std::move(band));
            } else {
                fail(QStringLiteral("unknown element <%1>").arg(name.toString()));
            }
        }
    }

    void readBand(BandDef& band)
    {
        const auto a = xml_.attributes();
        band.height = required(a, "height");
        band.breakBefore = a.value(QLatin1String("newPage")) == QLatin1String("before");
        band.breakAfter = a.value(QLatin1String("newPage")) == QLatin1String("after");
        band.repeat = a.value(QLatin1String("repeat")) == QLatin1String("true");
        while (error_.isEmpty() && xml_.readNextStartElement()) {
            const auto name = xml_.name();
            const auto e = xml_.attributes();
            if (name == QLatin1String("field")) {
                band.fields.push_back(readField(e));
                xml_.skipCurrentElement();
            } else if (name == QLatin1String("line")) {
                band.lines.push_back(
                    {QLineF(required(e, "x1"), required(e, "y1"), required(e, "x2"), required(e, "y2")),
                     number(e, "width", 0.2)});
                xml_.skipCurrentElement();
            } else if (name == QLatin1String("box")) {
                BoxDef box{rect(e), number(e, "width", 0.2), {}};
                if (e.hasAttribute(QLatin1String("fill")))
                    box.fill = QColor(e.value(QLatin1String("fill")).toString());
                band.boxes.push_back(box);
                xml_.skipCurrentElement();
            } else if (name == QLatin1String("subreport")) {
                auto sub = std::make_unique<PartImpl>();
                sub->name = e.value(QLatin1String("name")).toString();
                sub->place = QRectF(required(e, "x"), required(e, "y"), required(e, "w"), number(e, "h", 0));
                if (sub->name.isEmpty())
                    fail(QStringLiteral("a sub-report needs a name"));
                readPart(*sub, false);
                band.subs.push_back(std::move(sub));
            } else {
                fail(QStringLiteral("unknown element <%1>").arg(name.toString()));
            }
        }
    }

    QRectF rect(const QXmlStreamAttributes& a)
    {
        return QRectF(required(a, "x"), required(a, "y"), required(a, "w"), required(a, "h"));
    }

    FieldDef readField(const QXmlStreamAttributes& a)
    {
        FieldDef f;
        f.name = a.value(QLatin1String("name")).toString();
        const auto kind = a.value(QLatin1String("kind"));
        static const std::pair<const char*, FieldDef::Kind> kinds[] = {
            {"text", FieldDef::Text},         {"caption", FieldDef::Caption}, {"column", FieldDef::Column},
            {"computed", FieldDef::Computed}, {"page", FieldDef::Page},       {"picture", FieldDef::Picture}};
        bool known = false;
        for (const auto& [text, k] : kinds)
            if (kind == QLatin1String(text)) {
                f.kind = k;
                known = true;
            }
        if (!known)
            fail(QStringLiteral("field \"%1\": kind \"%2\"").arg(f.name, kind.toString()));
        f.column = a.value(QLatin1String("column")).toString();
        if ((f.kind == FieldDef::Column || f.kind == FieldDef::Computed) && f.column.isEmpty())
            f.column = f.name;
        f.format = a.value(QLatin1String("format")).toString();
        f.text = a.value(QLatin1String("text")).toString();
        f.rect = rect(a);
        int h = Qt::AlignLeft;
        const auto align = a.value(QLatin1String("align"));
        if (align == QLatin1String("right"))
            h = Qt::AlignRight;
        else if (align == QLatin1String("center"))
            h = Qt::AlignHCenter;
        int v = Qt::AlignVCenter;
        const auto valign = a.value(QLatin1String("valign"));
        if (valign == QLatin1String("top"))
            v = Qt::AlignTop;
        else if (valign == QLatin1String("bottom"))
            v = Qt::AlignBottom;
        f.flags = h | v;
        f.frame = a.value(QLatin1String("frame")) == QLatin1String("true");
        f.grow = a.value(QLatin1String("grow")) == QLatin1String("true");
        if (f.grow)
            f.flags = h | Qt::AlignTop | Qt::TextWordWrap | Qt::TextDontClip;
        f.visible = a.value(QLatin1String("visible")) != QLatin1String("false");
        ReportFont font = baseFont_;
        if (a.hasAttribute(QLatin1String("font")))
            font.family = a.value(QLatin1String("font")).toString();
        font.points = number(a, "size", font.points);
        font.bold = a.value(QLatin1String("bold")) == QLatin1String("true");
        font.italic = a.value(QLatin1String("italic")) == QLatin1String("true");
        f.font = fontIndex(font);
        if (f.name.isEmpty() && f.kind != FieldDef::Caption && f.kind != FieldDef::Page)
            fail(QStringLiteral("a field of kind \"%1\" needs a name").arg(kind.toString()));
        return f;
    }

    QXmlStreamReader xml_;
    std::vector<ReportFont>& fonts_;
    ReportFont baseFont_;
    QString error_;
};

// ---------------------------------------------------------------- layout

QFont qfontFor(const ReportFont& f, double pointsToDevice)
{
    QFont font(f.family);
    font.setPointSizeF(f.points * pointsToDevice);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    return font;
}

// Measures wrapped text in millimetres at a fine fixed resolution, so the
// layout does not depend on the device it is later painted on.
// How far a growing field's text shrinks before a word breaks: paper must
// still read it.
constexpr double kGrowingFloor = 0.8;

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
             const QSqlDatabase& db)
        : main_(main), measure_(fonts), page_(page), margins_(margins), db_(db)
    {
        top_ = margins.top() + (main.pageHeader ? main.pageHeader->height : 0);
        bottom_ = page.height() - margins.bottom() - (main.pageFooter ? main.pageFooter->height : 0);
    }

    std::optional<ReportError> run(std::vector<ReportPage>& pages)
    {
        pages_ = &pages;
        Cursor c{0, top_};
        auto e = layPart(main_, margins_.left(), c, nullptr);
        firstMainRow_ = nullptr;
        if (e)
            return e;
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
        return std::nullopt;
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

    std::optional<ReportError> fetch(const PartImpl& part, std::vector<ReportRow>& rows)
    {
        if (!part.hasSource)
            return std::nullopt;
        QSqlQuery q(db_);
        q.setForwardOnly(true);
        if (!q.prepare(part.sql))
            return ReportError{ReportError::Database, q.lastError().text()};
        for (const QVariant& v : part.bound)
            q.addBindValue(v);
        if (!q.exec())
            return ReportError{ReportError::Database, q.lastError().text()};
        const QSqlRecord rec = q.record();
        const int n = rec.count();
        QStringList names;
        for (int i = 0; i < n; ++i)
            names << rec.fieldName(i);
        while (q.next()) {
            ReportRow row;
            for (int i = 0; i < n; ++i)
                row.set(names[i], q.value(i));
            rows.push_back(std::move(row));
        }
        if (q.lastError().isValid())
            return ReportError{ReportError::Database, q.lastError().text()};
        return std::nullopt;
    }

    std::optional<ReportError> layPart(const PartImpl& part, double x, Cursor& c, const Repeat* outer)
    {
        std::vector<ReportRow> rows;
        if (auto e = fetch(part, rows))
            return e;
        if (!part.hasSource)
            rows.emplace_back();
        for (ReportRow& row : rows)
            if (part.hook)
                if (auto e = part.hook(row))
                    return e;
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
                if (auto e = place(b, first, x, c, outer))
                    return e;
        for (const ReportRow& row : rows)
            for (const BandDef& b : part.bands)
                if (b.kind == BandDef::Detail)
                    if (auto e = place(b, &row, x, c, &repeat))
                        return e;
        for (const BandDef& b : part.bands)
            if (b.kind == BandDef::Footer)
                if (auto e = place(b, first, x, c, &repeat))
                    return e;
        return std::nullopt;
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

    std::optional<ReportError> place(const BandDef& b, const ReportRow* row, double x, Cursor& c, const Repeat* repeat)
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
            if (auto e = layPart(*s, x + s->place.x(), sc, repeat))
                return e;
            sc.y += std::max(0.0, h - s->place.bottom());
            end = std::max(end, sc);
        }
        c = end;
        if (c.y > bottom_)
            newPage(c, repeat);
        if (b.breakAfter)
            pendingBreak_ = true;
        return std::nullopt;
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
    QSqlDatabase db_;
    std::vector<ReportPage>* pages_ = nullptr;
    const ReportRow* firstMainRow_ = nullptr;
    double top_ = 0;
    double bottom_ = 0;
    bool pendingBreak_ = false;
    std::map<std::pair<const PartImpl*, int>, double> repeatEnd_;
};

} // namespace

// ---------------------------------------------------------------- Report

struct Report::Impl {
    std::unique_ptr<PartImpl> main;
    std::vector<ReportFont> fonts;
    QSizeF page;
    bool landscape = false;
    QMarginsF margins;
};

Report::Report() : d(std::make_unique<Impl>()) {}
Report::~Report() = default;

std::variant<std::unique_ptr<Report>, ReportError> Report::load(const QString& path, const QString& reportName)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReportError{ReportError::TemplateMissing, QDir::toNativeSeparators(path)};
    return fromXml(file.readAll(), reportName, QDir::toNativeSeparators(path));
}

std::variant<std::unique_ptr<Report>, ReportError> Report::fromXml(const QByteArray& xml, const QString& reportName,
                                                                   const QString& origin)
{
    std::unique_ptr<Report> report(new Report);
    TemplateReader reader(xml, report->d->fonts);
    QString error;
    report->d->main = reader.read(reportName, &report->d->page, &report->d->landscape, &report->d->margins, &error);
    if (!report->d->main)
        return ReportError{ReportError::TemplateBroken,
                           origin.isEmpty() ? error : origin + QStringLiteral(": ") + error};
    return report;
}

QString Report::name() const
{
    return d->main->name;
}
ReportPart& Report::main()
{
    return *d->main;
}

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

std::variant<RenderedReport, ReportError> Report::render(const QSqlDatabase& db) const
{
    RenderedReport out;
    out.fonts_ = d->fonts;
    out.pageSize_ = d->page;
    out.landscape_ = d->landscape;
    Layouter layouter(*d->main, out.fonts_, d->page, d->margins, db);
    if (auto e = layouter.run(out.pages_))
        return *e;
    return out;
}

QString reportTemplatePath(const QString& assetFolder, const QString& fileName)
{
    return QDir(assetFolder).filePath(QStringLiteral("reports/") + fileName);
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

std::optional<ReportError> RenderedReport::writePdf(const QString& path, const QString& title) const
{
    // Written to a file beside the target that takes its place only when
    // whole: a full disk or a failed write leaves any earlier file as it was.
    QSaveFile file(path);
    const auto failed = [&] {
        const QString why =
            file.error() == QFileDevice::NoError ? QString() : QStringLiteral(": ") + file.errorString();
        return ReportError{ReportError::Output, QDir::toNativeSeparators(path) + why};
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed();
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
        const ReportError error = failed();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return failed();
    return std::nullopt;
}

} // namespace tvq52
