#include "programming/programming_browser.h"

#include "programming_fixture.h"
#include "support/result_checks.h"

using namespace tvq52;
using tvq52::test::ProgrammingDatabase;

using Browser = ProgrammingDatabase;

namespace {

SearchField field(const char* control)
{
    return *searchFieldOf(QString::fromUtf8(control));
}

} // namespace

TEST_F(Browser, StepsThroughTheUnitsInSerialOrderAndStopsAtTheEnds)
{
    ProgrammingBrowser browser(*db_);
    EXPECT_TRUE(browser.isEmpty());
    EXPECT_FALSE(test::take(browser.next(0)));
    for (qint32 s : {300, 100, 200})
        saveUnit(s);
    EXPECT_FALSE(browser.isEmpty());
    EXPECT_EQ(test::take(browser.first()), 100);
    EXPECT_EQ(test::take(browser.next(100)), 200);
    EXPECT_EQ(test::take(browser.next(200)), 300);
    EXPECT_FALSE(test::take(browser.next(300)));
    EXPECT_EQ(test::take(browser.previous(300)), 200);
    EXPECT_FALSE(test::take(browser.previous(100)));
    // A new record (serial 0) sits before every stored unit.
    EXPECT_EQ(test::take(browser.next(0)), 100);
    EXPECT_TRUE(browser.contains(200));
    EXPECT_FALSE(browser.contains(201));
}

TEST_F(Browser, SerialSearchFindsTheFirstSerialContainingTheDigits)
{
    for (qint32 s : {5, 9120, 3412, 77})
        saveUnit(s);
    ProgrammingBrowser browser(*db_);
    EXPECT_EQ(test::take(browser.findContaining(field("MaskNumeroSerie"), QStringLiteral("12"))), 3412);
    EXPECT_EQ(test::take(browser.findContaining(field("MaskNumeroSerie"), QStringLiteral("912"))), 9120);
    EXPECT_FALSE(test::take(browser.findContaining(field("MaskNumeroSerie"), QStringLiteral("666"))));
}

TEST_F(Browser, SearchTextIsMatchedLiterallyWhateverItHolds)
{
    saveUnit(1, QStringLiteral("Bar Pepe"));
    saveUnit(2, QStringLiteral("Sala 100% Rock"));
    saveUnit(3, QStringLiteral("L'Escala"));
    saveUnit(4, QStringLiteral("ÉCIJA ÀÂÃÄÇÈÊËÍÎÏÑÒÓÔÕÖŒÙÚÛÜŸ"));
    ProgrammingBrowser browser(*db_);
    const SearchField venue = field("MaskLocal");
    // Every letter of the seven languages matches in either case.
    EXPECT_EQ(test::take(browser.findContaining(venue, QStringLiteral("ÉCIJA"))), 4);
    EXPECT_EQ(test::take(browser.findContaining(venue, QStringLiteral("écija àâãäçèêëíîïñòóôõöœùúûüÿ"))), 4);
    EXPECT_EQ(test::take(browser.findContaining(venue, QStringLiteral("pepe"))), 1);
    EXPECT_EQ(test::take(browser.findContaining(venue, QStringLiteral("%"))), 2);
    EXPECT_EQ(test::take(browser.findContaining(venue, QStringLiteral("L'Esc"))), 3);
    EXPECT_FALSE(test::take(browser.findContaining(venue, QStringLiteral("_ar"))));
    EXPECT_FALSE(test::take(browser.findContaining(venue, QStringLiteral("' OR '1'='1"))));
    EXPECT_FALSE(test::take(browser.findContaining(venue, QStringLiteral("\\"))));
    EXPECT_EQ(test::take(store_->count(QStringLiteral("Programacion"))), 4);
}

TEST_F(Browser, DateSearchReadsTheDateAsShown)
{
    ProgrammingRecord r = saveUnit(8);
    r.date = QDate(2010, 11, 23);
    ASSERT_TRUE(saveProgramming(*store_, r, unusedIntervals()));
    ProgrammingBrowser browser(*db_);
    EXPECT_EQ(test::take(browser.findContaining(field("MaskFecha"), QStringLiteral("23/11/10"))), 8);
    EXPECT_EQ(test::take(browser.findContaining(field("MaskFecha"), QStringLiteral("11/1"))), 8);
    EXPECT_FALSE(test::take(browser.findContaining(field("MaskFecha"), QStringLiteral("2010-11"))));
}

TEST_F(Browser, OnlyTheEightFieldsAreSearchable)
{
    for (const char* c : {"MaskNumeroSerie", "MaskVersion", "MaskFecha", "MaskContacto", "MaskLocal", "MaskDireccion",
                          "MaskPoblacion", "MaskTelefono"})
        EXPECT_TRUE(searchFieldOf(QString::fromUtf8(c))) << c;
    EXPECT_EQ(searchFieldOf(QStringLiteral("MaskTelefono"))->labelId, 9);
    EXPECT_FALSE(searchFieldOf(QStringLiteral("TextNota")));
    EXPECT_FALSE(searchFieldOf(QString()));
    ProgrammingBrowser browser(*db_);
    saveUnit(1);
    // A field with a forged column never reaches the query.
    EXPECT_FALSE(test::take(
        browser.findContaining({QStringLiteral("TextNota"), QStringLiteral("TNota"), 0}, QStringLiteral(" "))));
}

TEST_F(Browser, CommandLineSerialMustBePlainDigitsOfAStoredUnit)
{
    saveUnit(1234);
    ProgrammingBrowser browser(*db_);
    EXPECT_EQ(browser.findCommandLineSerial(QStringLiteral("1234")), 1234);
    EXPECT_FALSE(browser.findCommandLineSerial(QStringLiteral("01234")));
    EXPECT_FALSE(browser.findCommandLineSerial(QStringLiteral("123")));
    EXPECT_FALSE(browser.findCommandLineSerial(QStringLiteral("12%")));
    EXPECT_FALSE(browser.findCommandLineSerial(QStringLiteral("99999999999")));
}
