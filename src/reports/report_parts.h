#pragma once

// A loaded template's parts, bands and fields; private to the engine, shared
// by its reading (report.cpp), filling (report_fill.cpp) and painting
// (report_paint.cpp).

#include "reports/report.h"
#include "reports/report_layout.h"

#include <QColor>
#include <QFont>
#include <QLineF>
#include <QMarginsF>
#include <QRectF>
#include <memory>
#include <vector>

namespace tvq52 {

namespace engine {

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
    QString sourceName;
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
    void setSource(const QString& named) override { sourceName = named; }
    QString source() const override { return sourceName; }
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

QFont qfontFor(const ReportFont& f, double pointsToDevice);

// A deep copy: a rendered report keeps the template as it was rendered.
std::unique_ptr<PartImpl> clonePart(const PartImpl& part);

// Where the layout hands its pages, in order, each once nothing more can be
// drawn on it.
class PageSink {
public:
    virtual ~PageSink() = default;
    // Whether page `index` is drawn at all: a count draws none.
    virtual bool draws(int index) const = 0;
    // Page `index`, complete, when it is drawn; a failure stops the layout.
    virtual Status take(int index, ReportPage page) = 0;
    // True when no page from `index` on is wanted: the layout stops there.
    virtual bool enough(int index) const = 0;
};

} // namespace engine

struct RenderedReport::Document {
    std::unique_ptr<engine::PartImpl> main;
    std::vector<ReportFont> fonts;
    QSizeF page;
    bool landscape = false;
    QMarginsF margins;
    ReportParameters parameters;
    ReportSources sources;
    int pages = 0;
};

namespace engine {

// Lays `document` out into `sink`, numbering pages against `total` ("%2");
// the number of pages laid out, which is all of them unless the sink had
// enough.
Result<int> layOut(const RenderedReport::Document& document, PageSink& sink, int total);

} // namespace engine

struct Report::Impl {
    ReportParameters parameters;
    std::unique_ptr<engine::PartImpl> main;
    std::vector<ReportFont> fonts;
    QSizeF page;
    bool landscape = false;
    QMarginsF margins;
};

} // namespace tvq52
