#include "i18n/loc_guru.h"
#include "reports/gui/report_preview.h"
#include "reports/report.h"
#include "support/scripted_prompter.h"
#include "support/started_program.h"

#include <QAbstractButton>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "support/printers.h"

using namespace tvq52;

namespace {

// Groups, each with a list that runs over pages under its repeated header
// and a footer of its own, then two lists side by side and a forced break;
// a page header that prints the first group, a growing note, a page footer
// numbering "page N of M", and a closing band on a page of its own.
const char kRegister[] = R"(<reports>
  <report name="Register" source="groups" margins="12 10 12 10" size="8">
    <pageHeader height="10">
      <field name="Title" kind="caption" text="REGISTER" x="0" y="0" w="80" h="6"/>
      <field name="First" kind="column" column="g" x="100" y="0" w="60" h="6"/>
    </pageHeader>
    <pageFooter height="8">
      <field name="Office" kind="text" text="office" x="0" y="1" w="80" h="5"/>
      <field kind="page" text="page %1 of %2" x="130" y="1" w="56" h="5" align="right"/>
    </pageFooter>
    <band kind="header" height="12">
      <field name="Intro" kind="text" text="intro" x="0" y="0" w="60" h="5"/>
      <field name="Note" kind="text" grow="true" x="0" y="6" w="40" h="5"
             text="A note long enough to wrap over several lines of its narrow field, pushing the rest down."/>
    </band>
    <band kind="detail" height="8">
      <field name="Group" kind="column" column="g" x="0" y="0" w="80" h="6" bold="true"/>
      <subreport name="People" source="people" x="4" y="8" w="170">
        <band kind="header" height="5" repeat="true">
          <field name="TName" kind="caption" text="Name" x="0" y="0" w="60" h="5"/>
          <field name="TLevel" kind="caption" text="Level" x="60" y="0" w="30" h="5"/>
        </band>
        <band kind="detail" height="5">
          <field name="Name" kind="column" column="name" x="0" y="0" w="60" h="5"/>
          <field name="Level" kind="column" column="level" x="60" y="0" w="30" h="5" align="right"/>
          <field name="Mark" kind="computed" column="mark" x="95" y="0" w="20" h="5"/>
        </band>
        <band kind="footer" height="6"><field name="EndList" kind="caption" text="end of list" x="0" y="0" w="60" h="5"/></band>
      </subreport>
    </band>
    <band kind="detail" height="12" newPage="after">
      <field name="Pair" kind="caption" text="left and right" x="0" y="0" w="60" h="5"/>
      <subreport name="Left" source="left" x="0" y="6" w="80">
        <band kind="header" height="5" repeat="true"><field name="TL" kind="caption" text="left" x="0" y="0" w="20" h="5"/></band>
        <band kind="detail" height="5"><field name="L" kind="column" column="name" x="0" y="0" w="40" h="5"/></band>
      </subreport>
      <subreport name="Right" source="right" x="95" y="6" w="80">
        <band kind="header" height="5" repeat="true"><field name="TR" kind="caption" text="right" x="0" y="0" w="20" h="5"/></band>
        <band kind="detail" height="5"><field name="R" kind="column" column="name" x="0" y="0" w="40" h="5"/></band>
      </subreport>
    </band>
    <band kind="footer" height="6" newPage="before">
      <field name="End" kind="caption" text="the end" x="0" y="0" w="60" h="5"/>
    </band>
  </report>
</reports>)";

ReportRows named(const char* column, const QString& prefix, int count)
{
    ReportRows rows;
    for (int i = 1; i <= count; ++i) {
        ReportRow row;
        row.set(QLatin1String(column), QStringLiteral("%1 %2").arg(prefix).arg(i, 3, 10, QLatin1Char('0')));
        row.set(QStringLiteral("k"), i);
        row.set(QStringLiteral("level"), double(float(60 + i / 10.0)));
        rows.push_back(row);
    }
    return rows;
}

ReportSources registerSources()
{
    ReportSources sources;
    const std::pair<const char*, ReportRows> all[] = {
        {"groups", named("g", QStringLiteral("group"), 3)},
        {"people", named("name", QStringLiteral("person"), 70)},
        {"left", named("name", QStringLiteral("left"), 30)},
        {"right", named("name", QStringLiteral("right"), 45)},
    };
    for (const auto& [name, rows] : all)
        sources.add(QLatin1String(name), [rows = rows](const ReportParameters&) { return Result<ReportRows>(rows); });
    return sources;
}

Result<RenderedReport> renderRegister(const ReportSources& sources)
{
    auto loaded = Report::fromXml(kRegister, QStringLiteral("Register"));
    if (!loaded)
        return loaded.error();
    Report& report = **loaded;
    report.subReport(QStringLiteral("People"))->setRowHook([](ReportRow& row) -> Status {
        row.set(QStringLiteral("mark"), row.value(QStringLiteral("k")).toInt() % 2 ? QStringLiteral("odd") : QString());
        return {};
    });
    return report.render(sources);
}

// Every text of page `index` with its place, one line each.
QStringList pageLines(const RenderedReport& report, int index)
{
    QStringList lines{QStringLiteral("page %1").arg(index + 1)};
    for (const auto& placed : report.placedTexts(index))
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(placed.rect.x(), 0, 'f', 2)
                     .arg(placed.rect.y(), 0, 'f', 2)
                     .arg(placed.rect.width(), 0, 'f', 2)
                     .arg(placed.rect.height(), 0, 'f', 2)
                     .arg(QString(placed.text).replace(QLatin1Char('\n'), QLatin1String("\\n")));
    return lines;
}

// The register as the whole-document layout laid it out, every page held
// before the first was printed: the pages, their texts and their places.
QStringList wholeDocumentLayout()
{
    QFile file(QStringLiteral(TVQ52_SOURCE_DIR "/tests/fixtures/reports/register_pages.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// On a difference, the first line that differs.
void expectSameLines(const QStringList& actual, const QStringList& expected, const char* how)
{
    qsizetype at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    EXPECT_EQ(at, std::max(actual.size(), expected.size()))
        << how << ": line " << at + 1 << " is \"" << actual.value(at).toStdString() << "\" where \""
        << expected.value(at).toStdString() << "\" was expected";
}

TEST(ReportStreaming, PagesLaidOutOneAtATimeAreThoseOfTheWholeDocument)
{
    const QStringList expected = wholeDocumentLayout();
    ASSERT_GT(expected.size(), 100) << "the recorded layout";
    const int pages = int(expected.filter(QRegularExpression(QStringLiteral("^page \\d+$"))).size());
    ASSERT_GE(pages, 6);

    auto rendered = renderRegister(registerSources());
    ASSERT_TRUE(rendered) << rendered.error().detail.toStdString();
    const RenderedReport& report = *rendered;
    ASSERT_EQ(report.pageCount(), pages);
    QStringList inOrder;
    for (int p = 0; p < pages; ++p)
        inOrder += pageLines(report, p);
    expectSameLines(inOrder, expected, "pages in order");

    // Asked for backwards, each page is laid out again to the same texts.
    QStringList backwards;
    for (int p = pages - 1; p >= 0; --p)
        backwards = pageLines(report, p) + backwards;
    expectSameLines(backwards, expected, "pages backwards");
    EXPECT_TRUE(report.placedTexts(pages).empty());
    EXPECT_TRUE(report.placedTexts(-1).empty());

    // The PDF gets every page, numbered against the count.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("register.pdf"));
    ASSERT_TRUE(report.writePdf(path));
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLatin1(pdf.readAll()).count(QRegularExpression(QStringLiteral("/Type\\s*/Page\\b"))), pages);
    EXPECT_TRUE(report.pageTexts(pages - 1).contains(QStringLiteral("page %1 of %1").arg(pages)));
}

// A listing of `count` rows handed over one at a time, counting what it
// read; from read `failFrom` on (0: never) it fails after `failAfter` rows.
struct CountedList {
    int count = 0;
    int handed = 0;
    int reads = 0;
    int failFrom = 0;
    int failAfter = 0;

    StreamedSource source()
    {
        return [this](const ReportParameters&, const RowTaker& take) -> Status {
            ++reads;
            const bool fails = failFrom > 0 && reads >= failFrom;
            for (const ReportRow& r : named("name", QStringLiteral("person"), count)) {
                if (fails && handed % count >= failAfter)
                    return reportError(ReportFailure::Database, QStringLiteral("connection lost"));
                ReportRow row = r;
                ++handed;
                if (Status taken = take(row); !taken)
                    return taken;
            }
            return {};
        };
    }
};

// The register with a long list read as a stream.
Result<RenderedReport> renderStreamed(CountedList& people)
{
    ReportSources sources = registerSources();
    sources.addStreamed(QStringLiteral("people"), people.source());
    return renderRegister(sources);
}

TEST(ReportStreaming, APageIsLaidOutFromTheRowsUpToItOnly)
{
    CountedList people{2000};
    auto rendered = renderStreamed(people);
    ASSERT_TRUE(rendered) << rendered.error().detail.toStdString();
    const RenderedReport& report = *rendered;
    EXPECT_EQ(people.handed, 3 * 2000) << "the pages counted: every group's list read once";
    ASSERT_GT(report.pageCount(), 100);

    // The first page stops the reading early: the rest of the list is never read.
    people.handed = 0;
    const QStringList first = report.pageTexts(0);
    EXPECT_TRUE(first.contains(QStringLiteral("person 044")));
    EXPECT_LT(people.handed, 2000) << "rows read for page 1";
    EXPECT_TRUE(first.contains(QStringLiteral("page 1 of %1").arg(report.pageCount())));

    // A page near it comes from the pages held, without reading again.
    const int reads = people.reads;
    EXPECT_TRUE(report.pageTexts(1).contains(QStringLiteral("person 045")));
    EXPECT_EQ(people.reads, reads);
}

TEST(ReportStreaming, ChangesAfterRenderingLeaveTheRenderedReportAsItWas)
{
    auto loaded = Report::fromXml(kRegister, QStringLiteral("Register"));
    ASSERT_TRUE(loaded);
    Report& report = **loaded;
    auto rendered = report.render(registerSources());
    ASSERT_TRUE(rendered);
    ASSERT_TRUE(report.setText(QStringLiteral("Office"), QStringLiteral("elsewhere")));
    report.subReport(QStringLiteral("People"))->setSource(QStringLiteral("left"));
    const QStringList texts = rendered->pageTexts(0);
    EXPECT_TRUE(texts.contains(QStringLiteral("office")));
    EXPECT_FALSE(texts.contains(QStringLiteral("elsewhere")));
    EXPECT_TRUE(texts.contains(QStringLiteral("person 001")));
}

// The source fails while the PDF is written, after the pages were counted:
// an error, and the PDF written before stays as it was, with nothing beside it.
TEST(ReportStreaming, ASourceFailingOrChangingWhileThePdfIsWrittenLeavesTheEarlierPdf)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("register.pdf"));
    const QByteArray earlier("%PDF-1.4 last week's\n");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(earlier) == earlier.size());
    }
    CountedList people{200, 0, 0, 4, 150}; // the count reads the list three times
    auto rendered = renderStreamed(people);
    ASSERT_TRUE(rendered) << "the count read the list whole";
    const Status written = rendered->writePdf(path);
    ASSERT_FALSE(written);
    EXPECT_TRUE(isReportFailure(written.error(), ReportFailure::Database));
    EXPECT_EQ(written.error().detail, QStringLiteral("connection lost"));
    EXPECT_TRUE(rendered->pageTexts(0).isEmpty()) << "nor is a page shown from a failing source";

    // Rows that change between the count and the printing would number the
    // pages wrongly: that is a failure too.
    CountedList changing{200};
    auto recounted = renderStreamed(changing);
    ASSERT_TRUE(recounted);
    changing.count = 400;
    const Status renumbered = recounted->writePdf(path);
    ASSERT_FALSE(renumbered);
    EXPECT_TRUE(isReportFailure(renumbered.error(), ReportFailure::Database));

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), earlier);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("register.pdf")});
}

// The preview shows one page at a time, its counter the total from the start.
TEST(ReportStreaming, ThePreviewPagesThroughPagesLaidOutOnDemand)
{
    CountedList people{2000};
    auto rendered = renderStreamed(people);
    ASSERT_TRUE(rendered);
    const RenderedReport& report = *rendered;
    test::ScriptedPrompter prompter;
    LocGuru guru;
    people.handed = 0;
    Form15 window(report, prompter, guru);
    window.show();
    test::settle();
    auto* label = window.findChild<QLabel*>(QStringLiteral("LbPagina"));
    ASSERT_NE(label, nullptr);
    const int pages = report.pageCount();
    EXPECT_EQ(label->text(), QStringLiteral("1 / %1").arg(pages));
    EXPECT_EQ(window.preview()->pageCount(), pages);
    EXPECT_LT(people.handed, 2000) << "page 1 shown without reading the whole list";
    auto click = [&](const char* name) { window.findChild<QAbstractButton*>(QLatin1String(name))->click(); };
    click("SSCommandNext");
    EXPECT_EQ(window.currentPage(), 2);
    click("SSCommandLast");
    EXPECT_EQ(window.currentPage(), pages);
    EXPECT_EQ(label->text(), QStringLiteral("%1 / %1").arg(pages));
    click("SSCommandNext");
    EXPECT_EQ(window.currentPage(), pages) << "no page after the last";
    click("SSCommandFirst");
    click("SSCommandPrevious");
    EXPECT_EQ(window.currentPage(), 1);

    // Scrolling on past the page's end turns it, and the counter follows.
    QScrollBar* bar = window.preview()->verticalScrollBar();
    auto wheel = [&](int dy) {
        QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, dy), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(window.preview()->viewport(), &event);
    };
    bar->setValue(bar->maximum());
    wheel(-120);
    EXPECT_EQ(window.currentPage(), 2);
    EXPECT_EQ(label->text(), QStringLiteral("2 / %1").arg(pages));
    EXPECT_EQ(bar->value(), bar->minimum()) << "the next page is entered at its top";
    if (bar->maximum() > 0) {
        wheel(-120);
        EXPECT_EQ(window.currentPage(), 2) << "inside a page the wheel scrolls it";
        EXPECT_GT(bar->value(), bar->minimum());
    }
    bar->setValue(bar->minimum());
    wheel(120);
    EXPECT_EQ(window.currentPage(), 1);
    EXPECT_EQ(label->text(), QStringLiteral("1 / %1").arg(pages));
    auto key = [&](Qt::Key k) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QCoreApplication::sendEvent(window.preview(), &press);
    };
    bar->setValue(bar->maximum());
    key(Qt::Key_PageDown);
    EXPECT_EQ(label->text(), QStringLiteral("2 / %1").arg(pages));
    bar->setValue(bar->minimum());
    key(Qt::Key_PageUp);
    EXPECT_EQ(label->text(), QStringLiteral("1 / %1").arg(pages));
    key(Qt::Key_PageUp);
    EXPECT_EQ(window.currentPage(), 1) << "no page before the first";

    const double fitted = window.preview()->zoom();
    click("SSCommandZoomIn");
    EXPECT_GT(window.preview()->zoom(), fitted);
    const QPixmap shown = window.preview()->findChild<QLabel*>(QStringLiteral("LbPage"))->pixmap();
    EXPECT_NEAR(shown.width() / shown.devicePixelRatio(), report.pageSizeMm().width() * window.preview()->zoom(), 1);
    EXPECT_TRUE(prompter.shown().isEmpty());
}

} // namespace

// Saving a PDF: the name is proposed (serial, report, date), a name typed
// without ".pdf" gets it, and the user is told where the file went.
TEST(PreviewPdf, ANameIsProposedTheExtensionAddedAndThePlaceTold)
{
    test::ScriptedPrompter prompter;
    LocGuru guru;
    RenderedReport report;
    Form15 window(report, prompter, guru);
    window.setFileStem(QStringLiteral("4711_sesiones"));
    EXPECT_EQ(window.proposedPdfName(QDate(2026, 12, 7)), QStringLiteral("4711_sesiones_2026-12-07.pdf"));

    QTemporaryDir dir;
    const struct {
        const char* typed;
        const char* written;
    } cases[] = {{"graph-es", "graph-es.pdf"}, {"informe.PDF", "informe.PDF"}, {"a.b", "a.b.pdf"}};
    for (const auto& c : cases) {
        prompter.clear();
        prompter.fileAnswer(dir.filePath(QString::fromLatin1(c.typed)));
        window.askSavePdf();
        const QString written = dir.filePath(QString::fromLatin1(c.written));
        EXPECT_TRUE(QFileInfo(written).isFile()) << c.typed;
        ASSERT_EQ(prompter.shown().size(), 1) << c.typed;
        EXPECT_EQ(prompter.shown()[0].style, MessageStyle::Information);
        EXPECT_TRUE(prompter.shown()[0].text.contains(written)) << prompter.shown()[0].text.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("graph-es"))));

    // Cancel writes and says nothing.
    prompter.clear();
    prompter.fileAnswer(QString());
    window.askSavePdf();
    EXPECT_TRUE(prompter.shown().isEmpty());

    // Without a stem the program's name starts it.
    Form15 other(report, prompter, guru);
    EXPECT_EQ(other.proposedPdfName(QDate(2026, 1, 2)), QStringLiteral("tvq52_2026-01-02.pdf"));
}
