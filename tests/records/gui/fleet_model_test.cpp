#include "fleet_rows.h"
#include "i18n/loc_guru.h"
#include "records/gui/fleet_model.h"

#include <QBrush>
#include <QIcon>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

QString text(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole)
{
    return model.data(model.index(row, column), role).toString();
}

QList<qint32> serials(const FleetFilterModel& proxy)
{
    QList<qint32> out;
    for (int row = 0; row < proxy.rowCount(); ++row)
        out += proxy.serialAt(row);
    return out;
}

class FleetModelTest : public ::testing::Test {
protected:
    void expectRow(int row, std::initializer_list<std::pair<int, const char*>> cells)
    {
        for (const auto& [column, shown] : cells)
            EXPECT_EQ(text(model_, row, column), QString::fromUtf8(shown)) << "row " << row << ", column " << column;
    }
    LocGuru guru_; // no language open: the native texts
    FleetModel model_{guru_};
};

TEST_F(FleetModelTest, ANeverDownloadedUnitSaysNeverAndLeavesItsCountsBlank)
{
    model_.setUnits({neverDownloaded(2002, QStringLiteral("Sala Apolo"))});
    ASSERT_EQ(model_.rowCount(), 1);
    EXPECT_EQ(model_.columnCount(), FleetModel::ColumnCount);
    expectRow(0, {{FleetModel::Serial, "2002"}, {FleetModel::Venue, "Sala Apolo"}, {FleetModel::Phone, "93 555 2002"},
                  {FleetModel::LastDownload, "Nunca"}, {FleetModel::Outcome, ""}, {FleetModel::DaysSince, ""},
                  {FleetModel::RecordsStored, ""}, {FleetModel::Journal, "Sin comprobar"},
                  {FleetModel::Reasons, "Sin leer hace tiempo"}});
    // Never read is the longest wait: it sorts past every count of days.
    FleetUnit read = fleetUnit(1, QStringLiteral("x"));
    read.daysSinceDownload = 4000;
    model_.setUnits({neverDownloaded(2002, QStringLiteral("Sala Apolo")), read});
    EXPECT_GT(model_.data(model_.index(0, FleetModel::DaysSince), FleetModel::SortRole).toInt(),
              model_.data(model_.index(1, FleetModel::DaysSince), FleetModel::SortRole).toInt());
    EXPECT_LT(model_.data(model_.index(0, FleetModel::LastDownload), FleetModel::SortRole).toLongLong(),
              model_.data(model_.index(1, FleetModel::LastDownload), FleetModel::SortRole).toLongLong());
}

TEST_F(FleetModelTest, ATamperedUnitShowsItsCountsAndReasonsMarked)
{
    model_.setUnits({tampered(5005, QStringLiteral("Discoteca Sol")), fleetUnit(1001, QStringLiteral("Café Central"))});
    expectRow(0, {{FleetModel::LastDownload, "2026-11-20"}, {FleetModel::Outcome, "Parada"},
                  {FleetModel::DaysSince, "17"}, {FleetModel::RecordsStored, "120"}, {FleetModel::Erasures, "2"},
                  {FleetModel::BatteryEnds, "0"}, {FleetModel::Reprogrammings, "1"},
                  {FleetModel::ReprogrammedElsewhere, "Sí"}, {FleetModel::Journal, "No"},
                  {FleetModel::Reasons, "Memoria borrada, Reprogramado, Diario alterado"}});
    EXPECT_EQ(text(model_, 0, FleetModel::LastDownload, Qt::ToolTipRole), QStringLiteral("2026-11-20 09:30"));
    EXPECT_EQ(text(model_, 0, FleetModel::Reasons, Qt::ToolTipRole), text(model_, 0, FleetModel::Reasons));
    // The plain unit beside it: nothing marked, nothing to say.
    expectRow(1, {{FleetModel::Outcome, "Completada"}, {FleetModel::ReprogrammedElsewhere, "No"},
                  {FleetModel::Journal, "Sí"}, {FleetModel::Reasons, ""}});

    const auto marked = [&](int row, int column) {
        return model_.data(model_.index(row, column), Qt::ForegroundRole).canConvert<QBrush>();
    };
    for (int column : {FleetModel::Erasures, FleetModel::Reprogrammings, FleetModel::ReprogrammedElsewhere,
                       FleetModel::Journal, FleetModel::Reasons}) {
        EXPECT_TRUE(marked(0, column)) << column;
        EXPECT_FALSE(marked(1, column)) << column;
    }
    EXPECT_FALSE(marked(0, FleetModel::BatteryEnds)) << "no battery end to mark";
    EXPECT_FALSE(model_.data(model_.index(0, FleetModel::Serial), Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(model_.data(model_.index(1, FleetModel::Serial), Qt::DecorationRole).isValid());
    EXPECT_EQ(model_.needingAttention(), 1);
}

TEST_F(FleetModelTest, HeadingsAreNamedAndTheShortOnesExplained)
{
    EXPECT_EQ(model_.headerData(FleetModel::Serial, Qt::Horizontal).toString(), QStringLiteral("Nº de serie"));
    EXPECT_EQ(model_.headerData(FleetModel::Reasons, Qt::Horizontal).toString(), QStringLiteral("Motivos"));
    EXPECT_EQ(model_.headerData(FleetModel::Erasures, Qt::Horizontal, Qt::ToolTipRole).toString(),
              QStringLiteral("Borrados de memoria desde la descarga anterior"));
    for (int column = 0; column < FleetModel::ColumnCount; ++column)
        EXPECT_FALSE(model_.headerData(column, Qt::Horizontal).toString().isEmpty()) << column;
}

TEST_F(FleetModelTest, FilterModesPickTheirUnits)
{
    model_.setUnits(smallOffice());
    FleetFilterModel proxy;
    proxy.setSourceModel(&model_);
    struct Case {
        FleetFilter filter;
        QList<qint32> shown;
    };
    const Case cases[] = {
        {FleetFilter::All, {5005, 4004, 3003, 2002, 1001, 6006}},
        {FleetFilter::Attention, {5005, 4004, 3003, 2002}},
        {FleetFilter::Tamper, {5005, 4004}},
        {FleetFilter::Stale, {2002}},
        {FleetFilter::Exceedances, {3003}},
    };
    for (const Case& c : cases) {
        proxy.setFilter(c.filter);
        EXPECT_EQ(proxy.filter(), c.filter);
        EXPECT_EQ(serials(proxy), c.shown) << int(c.filter);
    }
}

TEST_F(FleetModelTest, SearchFindsSerialVenueAndTelephoneWithinTheFilter)
{
    model_.setUnits(smallOffice());
    FleetFilterModel proxy;
    proxy.setSourceModel(&model_);
    struct Case {
        const char* search;
        QList<qint32> shown;
    };
    const Case cases[] = {
        {"300", {3003}},
        {"sol", {5005}},            // venue, any case
        {"  PUERTO ", {6006}},      // trimmed
        {"93 555 4004", {4004}},    // the telephone as written
        {"935554004", {4004}},      // and without its spaces
        {"café", {1001}},
        {"nadie", {}},
        {"", {5005, 4004, 3003, 2002, 1001, 6006}},
    };
    for (const Case& c : cases) {
        proxy.setSearch(QString::fromUtf8(c.search));
        EXPECT_EQ(serials(proxy), c.shown) << c.search;
    }
    // The search narrows the filter, never widens it.
    proxy.setSearch(QStringLiteral("0"));
    proxy.setFilter(FleetFilter::Tamper);
    EXPECT_EQ(serials(proxy), (QList<qint32>{5005, 4004}));
    proxy.setSearch(QStringLiteral("Central"));
    EXPECT_TRUE(serials(proxy).isEmpty());
}

TEST_F(FleetModelTest, SortingByReasonsKeepsTheUrgencyOrderAndOtherColumnsSortByValue)
{
    std::vector<FleetUnit> units = smallOffice();
    // Two more without reasons: the loader put them by serial.
    units.push_back(fleetUnit(7007, QStringLiteral("Zeta")));
    units.push_back(fleetUnit(8008, QStringLiteral("Alfa")));
    model_.setUnits(units);
    FleetFilterModel proxy;
    proxy.setSourceModel(&model_);
    proxy.sort(FleetModel::Reasons, Qt::DescendingOrder);
    EXPECT_EQ(serials(proxy), (QList<qint32>{5005, 4004, 3003, 2002, 1001, 6006, 7007, 8008}));

    proxy.sort(FleetModel::Serial, Qt::AscendingOrder);
    EXPECT_EQ(serials(proxy), (QList<qint32>{1001, 2002, 3003, 4004, 5005, 6006, 7007, 8008}));
    proxy.sort(FleetModel::Venue, Qt::AscendingOrder);
    EXPECT_EQ(serials(proxy).front(), 8008);
    EXPECT_EQ(serials(proxy).back(), 7007);
    // Numbers as numbers: 12 nights before 6 when sorted down.
    units[0].exceedanceNights = 12;
    model_.setUnits(units);
    proxy.sort(FleetModel::ExceedanceNights, Qt::DescendingOrder);
    EXPECT_EQ(serials(proxy).mid(0, 2), (QList<qint32>{5005, 3003}));
}

} // namespace
