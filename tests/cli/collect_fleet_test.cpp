#include "i18n/translator.h"
#include "reports/fleet_report.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

FleetUnit unit(qint32 serial, std::vector<FleetReason> reasons, std::optional<int> days)
{
    FleetUnit u;
    u.serial = serial;
    u.venue = QStringLiteral("Bar %1").arg(serial);
    u.phone = QString::number(serial * 10);
    u.reasons = std::move(reasons);
    u.daysSinceDownload = days;
    if (days)
        u.lastDownload = QDateTime(QDate(2026, 12, 7).addDays(-*days), QTime(3, 0));
    return u;
}

} // namespace

TEST(FleetReport, OneRowPerUnitInTheGivenOrderWithItsReasonsAndNeverReadShownAsADash)
{
    Translator translator;
    const std::vector<FleetUnit> units{unit(7, {FleetReason::Erased, FleetReason::Stale}, 40),
                                       unit(3, {}, std::nullopt), unit(5, {FleetReason::Exceedances}, 0)};
    const FleetTable t = fleetTable(units, translator, QDateTime(QDate(2026, 12, 7), QTime(3, 5)));
    EXPECT_TRUE(t.title.endsWith(QStringLiteral("2026-12-07 03:05"))) << qPrintable(t.title);
    ASSERT_EQ(t.headings.size(), 6);
    EXPECT_EQ(t.headings.first(), QStringLiteral("Número de serie"));
    ASSERT_EQ(t.rows.size(), 3);
    EXPECT_EQ(t.rows[0], (QStringList{"7", "Bar 7", "70", "2026-10-28 03:00", "40", "memoria borrada, sin leer"}));
    EXPECT_EQ(t.rows[1], (QStringList{"3", "Bar 3", "30", "-", "-", ""})) << "never downloaded";
    EXPECT_EQ(t.rows[2][4], QStringLiteral("0")) << "read today is 0 days, not never";
    EXPECT_EQ(t.rows[2][5], QStringLiteral("excesos"));
    for (const QStringList& row : t.rows)
        EXPECT_EQ(row.size(), t.headings.size());
}

// The pages themselves are drawn in the collect run's test, which has fonts.
TEST(FleetReport, AnUnwritablePathIsAnErrorNamingIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("none/fleet.pdf"));
    const Status refused = writeFleetPdf(FleetTable{QStringLiteral("Office"), {"a"}, {{"1"}}, {}, {}}, path);
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().textArgs.contains(path));
    EXPECT_FALSE(QFile::exists(path));
}
