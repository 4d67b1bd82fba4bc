#include "../../programming/programming_fixture.h"
#include "db/journal.h"
#include "i18n/loc_guru.h"
#include "reports/graph_report.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace tvq52 {
namespace {

class GraphReportTest : public test::ProgrammingDatabase {
protected:
    Result<RenderedReport> build(const QString& file = QStringLiteral("tvq52_4.xml"))
    {
        QImage levels(400, 200, QImage::Format_RGB32);
        levels.fill(Qt::gray);
        return buildGraphReport(*db_, guru_, reportTemplatePath(QStringLiteral(TVQ52_ASSET_DIR), file), kSerial,
                                QStringLiteral("4.0"), levels, levels, QString::fromUtf8("Inspección municipal"),
                                QDateTime(QDate(2026, 3, 1), QTime(0, 0), Qt::UTC),
                                QDateTime(QDate(2026, 3, 31), QTime(23, 59), Qt::UTC));
    }
    static QString allText(const RenderedReport& r, int page) { return r.pageTexts(page).join(QLatin1Char('|')); }

    static constexpr qint32 kSerial = 52001;
    LocGuru guru_;
};

TEST_F(GraphReportTest, ProgrammingThenChartsWithTheChainHeadOnEveryPage)
{
    const QString venue = QStringLiteral("Bar \"Sol\"; 50% l'Avi");
    saveUnit(kSerial, venue);
    auto built = build();
    ASSERT_TRUE(built) << built.error().detail.toStdString();
    const RenderedReport& before = *built;
    ASSERT_GE(before.pageCount(), 2);
    EXPECT_TRUE(before.pageTexts(0).contains(venue)) << allText(before, 0).toStdString();
    EXPECT_TRUE(before.pageTexts(0).contains(QStringLiteral("---")));
    // The charts start a page of their own.
    const int last = before.pageCount() - 1;
    EXPECT_TRUE(before.pageTexts(last).contains(QStringLiteral("Gráfica"))) << allText(before, last).toStdString();
    EXPECT_FALSE(before.pageTexts(0).contains(QStringLiteral("Gráfica")));

    Journal journal(*db_);
    ASSERT_TRUE(journal.append(JournalAction::Download, kSerial, QStringLiteral("/dev/ttyS0"),
                               QStringLiteral("completed"), QString()));
    const QString head = QString::fromLatin1(journal.head());
    ASSERT_FALSE(head.isEmpty());
    auto rebuilt = build();
    ASSERT_TRUE(rebuilt);
    const RenderedReport& after = *rebuilt;
    for (int page = 0; page < after.pageCount(); ++page) {
        EXPECT_TRUE(after.pageTexts(page).contains(head)) << page << ": " << allText(after, page).toStdString();
        EXPECT_TRUE(after.pageTexts(page).contains(QString::fromUtf8("Inspección municipal"))) << "the footer given";
    }
}

TEST_F(GraphReportTest, MissingTemplateIsAnErrorValue)
{
    saveUnit(kSerial);
    const auto built = build(QStringLiteral("no_such_template.xml"));
    ASSERT_FALSE(built);
    EXPECT_TRUE(isReportFailure(built.error(), ReportFailure::TemplateMissing));
}

} // namespace
} // namespace tvq52
