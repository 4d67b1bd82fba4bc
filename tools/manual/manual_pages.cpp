#include "manual_pages.h"

#include "i18n/translator.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QSaveFile>

namespace tvq52 {

QString manualWindowText(const Translator& translator, const QString& native)
{
    QString text = translator.translate(native);
    // "&&" is a printed ampersand; a lone "&" marks the access key.
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    // A field's label is named in a sentence without its colon.
    while (text.endsWith(QLatin1Char(':')) || text.endsWith(QLatin1Char(' ')) || text.endsWith(QChar(0xA0)))
        text.chop(1);
    return text.toHtmlEscaped();
}

namespace {

Result<QString> expand(const QString& page, const Translator& translator)
{
    QString out;
    out.reserve(page.size());
    qsizetype at = 0;
    while (true) {
        const qsizetype open = page.indexOf(QStringLiteral("{{"), at);
        if (open < 0)
            break;
        const qsizetype close = page.indexOf(QStringLiteral("}}"), open + 2);
        if (close < 0)
            return Error(0, QStringLiteral("unclosed {{ at character %1").arg(open));
        out += QStringView(page).mid(at, open - at);
        out += manualWindowText(translator, page.mid(open + 2, close - open - 2));
        at = close + 2;
    }
    out += QStringView(page).mid(at);
    return out;
}

// Pictures of wide windows are shown narrower, so that a page reads in a
// help window that fits a small screen; the picture itself keeps every pixel.
QString fitPictures(QString page, const QString& folder)
{
    constexpr int widest = 720;
    static const QRegularExpression picture(QStringLiteral("<img src=\"([^\"]+)\""));
    QString out;
    qsizetype at = 0;
    for (auto m = picture.globalMatch(page); m.hasNext();) {
        const auto found = m.next();
        out += QStringView(page).mid(at, found.capturedEnd() - at);
        at = found.capturedEnd();
        const QSize size = QImageReader(QDir(folder).filePath(found.captured(1))).size();
        if (size.width() > widest)
            out += QStringLiteral(" width=\"%1\"").arg(widest);
    }
    out += QStringView(page).mid(at);
    return out;
}

} // namespace

Status writeManualPages(const QString& sourceFolder, const QString& outFolder, const Translator& translator)
{
    const QDir source(sourceFolder);
    const QStringList pages = source.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    if (pages.isEmpty())
        return Error(0, QStringLiteral("no pages in %1").arg(sourceFolder));
    QDir().mkpath(outFolder);
    for (const QString& name : pages) {
        QFile in(source.filePath(name));
        if (!in.open(QIODevice::ReadOnly))
            return Error(0, QStringLiteral("%1: %2").arg(in.fileName(), in.errorString()));
        const Result<QString> page = expand(QString::fromUtf8(in.readAll()), translator);
        if (!page)
            return Error(0, QStringLiteral("%1: %2").arg(name, page.error().detail));
        QSaveFile out(QDir(outFolder).filePath(name));
        if (!out.open(QIODevice::WriteOnly) || out.write(fitPictures(*page, outFolder).toUtf8()) < 0 || !out.commit())
            return Error(0, QStringLiteral("%1: %2").arg(out.fileName(), out.errorString()));
    }
    return {};
}

} // namespace tvq52
