#include "app/window_places.h"

#include <gtest/gtest.h>

using namespace tvq52;

TEST(WindowPlaces, BothStoredFormsAreReadAndNonsenseIsRefused)
{
    EXPECT_EQ(placeFromText(QStringLiteral("-8,40,578,320")), QRect(-8, 40, 578, 320));
    EXPECT_EQ(placeFromText(QStringLiteral(" 10, 20 ,30,40")), QRect(10, 20, 30, 40));
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "a,2,3,4", "1,2,0,4", "1,2,3,-4", "1.5,2,3,4"})
        EXPECT_EQ(placeFromText(QString::fromLatin1(bad)), std::nullopt) << bad;
    // Qt's own form read for the inside's place, whatever else it holds;
    // an older form without it, a cut one or another text give nothing.
    const QByteArray saved = QByteArray::fromBase64(
        "AdnQywADAAAAAAAAAAAAAAAAAx8AAAKrAAAAAgAAAAIAAAMdAAACqQAAAAAAAAAAAyAAAAACAAAAAgAAAx0AAAKp");
    EXPECT_EQ(insideOfSavedGeometry(saved), QRect(2, 2, 796, 680));
    QByteArray older = saved;
    older[5] = 2;
    for (const QByteArray& bad : {older, saved.left(saved.size() - 4), QByteArray("10,20,30,40")})
        EXPECT_EQ(insideOfSavedGeometry(bad), std::nullopt) << bad.toHex().toStdString();
}

TEST(WindowPlaces, APlaceIsKeptWhollyOnTheScreen)
{
    const QRect screen(0, 0, 1024, 738);
    // Inside already: unchanged.
    EXPECT_EQ(keptOnScreen(QRect(100, 50, 578, 320), screen), QRect(100, 50, 578, 320));
    // Past the right and bottom edges (a larger screen before): moved in.
    EXPECT_EQ(keptOnScreen(QRect(1500, 900, 578, 320), screen), QRect(446, 418, 578, 320));
    // Above and left of it: moved in.
    EXPECT_EQ(keptOnScreen(QRect(-300, -50, 578, 320), screen), QRect(0, 0, 578, 320));
    // Larger than the screen: shrunk to it.
    EXPECT_EQ(keptOnScreen(QRect(10, 10, 1389, 830), screen), QRect(0, 0, 1024, 738));
    // A second screen to the right of the first counts as its own.
    const QRect second(1024, 0, 1366, 768);
    EXPECT_EQ(keptOnScreen(QRect(2300, 100, 200, 100), second), QRect(2190, 100, 200, 100));
    // No screen known: left as it was.
    EXPECT_EQ(keptOnScreen(QRect(5, 5, 50, 50), QRect()), QRect(5, 5, 50, 50));
}
