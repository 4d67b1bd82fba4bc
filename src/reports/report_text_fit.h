#pragma once

// How a field's text is fitted into its width; private to the engine, shared
// by the layout (which measures the height a growing field needs) and the
// painter, so both break the same lines.

#include "reports/report_layout.h"

#include <QFontMetricsF>
#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace tvq52::engine {

// The width of one line of text at the scale the room is given in.
using TextWidth = std::function<double(const QString& line)>;

struct FittedText {
    QStringList lines; // drawn one under the other, never broken again
    double scale = 1;  // of the font
    bool squeezed = false; // it did not fit as it was: it keeps the gutter
};

// Below this a text is no longer read on paper: a word still too wide then
// breaks where its room ends (no heading in any language comes near it).
constexpr double kSmallestScale = 0.35;

// Fits `text` into `room` (its width) and `roomHeight` (0 for a field that
// grows to its text), with lines `lineHeight` apart at full size. Lines
// break only between words: a word wider than the room shrinks the whole
// text until it fits, down to kSmallestScale. A field that does not grow wraps when its height
// holds the lines and otherwise shrinks its lines to its width. Line feeds
// in the text always break.
// A text that does not fit as it is keeps `gutter` of its room free, so that
// it does not run up against its neighbour's.
FittedText fitText(const QString& text, double room, double roomHeight, double lineHeight, const TextWidth& width,
                   double gutter = 0);

// The gap a fitted text leaves beside it, in millimetres.
constexpr double kGutterMm = 0.6;

// The report's fonts measured at a fine fixed resolution, so that a fit
// does not depend on the device the text is later painted on.
class FontFit {
public:
    explicit FontFit(const std::vector<ReportFont>& fonts);
    // `text` of font `font` fitted into a field of `widthMm` by `heightMm`
    // (0 for a field that grows).
    FittedText fit(int font, const QString& text, double widthMm, double heightMm) const;
    // The height in millimetres that `fitted` takes in font `font`.
    double heightMm(int font, const FittedText& fitted) const;

private:
    QImage device_;
    std::vector<QFontMetricsF> metrics_;
};

} // namespace tvq52::engine
