#include "reports/report_text_fit.h"

#include "reports/report_parts.h"

#include <QRegularExpression>
#include <algorithm>

namespace tvq52::engine {

namespace {

// Glyph metrics round differently on each device: fitting keeps a little
// room spare so that a line fitted on one fits on all.
constexpr double kSpare = 0.98;

QStringList words(const QString& paragraph)
{
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    return paragraph.split(spaces, Qt::SkipEmptyParts);
}

double widestOf(const QStringList& texts, const TextWidth& width)
{
    double widest = 0;
    for (const QString& t : texts)
        widest = std::max(widest, width(t));
    return widest;
}

// Greedy breaking at spaces into lines no wider than `room`.
QStringList wrapped(const QStringList& paragraphs, double room, const TextWidth& width)
{
    QStringList lines;
    for (const QString& paragraph : paragraphs) {
        QString line;
        for (const QString& word : words(paragraph)) {
            const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (line.isEmpty() || width(longer) <= room) {
                line = longer;
            } else {
                lines << line;
                line = word;
            }
        }
        lines << line;
    }
    return lines;
}

double widestWord(const QStringList& paragraphs, const TextWidth& width)
{
    double widest = 0;
    for (const QString& paragraph : paragraphs)
        widest = std::max(widest, widestOf(words(paragraph), width));
    return widest;
}

// The last resort for a word that does not fit even at the smallest scale:
// it breaks where the room ends rather than running into its neighbour.
QStringList brokenAnywhere(const QStringList& lines, double room, const TextWidth& width)
{
    QStringList out;
    for (const QString& line : lines) {
        QString rest = line;
        while (width(rest) > room && rest.size() > 1) {
            qsizetype n = rest.size() - 1;
            while (n > 1 && width(rest.left(n)) > room)
                --n;
            out << rest.left(n);
            rest = rest.mid(n);
        }
        out << rest;
    }
    return out;
}

// A field that does not grow: its own lines a little smaller, or its words
// wrapped into its height at the largest scale that holds them, or its own
// lines shrunk to its width.
FittedText fitFixed(const QStringList& paragraphs, double room, double roomHeight, double lineHeight,
                    const TextWidth& width)
{
    const double ownLines = room * kSpare / std::max(widestOf(paragraphs, width), 1e-9);
    const auto holds = [&](qsizetype lines, double scale) {
        return double(lines) * lineHeight * scale <= roomHeight * 1.02;
    };
    if (ownLines >= 0.8 && holds(paragraphs.size(), ownLines))
        return {paragraphs, ownLines};
    const double widest = widestWord(paragraphs, width);
    for (double scale = std::min(1.0, room * kSpare / std::max(widest, 1e-9)); scale >= kSmallestScale;
         scale -= 0.05) {
        if (scale <= ownLines && holds(paragraphs.size(), ownLines))
            return {paragraphs, ownLines};
        const QStringList lines = wrapped(paragraphs, room * kSpare / scale, width);
        if (holds(lines.size(), scale))
            return {lines, scale};
    }
    if (ownLines >= kSmallestScale)
        return {paragraphs, std::min(ownLines, 1.0)};
    return {brokenAnywhere(paragraphs, room * kSpare / kSmallestScale, width), kSmallestScale};
}

FittedText fitInto(const QStringList& paragraphs, double room, double roomHeight, double lineHeight,
                   const TextWidth& width)
{
    if (roomHeight > 0)
        return fitFixed(paragraphs, room, roomHeight, lineHeight, width);
    const double wanted = room * kSpare / std::max(widestWord(paragraphs, width), 1e-9);
    const double scale = std::clamp(wanted, kSmallestScale, 1.0);
    const QStringList lines = wrapped(paragraphs, room * kSpare / scale, width);
    if (wanted >= kSmallestScale)
        return {lines, scale};
    return {brokenAnywhere(lines, room * kSpare / scale, width), scale};
}

} // namespace

FittedText fitText(const QString& text, double wholeRoom, double roomHeight, double lineHeight, const TextWidth& width,
                   double gutter)
{
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    if (widestOf(paragraphs, width) <= wholeRoom)
        return {paragraphs, 1};
    const double room = std::max(wholeRoom - gutter, wholeRoom / 2);
    FittedText fit = fitInto(paragraphs, room, roomHeight, lineHeight, width);
    fit.squeezed = true;
    return fit;
}

namespace {

constexpr double kDotsPerMm = 1200 / 25.4;

} // namespace

FontFit::FontFit(const std::vector<ReportFont>& fonts) : device_(8, 8, QImage::Format_RGB32)
{
    device_.setDotsPerMeterX(int(kDotsPerMm * 1000));
    device_.setDotsPerMeterY(int(kDotsPerMm * 1000));
    for (const ReportFont& f : fonts)
        metrics_.emplace_back(qfontFor(f, 1.0), &device_);
}

FittedText FontFit::fit(int font, const QString& text, double widthMm, double heightMm) const
{
    const QFontMetricsF& fm = metrics_[std::size_t(font)];
    // Two-line headings come with CR LF; a CR would be measured as a glyph.
    return fitText(QString(text).remove(QLatin1Char('\r')), widthMm * kDotsPerMm, heightMm * kDotsPerMm,
                   fm.lineSpacing(), [&fm](const QString& line) { return fm.horizontalAdvance(line); },
                   kGutterMm * kDotsPerMm);
}

double FontFit::heightMm(int font, const FittedText& fitted) const
{
    return double(fitted.lines.size()) * metrics_[std::size_t(font)].lineSpacing() * fitted.scale / kDotsPerMm;
}

} // namespace tvq52::engine
