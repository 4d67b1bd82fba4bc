#include "app/ini_file.h"
#include "support/file_bytes.h"
#include "support/file_size_limit.h"
#include "support/printers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;

TEST(IniFile, KeepsLinesCommentsAndCaseWhenWriting)
{
    IniFile ini = IniFile::fromText(
        QStringLiteral("; written by hand\r\n[configuration]\r\nserialport = 3\r\n\r\n[Other]\r\nA=1\r\n"));
    EXPECT_EQ(ini.value(QStringLiteral("Configuration"), QStringLiteral("SerialPort")), QStringLiteral("3"));
    ini.setValue(QStringLiteral("Configuration"), QStringLiteral("SerialPort"), QStringLiteral("4"));
    ini.setValue(QStringLiteral("Configuration"), QStringLiteral("Modem"), QStringLiteral("1"));
    ini.setValue(QStringLiteral("New"), QStringLiteral("K"), QStringLiteral("v"));
    EXPECT_EQ(ini.toText().toStdString(),
              std::string("; written by hand\r\n[configuration]\r\nserialport=4\r\nModem=1\r\n\r\n"
                          "[Other]\r\nA=1\r\n\r\n[New]\r\nK=v\r\n"));
}

TEST(IniFile, ValuesAreTrimmedAndUnquotedAndMissingKeysAreAbsent)
{
    const IniFile ini = IniFile::fromText(QStringLiteral("[S]\nA=  x y  \nB=\"quoted \"\nC=\n;D=1\nE=a=b\n"));
    EXPECT_EQ(ini.value(QStringLiteral("S"), QStringLiteral("A")), QStringLiteral("x y"));
    EXPECT_EQ(ini.value(QStringLiteral("S"), QStringLiteral("B")), QStringLiteral("quoted "));
    EXPECT_EQ(ini.value(QStringLiteral("S"), QStringLiteral("C")), QString());
    EXPECT_FALSE(ini.value(QStringLiteral("S"), QStringLiteral("D")).has_value());
    EXPECT_EQ(ini.value(QStringLiteral("S"), QStringLiteral("E")), QStringLiteral("a=b"));
    EXPECT_FALSE(ini.value(QStringLiteral("T"), QStringLiteral("A")).has_value());
}

TEST(IniFile, ProfileFunctionsRoundTripThroughAFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tvq52.ini"));
    const QString section = QStringLiteral("Configuration"), key = QStringLiteral("User");
    EXPECT_EQ(ReadSetting(section, key, QStringLiteral("dflt"), path), QStringLiteral("dflt"));
    ASSERT_TRUE(WriteSetting(section, key, QStringLiteral("Señal Acústica"), path));
    EXPECT_EQ(ReadSetting(section, key, QString(), path), QStringLiteral("Señal Acústica"));
    // A value never breaks the file into more lines.
    ASSERT_TRUE(WriteSetting(section, key, QStringLiteral("a\nb=c"), path));
    EXPECT_EQ(ReadSetting(section, key, QString(), path), QStringLiteral("a b=c"));
    ASSERT_TRUE(WriteSetting(section, key, QString(300, QLatin1Char('x')), path));
    EXPECT_EQ(ReadSetting(section, key, QString(), path).size(), 254);
}

TEST(IniFile, EachLineKeepsItsOwnEncodingAndUnchangedLinesKeepTheirBytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TVQ52.ini"));
    // One line in the Windows code page among UTF-8 ones.
    const QByteArray bytes(
        "[Configuration]\r\nUser=Pe\xc3\xb1"
        "a\r\nDialCode=Ac\xfastica\nLanguage=1034\r\n");
    ASSERT_TRUE(test::writeBytes(path, bytes));
    EXPECT_EQ(ReadSetting(QStringLiteral("Configuration"), QStringLiteral("User"), QString(), path),
              QStringLiteral("Peña"));
    EXPECT_EQ(ReadSetting(QStringLiteral("Configuration"), QStringLiteral("DialCode"), QString(), path),
              QStringLiteral("Acústica"));
    ASSERT_TRUE(
        WriteSetting(QStringLiteral("Configuration"), QStringLiteral("Language"), QStringLiteral("1031"), path));
    EXPECT_EQ(test::readBytes(path), QByteArray(bytes).replace("1034", "1031"));
}

TEST(IniFile, ASaveThatCannotWriteEverythingLeavesTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tvq52.ini"));
    ASSERT_TRUE(WriteSetting(QStringLiteral("Configuration"), QStringLiteral("User"), QStringLiteral("old"), path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    {
        tvq52::test::FileSizeLimit full(16);
        EXPECT_FALSE(WriteSetting(QStringLiteral("Configuration"), QStringLiteral("User"),
                                  QString(100, QLatin1Char('x')), path));
    }
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}
