#pragma once

#include "core/error.h"
#include "evidence/report_proof.h"

#include <QHash>
#include <QImage>
#include <QPicture>
#include <QRectF>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

class QPagedPaintDevice;
class QPainter;

namespace tvq52 {

class Translator;
class Prompter;

// What kind of failure a report's Error is: its catalogueId. The Error
// carries its own native text (translated where it is shown), so the id
// is never looked up in the catalogue.
enum class ReportFailure : int {
    TemplateMissing = 9001, // the file is not there or cannot be read
    TemplateBroken,         // not well-formed, no such report, or a bad element
    Database,               // a record source failed
    Script,                 // the level script does not parse or run
    Output,                 // the PDF file could not be written
};

// The error of `kind`, its native text followed by `detail`.
Error reportError(ReportFailure kind, const QString& detail);
inline bool isReportFailure(const Error& error, ReportFailure kind)
{
    return error.catalogueId == int(kind);
}

// One record of a record source while it is laid out: its columns by name,
// plus the values that the row hook computes (LSL1, LByENA, ...).
class ReportRow {
public:
    bool has(const QString& name) const { return values_.contains(name); }
    QVariant value(const QString& name) const { return values_.value(name); }
    void set(const QString& name, const QVariant& value) { values_.insert(name, value); }

private:
    QHash<QString, QVariant> values_;
};

// Runs once per detail row before the row is laid out; a failure stops the report.
using RowHook = std::function<Status(ReportRow& row)>;

using ReportRows = std::vector<ReportRow>;
// The values a report is rendered for (the unit's "serial", the range's
// "from" and "to"), handed to every record source.
using ReportParameters = QVariantMap;
// A source that hands over all its rows at once: for short lists.
using ReportSource = std::function<Result<ReportRows>(const ReportParameters& parameters)>;
// Takes one row of a source; a failure stops the reading and is what the
// source returns.
using RowTaker = std::function<Status(ReportRow& row)>;
// A source that hands its rows over one at a time as it reads them, holding
// none: a listing of a year's records.
using StreamedSource = std::function<Status(const ReportParameters& parameters, const RowTaker& take)>;

// The record sources a template's parts name, registered by the program:
// the engine reads rows only through them, and reads them again each time
// it lays the pages out.
class ReportSources {
public:
    void add(const QString& name, ReportSource source);
    void addStreamed(const QString& name, StreamedSource source) { sources_.insert(name, std::move(source)); }
    bool has(const QString& name) const { return sources_.contains(name); }
    // Hands every row of source `name` to `take`; an unknown name is a
    // broken template.
    Status read(const QString& name, const ReportParameters& parameters, const RowTaker& take) const;

private:
    QHash<QString, StreamedSource> sources_;
};

// The main report or one sub-report of a loaded template: its fields by name
// and its own record source. Names are unique inside one part; the same name
// may appear in another part (every sub-report has its "TFecha").
class ReportPart {
public:
    virtual ~ReportPart() = default;

    virtual bool hasField(const QString& name) const = 0;
    // Both return false when the part has no field of that name.
    virtual bool setText(const QString& field, const QString& text) = 0;
    virtual bool setVisible(const QString& field, bool visible) = 0;
    virtual QString text(const QString& field) const = 0;
    virtual bool isVisible(const QString& field) const = 0;

    // The record source the part's rows come from (the template's
    // `source`, or this one); empty for none: the part is laid out once.
    virtual void setSource(const QString& name) = 0;
    virtual QString source() const = 0;
    virtual void setRowHook(RowHook hook) = 0;

    // The sub-report held by field `name` of this part, or null.
    virtual ReportPart* subReport(const QString& name) = 0;
};

// One page as laid out: what to draw, in millimetres from the page's top left.
struct ReportPage;
struct ReportFont;

// A laid-out report. Its pages are counted when it is rendered, then laid
// out again one at a time as they are painted: only a few are held at any
// moment, however long the report. It reads its record sources again to do
// so, and what they read (the database) must outlive it.
class RenderedReport {
public:
    RenderedReport();
    ~RenderedReport();
    RenderedReport(RenderedReport&&) noexcept;
    RenderedReport& operator=(RenderedReport&&) noexcept;

    int pageCount() const;
    // Page size in millimetres, portrait or landscape as the template says.
    QSizeF pageSizeMm() const;
    bool landscape() const;

    // Paints page `index` scaled onto the painter's whole device, whatever
    // its resolution: screen, printer and PDF get the same drawing. A source
    // that fails now is the error, and nothing is painted.
    Status paintPage(QPainter& painter, int index) const;
    // Every page onto a printer or PDF writer, a new page between them, each
    // laid out and painted before the next. The device gets the template's
    // page size and orientation, unless the user chose a page layout: then
    // each page is fitted into the device's.
    Status print(QPagedPaintDevice& device, bool keepDeviceLayout = false) const;
    // Written as PDF/A-1b; the proof, when the report has one, goes into
    // the file's metadata. Signed with the PC's key when it has one: the
    // footer's "Firma" field then names the signer, on the file's pages only.
    Status writePdf(const QString& path, const QString& title = {}) const;
    // The signer's line in the user's language, %1 the name and %2 the
    // fingerprint's start; the native text until set.
    void setSignerLinePattern(QString pattern) { signerPattern_ = std::move(pattern); }

    // What the report's footer states about the records it shows. A report
    // with a proof reads the records' digest again through `digestNow`
    // after printing: records that changed meanwhile fail the print, as the
    // page would not match its footer.
    using DigestReader = std::function<Result<QByteArray>()>;
    void setProof(ReportProof proof, DigestReader digestNow);
    const std::optional<ReportProof>& proof() const { return proof_; }
    // Fails when the records no longer give the proof's digest.
    Status checkProof() const;

    // The texts drawn on page `index`, in drawing order (for checks).
    QStringList pageTexts(int index) const;
    // The same with the place of each, in millimetres from the page's top
    // left, and the lines and scale it is fitted into its field with.
    struct PlacedText {
        QRectF rect;
        QString text;
        QStringList lines;
        double scale = 1;
    };
    std::vector<PlacedText> placedTexts(int index) const;

    // What the pages are laid out from: the template as it was rendered,
    // its parameters and sources, and the page count. Private to the engine.
    struct Document;

private:
    friend class Report;
    struct Held;
    Result<const ReportPage*> laidOut(int index) const;
    // print(), stopping as soon as `writing` says the output failed. Paper
    // cannot be taken back, so the proof is checked before printing as well
    // as after; a file failing the check after is thrown away, and needs
    // only that one (`paper` false): each check reads every record again.
    Status printPages(QPagedPaintDevice& device, bool keepDeviceLayout, const std::function<bool()>& writing,
                      bool paper) const;
    // The same report with field `field` of the main part showing `text`.
    RenderedReport withText(const QString& field, const QString& text) const;

    std::shared_ptr<const Document> document_;
    std::optional<ReportProof> proof_;
    DigestReader digestNow_;
    QString signerPattern_;
    // The last few pages laid out, for a preview paging through them.
    mutable std::unique_ptr<Held> held_;
};

// A report template loaded from our XML format (assets/reports/README.md).
class Report {
public:
    ~Report();

    // Loads report `reportName` from the template file at `path`.
    static Result<std::unique_ptr<Report>> load(const QString& path, const QString& reportName);
    // The same from XML text already in memory; `origin` names it in errors.
    static Result<std::unique_ptr<Report>> fromXml(const QByteArray& xml, const QString& reportName,
                                                   const QString& origin = {});

    QString name() const;
    ReportPart& main();
    // Shorthands on the main report.
    bool setText(const QString& field, const QString& text) { return main().setText(field, text); }
    bool setVisible(const QString& field, bool visible) { return main().setVisible(field, visible); }
    ReportPart* subReport(const QString& name) { return main().subReport(name); }

    // A picture for the picture field `field`, wherever it is; kept in memory
    // only. A QPicture stays vector graphics in a PDF.
    bool setPicture(const QString& field, const QImage& image);
    bool setPicture(const QString& field, const QPicture& picture);

    // A value handed to every record source.
    void bind(const QString& parameter, const QVariant& value);

    // Reads every part's rows from `sources` and counts the pages they take;
    // they are laid out again as they are painted. Changes made to the
    // report afterwards change only a later render.
    Result<RenderedReport> render(const ReportSources& sources) const;

private:
    Report();
    struct Impl;
    std::unique_ptr<Impl> d;
};

// A template file in the installed assets: assetFolder/reports/fileName.
QString reportTemplatePath(const QString& assetFolder, const QString& fileName);

} // namespace tvq52
