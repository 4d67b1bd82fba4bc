// A report's footer states the digest of its records and the journal's
// head; printing it after those records changed is refused.
#include "../../programming/programming_fixture.h"
#include "evidence/journal.h"
#include "i18n/translator.h"
#include "reports/graph_report.h"
#include "reports/programming_report.h"
#include "reports/recorded_report.h"
#include "reports/shown_records.h"
#include "support/rows.h"

#include <QFile>
#include <QSqlQuery>
#include <gtest/gtest.h>

namespace tvq52 {
namespace {

constexpr qint32 kSerial = 52002;

QDateTime at(int d, int h)
{
    return QDateTime(QDate(2026, 6, d), QTime(h, 0), Qt::UTC);
}

class ReportProofPrint : public test::ProgrammingDatabase {
protected:
    void SetUp() override
    {
        test::ProgrammingDatabase::SetUp();
        saveUnit(kSerial, QStringLiteral("Sala Sur"));
        for (int d : {1, 2, 9})
            ASSERT_TRUE(store_->insert(QStringLiteral("Intervalos"),
                                       test::spanRow(kSerial, QDateTime(QDate(2026, 6, d), QTime(23, 0)),
                                                     QDateTime(QDate(2026, 6, d), QTime(23, 15)),
                                                     {{"ByTLeq", 15}, {"SLeqLocal", 90.5}})));
        Journal journal(*db_);
        ASSERT_TRUE(journal.append(JournalAction::Download, kSerial, QStringLiteral("cable"),
                                   QStringLiteral("completed"), QString()));
    }
    RecordedReportResult intervals()
    {
        return buildRecordedReport(*db_, translator_, {RecordedReportKind::Intervals, kSerial, at(1, 0), at(5, 0),
                                                 QStringLiteral("Inspección"), QStringLiteral(TVQ52_ASSET_DIR)});
    }
    void setLevel(int day, double level)
    {
        QSqlQuery q(db_->connection());
        q.prepare(QStringLiteral("UPDATE \"Intervalos\" SET \"SLeqLocal\" = ? WHERE \"DFechaInicio\" = ?"));
        q.addBindValue(level);
        q.addBindValue(QDate(2026, 6, day).toString(Qt::ISODate));
        ASSERT_TRUE(q.exec());
        ASSERT_EQ(q.numRowsAffected(), 1);
    }
    Translator translator_;
};

TEST_F(ReportProofPrint, EveryPageStatesTheDigestOfTheRecordsInTheRangeAndTheHead)
{
    auto built = intervals();
    ASSERT_TRUE(built && *built);
    const RenderedReport& report = **built;
    ASSERT_TRUE(report.proof());
    const ReportProof& proof = *report.proof();
    EXPECT_EQ(proof.kind, ReportKind::Intervals);
    EXPECT_EQ(proof.records, 2) << "the 9th is outside the range";
    const auto shown = digestShownRecords(*db_, scopeOf(proof));
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->digest, proof.digest);
    EXPECT_EQ(proof.head, Journal(*db_).head().value());
    for (int page = 0; page < report.pageCount(); ++page) {
        const QStringList texts = report.pageTexts(page);
        EXPECT_TRUE(texts.contains(QString::fromLatin1(proof.digest))) << page;
        EXPECT_TRUE(texts.contains(QString::fromLatin1(proof.head))) << page;
        EXPECT_TRUE(texts.contains(QStringLiteral("SHA-256 de los 2 registros:"))) << page;
    }
    // The programming report has its own: the unit's row, no interval.
    auto programming = buildProgrammingReport(*db_, translator_, reportTemplatePath(QStringLiteral(TVQ52_ASSET_DIR),
                                                                              QStringLiteral("tvq52_1.xml")),
                                              kSerial, QStringLiteral("4.0"), QString());
    ASSERT_TRUE(programming && programming->proof());
    EXPECT_EQ(programming->proof()->kind, ReportKind::Programming);
    EXPECT_TRUE(programming->pageTexts(0).contains(QString::fromLatin1(programming->proof()->digest)));
}

TEST_F(ReportProofPrint, APrintAfterARecordOfTheRangeChangedIsRefusedAndWritesNothing)
{
    auto built = intervals();
    ASSERT_TRUE(built && *built);
    const QString pdf = dir_.filePath(QStringLiteral("june.pdf"));
    setLevel(9, 40.0); // outside the range: the report still holds
    ASSERT_TRUE((*built)->writePdf(pdf));
    ASSERT_TRUE(QFile::remove(pdf));

    setLevel(2, 91.0);
    const Status refused = (*built)->writePdf(pdf);
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().text.contains(QStringLiteral("han cambiado"))) << refused.error().text.toStdString();
    EXPECT_FALSE(QFile::exists(pdf));
}

// The graph report: the unit's programming, then the charts on a page of
// their own; the journal's head and the footer on every page.
TEST_F(ReportProofPrint, TheGraphReportPrintsTheProgrammingThenTheChartsWithTheHeadOnEveryPage)
{
    QImage levels(400, 200, QImage::Format_RGB32);
    levels.fill(Qt::gray);
    const auto build = [&](const QString& file) {
        return buildGraphReport(*db_, translator_, reportTemplatePath(QStringLiteral(TVQ52_ASSET_DIR), file), kSerial,
                                QStringLiteral("4.0"), levels, levels, QStringLiteral("Inspección"), at(1, 0),
                                at(5, 0));
    };
    auto built = build(QStringLiteral("tvq52_4.xml"));
    ASSERT_TRUE(built) << built.error().detail.toStdString();
    const RenderedReport& report = *built;
    ASSERT_GE(report.pageCount(), 2);
    EXPECT_TRUE(report.pageTexts(0).contains(QStringLiteral("Sala Sur")));
    EXPECT_FALSE(report.pageTexts(0).contains(QStringLiteral("Gráfica")));
    EXPECT_TRUE(report.pageTexts(report.pageCount() - 1).contains(QStringLiteral("Gráfica")));
    const QString head = QString::fromLatin1(Journal(*db_).head().value());
    for (int page = 0; page < report.pageCount(); ++page) {
        EXPECT_TRUE(report.pageTexts(page).contains(head)) << page;
        EXPECT_TRUE(report.pageTexts(page).contains(QStringLiteral("Inspección"))) << page;
    }
    const auto missing = build(QStringLiteral("no_such_template.xml"));
    ASSERT_FALSE(missing);
    EXPECT_TRUE(isReportFailure(missing.error(), ReportFailure::TemplateMissing));
}

} // namespace
} // namespace tvq52
