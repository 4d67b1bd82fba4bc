#include "programming/programming_fixture.h"
#include "reports/programming_report.h"

#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

class StoredProgrammingReport : public ProgrammingDatabase {
protected:
    void storeInterval(int number, const char* start, const char* startTime, const char* end, const char* endTime)
    {
        Row row;
        row.set(QStringLiteral("LNumeroSerie"), 4711);
        row.set(QStringLiteral("ByIntervalo"), number);
        row.set(QStringLiteral("TDiaEmpiezaInt"), QLatin1String(start));
        row.set(QStringLiteral("THoraEmpiezaInt"), QLatin1String(startTime));
        row.set(QStringLiteral("TDiaTerminaInt"), QLatin1String(end));
        row.set(QStringLiteral("THoraTerminaInt"), QLatin1String(endTime));
        ASSERT_TRUE(store_->upsert(QStringLiteral("IntervaloInhabil"), row)) << store_->lastError().toStdString();
    }

    tvq52::ProgrammingReportData read(const QString& firmware = QStringLiteral("3.3"))
    {
        auto result = readProgrammingReportData(*db_, 4711, firmware);
        if (!result) {
            ADD_FAILURE() << result.error().detail.toStdString();
            return {};
        }
        return *result;
    }

    QString memo() const
    {
        return store_->select(QStringLiteral("Configuracion")).value(0).value(QStringLiteral("Memo")).toString();
    }
};

TEST_F(StoredProgrammingReport, ListingOfNoneOneAndThreeStoredIntervalsIsAlsoKeptInTheMemo)
{
    saveUnit(4711);
    saveUnit(4712);
    EXPECT_EQ(read().intervalListing, QStringLiteral(" "));
    EXPECT_EQ(memo(), QStringLiteral(" "));

    storeInterval(5, "01/08/24", "00:00", "15/08/24", "23:59");
    EXPECT_EQ(read().intervalListing, QStringLiteral("05 - 01/08/2024 00:00 <-> 15/08/2024 23:59     ,     "));

    storeInterval(1, "24/12/98", "18:00", "26/12/98", "09:00");
    storeInterval(30, "31/12/24", "20:00", "01/01/25", "10:00");
    // Another unit's interval stays out of it.
    Row other;
    other.set(QStringLiteral("LNumeroSerie"), 4712);
    other.set(QStringLiteral("ByIntervalo"), 2);
    other.set(QStringLiteral("TDiaEmpiezaInt"), QStringLiteral("02/02/24"));
    ASSERT_TRUE(store_->upsert(QStringLiteral("IntervaloInhabil"), other));

    const QString three = QStringLiteral(
        "01 - 24/12/1998 18:00 <-> 26/12/1998 09:00     ,     "
        "05 - 01/08/2024 00:00 <-> 15/08/2024 23:59\r"
        "30 - 31/12/2024 20:00 <-> 01/01/2025 10:00     ,     ");
    EXPECT_EQ(read().intervalListing, three);
    EXPECT_EQ(memo(), three);
}

TEST_F(StoredProgrammingReport, ComputedFactsFromTheStoredRow)
{
    ProgrammingRecord r = saveUnit(4711);
    r.version = QStringLiteral("4.0");
    ASSERT_TRUE(GrabaProgramacio(*store_, r, unusedIntervals()));
    Row totals;
    totals.set(QStringLiteral("DFechaTotales"), QDate(2024, 3, 9));
    totals.set(QStringLiteral("THoraTotales"), QStringLiteral("21:05:30"));
    totals.set(QStringLiteral("TTipoActuacionVecino"), QStringLiteral("Leq5s"));
    Row key;
    key.set(QStringLiteral("LNumeroSerie"), 4711);
    ASSERT_EQ(store_->update(QStringLiteral("Programacion"), totals, key), 1);

    const tvq52::ProgrammingReportData d = read(QString());
    EXPECT_EQ(d.intervalTotals, QStringLiteral("09/03/2024 21:05:30"));
    EXPECT_EQ(d.neighbourAction, QStringLiteral("Leq5s"));
    EXPECT_TRUE(d.showGlobalCorrection) << "no version given: the stored 4.0";
    EXPECT_FALSE(read(QStringLiteral("3.3")).showGlobalCorrection) << "the window's version counts";
    EXPECT_TRUE(read(QStringLiteral("4.10")).showGlobalCorrection);

    auto missing = readProgrammingReportData(*db_, 99, QString());
    ASSERT_FALSE(missing);
    EXPECT_TRUE(isReportFailure(missing.error(), ReportFailure::Database));
}

} // namespace
