#include "reports/report_text_fit.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace tvq52::engine;

namespace {

// Every character one unit wide, so that widths are worked out by hand.
const TextWidth kUnit = [](const QString& line) { return double(line.size()); };

// The words of a text, whatever lines it was broken into.
QStringList wordsOf(const QStringList& lines)
{
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    return lines.join(QLatin1Char(' ')).split(spaces, Qt::SkipEmptyParts);
}

double widest(const QStringList& lines)
{
    double w = 0;
    for (const QString& line : lines)
        w = std::max(w, kUnit(line));
    return w;
}

} // namespace

TEST(TextFit, AGrowingHeadingWrapsBetweenWordsAndShrinksForAWordTooWide)
{
    struct Case {
        const char* text;
        double room;
        double scale; // expected
        int lines;
    } cases[] = {
        {"Pasadas (emisión)", 20, 1, 1},                 // fits as it is
        {"Pasadas (emisión)", 10, 1, 2},                 // wraps at the space
        {"LeqT(emisión)", 10, 10 * 0.98 / 13, 1},        // one word: shrinks, never breaks
        {"Tiempo atenuación", 8, 8 * 0.98 / 10, 2},      // the longer word sets the scale
        {"Límite LeqT(recepción)", 12, 12 * 0.98 / 15, 2}, // and the rest wraps at that scale
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        const FittedText fit = fitText(text, c.room, 0, 1, kUnit);
        EXPECT_NEAR(fit.scale, c.scale, 1e-9) << c.text;
        EXPECT_EQ(fit.lines.size(), c.lines) << c.text << ": " << fit.lines.join('|').toStdString();
        EXPECT_EQ(wordsOf(fit.lines), wordsOf({text})) << c.text << ": no word is broken, lost or added";
        EXPECT_LE(widest(fit.lines) * fit.scale, c.room) << c.text << ": every line fits";
    }
}

TEST(TextFit, LineFeedsAlwaysBreakAndEachLineWrapsOnItsOwn)
{
    const FittedText fit = fitText(QStringLiteral("Leq1'max\ndBA"), 20, 0, 1, kUnit);
    EXPECT_EQ(fit.lines, QStringList({QStringLiteral("Leq1'max"), QStringLiteral("dBA")}));
    EXPECT_EQ(fit.scale, 1);
    const FittedText narrow = fitText(QStringLiteral("REGISTROS Sesión\nLeq"), 10, 0, 1, kUnit);
    EXPECT_EQ(narrow.lines,
              QStringList({QStringLiteral("REGISTROS"), QStringLiteral("Sesión"), QStringLiteral("Leq")}));
}

TEST(TextFit, AFixedFieldWrapsWhenItsHeightHoldsTheLinesAndShrinksOtherwise)
{
    const QString text = QStringLiteral("Línea insuficiente");
    // Two lines of height 1 fit a field 2 high: wrapped at full size.
    const FittedText tall = fitText(text, 13, 2, 1, kUnit);
    EXPECT_EQ(tall.scale, 1);
    EXPECT_EQ(tall.lines.size(), 2);
    // One line high: kept on one line and shrunk to the width.
    const FittedText low = fitText(text, 15, 1, 1, kUnit);
    EXPECT_EQ(low.lines, QStringList{text});
    EXPECT_NEAR(low.scale, 15 * 0.98 / 18, 1e-9);
    // Whatever the field, no word is ever broken.
    for (double room : {5.0, 6.0, 9.0, 14.0})
        for (double height : {0.0, 1.0, 2.0, 4.0})
            EXPECT_EQ(wordsOf(fitText(text, room, height, 1, kUnit).lines), wordsOf({text})) << room << " " << height;
}

TEST(TextFit, AWordTooWideEvenAtTheSmallestScaleBreaksRatherThanRunOver)
{
    const QString word(200, QLatin1Char('x'));
    for (double height : {0.0, 1.0}) {
        const FittedText fit = fitText(word, 10, height, 1, kUnit);
        EXPECT_EQ(fit.scale, kSmallestScale) << height;
        EXPECT_GT(fit.lines.size(), 1) << height;
        EXPECT_EQ(fit.lines.join(QString()), word) << height;
        EXPECT_LE(widest(fit.lines) * fit.scale, 10) << height;
    }
}

TEST(TextFit, ASqueezedTextKeepsItsGutterFreeAndAFittingOneUsesTheWholeRoom)
{
    const FittedText fits = fitText(QStringLiteral("Hora"), 4, 0, 1, kUnit, 2);
    EXPECT_FALSE(fits.squeezed);
    EXPECT_EQ(fits.scale, 1);
    const FittedText squeezed = fitText(QStringLiteral("LeqT(emisión)"), 10, 0, 1, kUnit, 2);
    EXPECT_TRUE(squeezed.squeezed);
    EXPECT_NEAR(squeezed.scale, 8 * 0.98 / 13, 1e-9);
    EXPECT_LE(widest(squeezed.lines) * squeezed.scale, 8);
    // A gutter never takes more than half the room.
    EXPECT_NEAR(fitText(QStringLiteral("abcd"), 3, 0, 1, kUnit, 10).scale, 1.5 * 0.98 / 4, 1e-9);
}
