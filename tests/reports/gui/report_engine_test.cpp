#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "reports/gui/report_preview.h"
#include "reports/report.h"
#include "support/file_bytes.h"
#include "support/file_size_limit.h"
#include "support/printers.h"
#include "support/scripted_prompter.h"
#include "support/started_program.h"

#include <QAbstractButton>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace tvq52;
using test::readBytes;
using test::toolOutput;
using test::writeBytes;

namespace {

// A list report: a page header and footer, a title, and a sub-report of
// people whose header repeats on every page it runs onto.
const char kTemplate[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<reports>
  <report name="Other"><band kind="detail" height="5"/></report>
  <report name="People" source="groups" margins="10 10 10 10" size="9">
    <pageHeader height="8">
      <field name="Title" kind="caption" text="PEOPLE" x="0" y="0" w="80" h="6"/>
    </pageHeader>
    <pageFooter height="8">
      <field name="Footer" kind="text" x="0" y="1" w="100" h="5"/>
      <field kind="page" text="%1 / %2" x="150" y="1" w="40" h="5" align="right"/>
    </pageFooter>
    <band kind="header" height="10">
      <field name="Intro" kind="text" text="intro" x="0" y="0" w="100" h="5"/>
      <field name="Secret" kind="text" text="secret" x="100" y="0" w="50" h="5" visible="false"/>
      <field name="Logo" kind="picture" x="160" y="0" w="20" h="10"/>
    </band>
    <band kind="detail" height="6">
      <field name="Group" kind="column" column="g" x="0" y="0" w="100" h="5"/>
      <subreport name="List" source="people" x="5" y="6" w="180">
        <band kind="header" height="5" repeat="true">
          <field name="TName" kind="caption" text="Name" x="0" y="0" w="60" h="5"/>
        </band>
        <band kind="detail" height="5">
          <field name="Name" kind="column" column="name" x="0" y="0" w="60" h="5"/>
          <field name="Born" kind="column" column="born" format="date" x="60" y="0" w="30" h="5"/>
          <field name="Level" kind="column" column="level" x="90" y="0" w="20" h="5"/>
          <field name="Mark" kind="computed" column="mark" x="110" y="0" w="20" h="5"/>
        </band>
      </subreport>
    </band>
    <band kind="footer" height="6" newPage="before">
      <field name="End" kind="caption" text="the end" x="0" y="0" w="60" h="5"/>
    </band>
  </report>
</reports>)";

ReportRow person(int k, const QString& name, const QVariant& born, const QVariant& level)
{
    ReportRow row;
    row.set(QStringLiteral("k"), k);
    row.set(QStringLiteral("name"), name);
    row.set(QStringLiteral("born"), born);
    row.set(QStringLiteral("level"), level);
    return row;
}

// The sources the templates name: one group, and people k = 1..120 (those
// up to the parameter "upTo" when it is bound, the one named "name" when
// that is bound), as the program's stores would hand them.
class ReportEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 1; i <= 120; ++i)
            people.push_back(person(i, QStringLiteral("person %1").arg(i, 3, 10, QLatin1Char('0')),
                                    QStringLiteral("2024-01-%1").arg(i % 28 + 1, 2, 10, QLatin1Char('0')),
                                    double(float(60 + i / 10.0))));
        sources.add(QStringLiteral("groups"), [](const ReportParameters&) {
            ReportRow group;
            group.set(QStringLiteral("g"), QStringLiteral("group one"));
            return Result<ReportRows>(ReportRows{group});
        });
        sources.add(QStringLiteral("people"), [this](const ReportParameters& p) {
            ReportRows rows;
            for (const ReportRow& r : people) {
                if (p.contains(QStringLiteral("upTo"))
                    && r.value(QStringLiteral("k")).toInt() > p.value("upTo").toInt())
                    continue;
                if (p.contains(QStringLiteral("name")) && r.value(QStringLiteral("name")) != p.value("name"))
                    continue;
                rows.push_back(r);
            }
            return Result<ReportRows>(rows);
        });
    }

    std::unique_ptr<Report> load()
    {
        auto loaded = Report::fromXml(kTemplate, QStringLiteral("People"));
        if (!loaded) {
            ADD_FAILURE() << loaded.error().detail.toStdString();
            return nullptr;
        }
        return std::move(*loaded);
    }

    RenderedReport render(const Report& report)
    {
        auto out = report.render(sources);
        if (!out) {
            ADD_FAILURE() << out.error().detail.toStdString();
            return {};
        }
        return std::move(*out);
    }

    ReportRows people;
    ReportSources sources;
};

TEST(ReportTemplate, MissingOrBrokenTemplatesGiveTheirError)
{
    auto missing = Report::load(QStringLiteral("/nonexistent/tvq52_1.xml"), QStringLiteral("TVQ52_1"));
    ASSERT_FALSE(missing);
    EXPECT_TRUE(isReportFailure(missing.error(), ReportFailure::TemplateMissing));
    EXPECT_EQ(missing.error().text, QStringLiteral("No se encuentra la plantilla del informe:"));
    EXPECT_TRUE(missing.error().detail.contains(QLatin1String("tvq52_1.xml")));
    // Shown as it always was: the native text, a blank line, the file.
    const Translator translator;
    EXPECT_EQ(errorText(translator, missing.error()),
              QStringLiteral("No se encuentra la plantilla del informe:\n\n") + missing.error().detail);

    const struct {
        const char* xml;
        const char* says;
    } broken[] = {
        {"", "line 1"},
        {"<reports><report name='People'><band kind='detail' height='5'>", "line"},
        {"<reports><report name='Other'/></reports>", "no report \"People\""},
        {"<reports><report name='People'><band kind='detail'/></report></reports>", "height"},
        {"<reports><report name='People'><band kind='middle' height='5'/></report></reports>", "middle"},
        {"<reports><report name='People'><band kind='detail' height='5'>"
         "<field name='F' kind='bogus' x='0' y='0' w='1' h='1'/></band></report></reports>",
         "bogus"},
        {"<reports><report name='People'><band kind='detail' height='5'>"
         "<field name='F' kind='text' x='0' y='0' w='wide' h='1'/></band></report></reports>",
         "\"w\""},
        {"<reports><report name='People'><band kind='detail' height='5'>"
         "<subreport x='0' y='0' w='10'/></band></report></reports>",
         "name"},
    };
    for (const auto& b : broken) {
        auto r = Report::fromXml(b.xml, QStringLiteral("People"), QStringLiteral("t.xml"));
        ASSERT_FALSE(r) << b.xml;
        const Error& e = r.error();
        EXPECT_TRUE(isReportFailure(e, ReportFailure::TemplateBroken));
        EXPECT_TRUE(e.detail.startsWith(QLatin1String("t.xml: ")));
        EXPECT_TRUE(e.detail.contains(QLatin1String(b.says))) << e.detail.toStdString();
    }
}

TEST_F(ReportEngine, RowsRunOntoPagesWithRepeatedHeadersNumbersAndFields)
{
    auto report = load();
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->setText(QStringLiteral("Footer"), QStringLiteral("Oficina")));
    EXPECT_FALSE(report->setText(QStringLiteral("Name"), QStringLiteral("x"))) << "a sub-report's field";
    EXPECT_FALSE(report->setVisible(QStringLiteral("Nope"), true));
    EXPECT_EQ(report->subReport(QStringLiteral("Nope")), nullptr);
    report->subReport(QStringLiteral("List"))->setText(QStringLiteral("TName"), QStringLiteral("Nombre"));
    report->subReport(QStringLiteral("List"))->setRowHook([](ReportRow& row) -> Status {
        row.set(QStringLiteral("mark"), row.value(QStringLiteral("k")).toInt() % 2 ? QStringLiteral("odd") : QString());
        return {};
    });

    const RenderedReport out = render(*report);
    // 120 rows of 5 mm on 261 mm of page: three pages, and the footer band
    // asks for a page of its own.
    ASSERT_EQ(out.pageCount(), 4);
    QStringList all;
    for (int p = 0; p < out.pageCount(); ++p) {
        const QStringList texts = out.pageTexts(p);
        EXPECT_EQ(texts.front(), QStringLiteral("PEOPLE")) << p;
        EXPECT_TRUE(texts.contains(QStringLiteral("%1 / 4").arg(p + 1))) << p;
        EXPECT_TRUE(texts.contains(QStringLiteral("Oficina"))) << p;
        if (p < 3) {
            EXPECT_EQ(texts.count(QStringLiteral("Nombre")), 1) << "the list's header on page " << p + 1;
        }
        all += texts;
    }
    EXPECT_TRUE(all.contains(QStringLiteral("intro")));
    EXPECT_FALSE(all.contains(QStringLiteral("secret")));
    EXPECT_EQ(out.pageTexts(3), QStringList({"PEOPLE", "the end", "Oficina", "4 / 4"}));

    QStringList names;
    for (const QString& t : all)
        if (t.startsWith(QLatin1String("person ")))
            names << t;
    ASSERT_EQ(names.size(), 120);
    EXPECT_EQ(names.front(), QStringLiteral("person 001"));
    EXPECT_EQ(names.back(), QStringLiteral("person 120"));
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(all.count(QStringLiteral("odd")), 60);
    EXPECT_TRUE(all.contains(QStringLiteral("02/01/2024"))) << "dates as dd/mm/yyyy";
    EXPECT_TRUE(all.contains(QStringLiteral("60.1"))) << "a float level as stored, not 60.0999999";

    // Shown again after a change, the field is there; the report renders again.
    report->setVisible(QStringLiteral("Secret"), true);
    EXPECT_TRUE(render(*report).pageTexts(0).contains(QStringLiteral("secret")));
}

TEST_F(ReportEngine, BoundValuesReachTheSourcesAsGivenAndPrintAsTyped)
{
    const QString awkward = QStringLiteral("Bar \"L'Estació\"; 100% -- ");
    people.push_back(person(500, awkward, QVariant(), QVariant()));

    auto report = load();
    ASSERT_TRUE(report);
    report->bind(QStringLiteral("upTo"), 3);
    QStringList texts = render(*report).pageTexts(0);
    EXPECT_TRUE(texts.contains(QStringLiteral("person 003")));
    EXPECT_FALSE(texts.contains(QStringLiteral("person 004"))) << "the parameter reached the source";

    report->bind(QStringLiteral("upTo"), 1000);
    report->bind(QStringLiteral("name"), awkward);
    report->setText(QStringLiteral("Intro"), awkward);
    const RenderedReport out = render(*report);
    EXPECT_EQ(out.pageTexts(0).count(awkward), 2);

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("people.pdf"));
    ASSERT_TRUE(out.writePdf(pdf));
    EXPECT_TRUE(readBytes(pdf).startsWith("%PDF-"));
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (!pdftotext.isEmpty()) {
        EXPECT_TRUE(toolOutput(pdftotext, {pdf, QStringLiteral("-")}).contains(awkward.trimmed()));
    }
    const Status nowhere = out.writePdf(dir.filePath(QStringLiteral("no/such/folder/x.pdf")));
    ASSERT_FALSE(nowhere);
    EXPECT_TRUE(isReportFailure(nowhere.error(), ReportFailure::Output));
}

// A PDF cut short by a full disk is an error, and the PDF written before
// stays whole in its place; with room again the new one replaces it.
TEST_F(ReportEngine, APdfThatCannotBeWrittenWholeLeavesTheEarlierFile)
{
    auto report = load();
    ASSERT_TRUE(report);
    const RenderedReport out = render(*report);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("people.pdf"));
    const QByteArray earlier("%PDF-1.4 the list printed last week\n");
    ASSERT_TRUE(writeBytes(pdf, earlier));
    for (rlim_t room : {rlim_t(0), rlim_t(4096)}) {
        test::FileSizeLimit limit(room);
        const Status failed = out.writePdf(pdf);
        ASSERT_FALSE(failed) << room << " bytes: reported as written";
        EXPECT_TRUE(isReportFailure(failed.error(), ReportFailure::Output));
        EXPECT_TRUE(failed.error().detail.contains(pdf)) << failed.error().detail.toStdString();
    }
    EXPECT_EQ(readBytes(pdf), earlier);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("people.pdf")});

    ASSERT_TRUE(out.writePdf(pdf));
    const QByteArray whole = readBytes(pdf);
    EXPECT_TRUE(whole.startsWith("%PDF-"));
    EXPECT_TRUE(whole.trimmed().endsWith("%%EOF"));
    EXPECT_GT(whole.size(), 4096) << "the limits above cut it";
}

TEST_F(ReportEngine, SourceAndHookFailuresStopTheReport)
{
    auto report = load();
    ASSERT_TRUE(report);
    sources.add(QStringLiteral("failing"), [](const ReportParameters&) -> Result<ReportRows> {
        return reportError(ReportFailure::Database, QStringLiteral("no such table: nowhere"));
    });
    report->subReport(QStringLiteral("List"))->setSource(QStringLiteral("failing"));
    auto failed = report->render(sources);
    ASSERT_FALSE(failed);
    EXPECT_TRUE(isReportFailure(failed.error(), ReportFailure::Database));
    EXPECT_EQ(failed.error().detail, QStringLiteral("no such table: nowhere"));

    // A column field whose column the source's rows lack is a broken
    // template, never an empty field.
    sources.add(QStringLiteral("misspelt"), [this](const ReportParameters&) {
        ReportRows rows;
        for (int i = 0; i < 3; ++i) {
            ReportRow row;
            row.set(QStringLiteral("nmae"), people[std::size_t(i)].value(QStringLiteral("name")));
            row.set(QStringLiteral("born"), people[std::size_t(i)].value(QStringLiteral("born")));
            row.set(QStringLiteral("level"), people[std::size_t(i)].value(QStringLiteral("level")));
            rows.push_back(row);
        }
        return Result<ReportRows>(rows);
    });
    report->subReport(QStringLiteral("List"))->setSource(QStringLiteral("misspelt"));
    auto misspelt = report->render(sources);
    ASSERT_FALSE(misspelt) << "a field printed empty for a column its rows lack";
    EXPECT_TRUE(isReportFailure(misspelt.error(), ReportFailure::TemplateBroken));
    EXPECT_TRUE(misspelt.error().detail.contains(QLatin1String("\"name\""))) << misspelt.error().detail.toStdString();

    // A source no one registered is a template naming the wrong one.
    report->subReport(QStringLiteral("List"))->setSource(QStringLiteral("peple"));
    auto unknown = report->render(sources);
    ASSERT_FALSE(unknown);
    EXPECT_TRUE(isReportFailure(unknown.error(), ReportFailure::TemplateBroken));
    EXPECT_TRUE(unknown.error().detail.contains(QLatin1String("peple")));

    report = load();
    report->subReport(QStringLiteral("List"))->setRowHook([](ReportRow&) -> Status {
        return reportError(ReportFailure::Script, QStringLiteral("bad row"));
    });
    auto stopped = report->render(sources);
    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.error().detail, QStringLiteral("bad row"));
}

TEST_F(ReportEngine, PicturesFromMemoryPaintTheSameOnAnyResolution)
{
    auto report = load();
    ASSERT_TRUE(report);
    QImage red(40, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    EXPECT_FALSE(report->setPicture(QStringLiteral("Intro"), red)) << "not a picture field";
    ASSERT_TRUE(report->setPicture(QStringLiteral("Logo"), red));
    const RenderedReport out = render(*report);

    // The logo sits 170-190 mm across and 18-28 mm down on a 210 mm page.
    for (int width : {420, 1240}) {
        QImage page(width, int(width * 297 / 210.0), QImage::Format_RGB32);
        page.fill(Qt::gray);
        QPainter painter(&page);
        ASSERT_TRUE(out.paintPage(painter, 0));
        painter.end();
        const double px = width / 210.0;
        EXPECT_EQ(page.pixelColor(int(180 * px), int(20 * px)), QColor(Qt::red)) << width;
        EXPECT_EQ(page.pixelColor(int(100 * px), int(150 * px)), QColor(Qt::white)) << "a page is white";
    }
}

TEST_F(ReportEngine, ATextWiderThanItsFieldStaysInsideItWhetherItGrowsOrNot)
{
    // One word longer than its 12 mm column, as a translated heading can be;
    // drawn as laid out it would run over the column beside it.
    const char xml[] = R"(<reports><report name="R" margins="10 10 10 10" size="10">
      <band kind="detail" height="30">
        <field name="Grows" kind="caption" text="Überschreitungsdauer" x="20" y="0" w="12" h="6" grow="true"/>
        <field name="Fixed" kind="caption" text="Überschreitungsdauer" x="20" y="15" w="12" h="6"/>
      </band></report></reports>)";
    auto loaded = Report::fromXml(xml, QStringLiteral("R"));
    ASSERT_TRUE(loaded);
    const RenderedReport out = render(**loaded);
    const int width = 840;
    QImage page(width, int(width * 297 / 210.0), QImage::Format_RGB32);
    QPainter painter(&page);
    ASSERT_TRUE(out.paintPage(painter, 0));
    painter.end();
    const double px = width / 210.0;
    auto inked = [&](double fromMm, double toMm, double topMm, double bottomMm) {
        int dark = 0;
        for (int x = int(fromMm * px); x < int(toMm * px); ++x)
            for (int y = int(topMm * px); y < int(bottomMm * px); ++y)
                dark += qGray(page.pixel(x, y)) < 128;
        return dark;
    };
    // The fields start 30 mm in (margin 10 + x 20) and end at 42 mm.
    EXPECT_GT(inked(30, 42, 10, 22), 0) << "the growing heading is drawn";
    EXPECT_EQ(inked(42.5, 60, 10, 22), 0) << "and stays inside its column";
    EXPECT_GT(inked(30, 42, 25, 31), 0) << "the fixed field is drawn";
    EXPECT_EQ(inked(42.5, 60, 25, 31), 0) << "and stays inside its column";
}

// A list's heading band at the foot of a page: the heading, the list's own
// header and its first row go to the next page together.
TEST_F(ReportEngine, AListsHeadingNeverEndsAPage)
{
    const QString xml = QStringLiteral(R"(<reports><report name="R" margins="10 10 10 10">
      <band kind="detail" height="%1"><field name="Filler" kind="caption" text="filler" x="0" y="0" w="50" h="5"/></band>
      <band kind="detail" height="10">
        <field name="Heading" kind="caption" text="LIST HEADING" x="0" y="0" w="80" h="6"/>
        <subreport name="List" source="people" x="0" y="7" w="100">
          <band kind="header" height="5" repeat="true"><field name="TName" kind="caption" text="Name" x="0" y="0" w="40" h="5"/></band>
          <band kind="detail" height="5"><field name="N" kind="column" column="name" x="0" y="0" w="40" h="5"/></band>
        </subreport>
      </band></report></reports>)");
    // The page holds 277 mm; heading, header and a row take 17 of them.
    for (const int filler : {230, 258, 262, 268}) {
        auto loaded = Report::fromXml(xml.arg(filler).toUtf8(), QStringLiteral("R"));
        ASSERT_TRUE(loaded);
        sources.add(QStringLiteral("people"), [this](const ReportParameters&) {
            return Result<ReportRows>(ReportRows(people.begin(), people.begin() + 3));
        });
        const RenderedReport out = render(**loaded);
        const int page = filler + 17 <= 277 ? 0 : 1;
        ASSERT_GT(out.pageCount(), page) << filler;
        const QStringList texts = out.pageTexts(page);
        const qsizetype heading = texts.indexOf(QStringLiteral("LIST HEADING"));
        ASSERT_GE(heading, 0) << filler << ": " << texts.join('|').toStdString();
        EXPECT_EQ(texts.mid(heading, 3), QStringList({"LIST HEADING", "Name", "person 001"}))
            << filler << ": " << texts.join('|').toStdString();
        if (page == 1) {
            EXPECT_EQ(out.pageTexts(0), QStringList{"filler"}) << filler;
        }
    }
}

// A landscape template: its pages and its PDF are wider than high. (Lists
// side by side running onto pages are laid out in the register below.)
TEST_F(ReportEngine, ALandscapeTemplatePrintsOnLandscapePages)
{
    auto loaded = Report::fromXml(R"(<reports><report name="Wide" orientation="landscape" margins="10 10 10 10">
      <band kind="header" height="8"><field name="H" kind="caption" text="HEADING" x="0" y="0" w="50" h="6"/></band>
    </report></reports>)",
                                  QStringLiteral("Wide"));
    ASSERT_TRUE(loaded);
    const RenderedReport out = render(**loaded);
    EXPECT_TRUE(out.landscape());
    EXPECT_NEAR(out.pageSizeMm().width(), 297, 0.5);
    EXPECT_EQ(out.pageTexts(0), QStringList{"HEADING"});
    QTemporaryDir dir;
    QPdfWriter writer(dir.filePath(QStringLiteral("l.pdf")));
    ASSERT_TRUE(out.print(writer));
    EXPECT_EQ(writer.pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_GT(writer.width(), writer.height());
}

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
    EXPECT_EQ(QString::fromLatin1(tvq52::test::readBytes(path))
                  .count(QRegularExpression(QStringLiteral("/Type\\s*/Page\\b"))),
              pages);
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
    ASSERT_TRUE(writeBytes(path, earlier));
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
    EXPECT_EQ(tvq52::test::readBytes(path), earlier);
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
    Translator translator;
    people.handed = 0;
    ReportPreviewWindow window(report, prompter, translator);
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
    Translator translator;
    RenderedReport report;
    ReportPreviewWindow window(report, prompter, translator);
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
        // The first PDF of a run without a key also warns that it is unsigned.
        const auto& shown = prompter.shown();
        ASSERT_FALSE(shown.isEmpty()) << c.typed;
        EXPECT_EQ(shown.front().style, MessageStyle::Information);
        EXPECT_TRUE(shown.front().text.contains(written)) << shown.front().text.toStdString();
        EXPECT_LE(shown.size(), 2) << c.typed;
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("graph-es"))));

    // Cancel writes and says nothing.
    prompter.clear();
    prompter.fileAnswer(QString());
    window.askSavePdf();
    EXPECT_TRUE(prompter.shown().isEmpty());

    // Without a stem the program's name starts it.
    ReportPreviewWindow other(report, prompter, translator);
    EXPECT_EQ(other.proposedPdfName(QDate(2026, 1, 2)), QStringLiteral("tvq52_2026-01-02.pdf"));
}
