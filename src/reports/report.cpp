#include "reports/report.h"

#include "core/own_words.h"
#include "reports/report_parts.h"

#include <QDir>
#include <QFile>
#include <QPageSize>
#include <QXmlStreamReader>
#include <algorithm>

namespace tvq52 {

using namespace engine;

namespace {

// ---------------------------------------------------------------- loading

class TemplateReader {
public:
    TemplateReader(const QByteArray& xml, std::vector<ReportFont>& fonts) : xml_(xml), fonts_(fonts) {}

    // What a report of the file is made of: its main part and its page.
    struct Template {
        std::unique_ptr<PartImpl> main;
        QSizeF page;
        bool landscape = false;
        QMarginsF margins;
    };

    // Reads until report `wanted`; the error tells where the file went wrong.
    Result<Template> read(const QString& wanted)
    {
        if (!xml_.readNextStartElement() || xml_.name() != QLatin1String("reports"))
            return Error(0, (xml_.hasError() ? xml_.errorString() : QStringLiteral("<reports> expected"))
                                + QStringLiteral(" (line %1)").arg(xml_.lineNumber()));
        Template t;
        bool found = false;
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
            t.landscape = a.value(QLatin1String("orientation")) == QLatin1String("landscape");
            QSizeF mm = size.size(QPageSize::Millimeter);
            if (t.landscape)
                mm.transpose();
            t.page = mm;
            const QStringList m =
                a.value(QLatin1String("margins")).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            t.margins = m.size() == 4 ? QMarginsF(m[3].toDouble(), m[0].toDouble(), m[1].toDouble(), m[2].toDouble())
                                     : QMarginsF(12, 12, 12, 12);
            t.main = std::make_unique<PartImpl>();
            t.main->name = a.value(QLatin1String("name")).toString();
            t.main->sourceName = a.value(QLatin1String("source")).toString();
            readPart(*t.main, true);
            break;
        }
        if (!error_.isEmpty() || xml_.hasError())
            return Error(0, (!error_.isEmpty() ? error_ : xml_.errorString())
                                + QStringLiteral(" (line %1)").arg(xml_.lineNumber()));
        if (!found)
            return Error(0, QStringLiteral("no report \"%1\"").arg(wanted));
        return Result<Template>(std::move(t));
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
                sub->sourceName = e.value(QLatin1String("source")).toString();
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

} // namespace

Report::Report() : d(std::make_unique<Impl>()) {}
Report::~Report() = default;

Result<std::unique_ptr<Report>> Report::load(const QString& path, const QString& reportName)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return reportError(ReportFailure::TemplateMissing, QDir::toNativeSeparators(path));
    return fromXml(file.readAll(), reportName, QDir::toNativeSeparators(path));
}

Result<std::unique_ptr<Report>> Report::fromXml(const QByteArray& xml, const QString& reportName, const QString& origin)
{
    std::unique_ptr<Report> report(new Report);
    TemplateReader reader(xml, report->d->fonts);
    Result<TemplateReader::Template> read = reader.read(reportName);
    if (!read)
        return reportError(ReportFailure::TemplateBroken, origin.isEmpty()
                                                              ? read.error().detail
                                                              : origin + QStringLiteral(": ") + read.error().detail);
    report->d->main = std::move(read->main);
    report->d->page = read->page;
    report->d->landscape = read->landscape;
    report->d->margins = read->margins;
    return Result<std::unique_ptr<Report>>(std::move(report));
}

QString Report::name() const
{
    return d->main->name;
}
ReportPart& Report::main()
{
    return *d->main;
}

QString reportTemplatePath(const QString& assetFolder, const QString& fileName)
{
    return QDir(assetFolder).filePath(QStringLiteral("reports/") + fileName);
}
void RenderedReport::setProof(ReportProof proof, DigestReader digestNow)
{
    proof_ = std::move(proof);
    digestNow_ = std::move(digestNow);
}

Status RenderedReport::checkProof() const
{
    if (!proof_ || !digestNow_)
        return {};
    const Result<QByteArray> now = digestNow_();
    if (!now)
        return now.error();
    if (*now != proof_->digest)
        return ownWords(
            QStringLiteral("Los registros del informe han cambiado desde que se preparó; vuelva a "
                           "abrirlo para imprimir lo que hay ahora guardado."));
    return {};
}

} // namespace tvq52
