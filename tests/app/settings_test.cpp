#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "app/signing_settings.h"
#include "core/own_words.h"
#include "db/store.h"
#include "support/file_bytes.h"
#include "support/file_size_limit.h"
#include "support/result_checks.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::TempHome;

namespace {

// A provisioned data folder with its settings read and its database open.
class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        home.provision();
        ASSERT_TRUE(test::succeeded(readStartupSettings(ctx).status()));
        ctx.db = test::take(Database::openSqlite(databasePath(home.path())));
        ASSERT_TRUE(ctx.db);
    }
    QString ini(const char* key) const
    {
        return ReadSetting(QStringLiteral("Configuration"), QString::fromLatin1(key), QStringLiteral("<none>"),
                           settingsPath(home.path()));
    }
    QByteArray iniFile() const { return tvq52::test::readBytes(settingsPath(home.path())); }
    Row configurationRow()
    {
        const QList<Row> rows = test::take(Store(*ctx.db).select(QStringLiteral("Configuracion")));
        EXPECT_EQ(rows.size(), 1);
        return rows.value(0);
    }

    TempHome home;
    AppContext ctx{home.path()};
};

} // namespace

namespace {

// What stopped the start-up reading; empty when it read everything.
QString startupFault(AppContext& ctx)
{
    const Result<QString> read = readStartupSettings(ctx);
    return read ? QString() : untranslatedText(read.error());
}

} // namespace

TEST(StartupSettings, ReadsTheSevenKeys)
{
    TempHome home;
    home.writeFile(QStringLiteral("tvq52.ini"),
                   "[Configuration]\nSerialPort=7\nUser=Ayuntamiento\nLanguage=1031\nModem=1\nTonePulse=0\n"
                   "DialCode=0,\nModemSpeed=1234\nSerialDevice=/dev/pts/9\n");
    AppContext ctx(home.path());
    const Result<QString> language = readStartupSettings(ctx);
    ASSERT_TRUE(test::succeeded(language.status()));
    EXPECT_EQ(ctx.lineSettings.SerialPort, 7);
    EXPECT_EQ(ctx.ReportFooterText, QStringLiteral("Ayuntamiento"));
    EXPECT_EQ(*language, QStringLiteral("1031"));
    EXPECT_EQ(ctx.lineSettings.ModemMode, 1);
    EXPECT_EQ(ctx.lineSettings.TonePulse, 0);
    EXPECT_EQ(ctx.lineSettings.DialCode, QStringLiteral("0,"));
    EXPECT_EQ(ctx.lineSettings.ModemSpeed, 1234);
    EXPECT_EQ(serialDeviceName(ctx.lineSettings), QStringLiteral("/dev/pts/9"));
}

TEST(StartupSettings, AMissingOrBadNumericKeyStopsTheReading)
{
    TempHome home;
    // TonePulse is missing: what came before it is read, what comes after is not.
    home.writeFile(QStringLiteral("tvq52.ini"),
                   "[Configuration]\nSerialPort=3\nModem=1\nDialCode=9\nModemSpeed=19200\n");
    AppContext ctx(home.path());
    EXPECT_TRUE(startupFault(ctx).contains(QStringLiteral("TonePulse")));
    EXPECT_EQ(ctx.lineSettings.SerialPort, 3);
    EXPECT_EQ(ctx.lineSettings.ModemMode, 1);
    EXPECT_TRUE(ctx.lineSettings.DialCode.isEmpty());

    home.writeFile(QStringLiteral("tvq52.ini"), "[Configuration]\nSerialPort=300\n");
    EXPECT_TRUE(startupFault(ctx).contains(QStringLiteral("300")));

    QFile::remove(home.file(QStringLiteral("tvq52.ini")));
    EXPECT_TRUE(startupFault(ctx).contains(QStringLiteral("SerialPort")));

    // Values the line or the modem cannot use are refused on reading too.
    home.writeFile(QStringLiteral("tvq52.ini"),
                   "[Configuration]\nSerialPort=1\nModem=1\nTonePulse=1\nDialCode=9;H\nModemSpeed=19200\n");
    EXPECT_TRUE(startupFault(ctx).contains(QStringLiteral("DialCode")));
    // Any speed the 16-bit field holds is read; the port judges it when the line opens.
    for (const char* speed : {"0", "32768", "-300", "fast"}) {
        home.writeFile(QStringLiteral("tvq52.ini"),
                       QByteArray("[Configuration]\nSerialPort=1\nModem=1\nTonePulse=1\nDialCode=0\nModemSpeed=")
                           + speed + "\n");
        EXPECT_TRUE(startupFault(ctx).contains(QStringLiteral("ModemSpeed"))) << speed;
    }
    for (const char* speed : {"1", "32767"})
        EXPECT_FALSE(settingFault(QStringLiteral("ModemSpeed"), QString::fromLatin1(speed))) << speed;
}

// The signing keys may be missing, but one the program cannot use stops the
// reading; the accessors read the file as it is now, and an unknown value
// never turns the signed-imports rule off.
TEST(StartupSettings, TheSigningKeysAreOptionalButCheckedAndReadNow)
{
    TempHome home;
    const QByteArray line = "[Configuration]\nSerialPort=1\nModem=0\nTonePulse=1\nDialCode=\nModemSpeed=19200\n";
    home.writeFile(QStringLiteral("tvq52.ini"), line);
    AppContext ctx(home.path());
    EXPECT_TRUE(startupFault(ctx).isEmpty());
    EXPECT_FALSE(requireSignedImports(home.path()));
    EXPECT_TRUE(signingSetup(home.path()).timestampUrl.isEmpty());
    EXPECT_EQ(signingSetup(home.path()).folder, home.file(QStringLiteral("keys")));

    for (const char* bad :
         {"TimestampUrl=mailto:tsa@example.org", "KeyPassphraseFile=frase", "RequireSignedImports=yes"}) {
        home.writeFile(QStringLiteral("tvq52.ini"), line + bad + "\n");
        EXPECT_TRUE(startupFault(ctx).contains(QString::fromLatin1(bad).section('=', 0, 0))) << bad;
    }
    home.writeFile(QStringLiteral("tvq52.ini"), line + "KeyPassphraseFile=frase\nRequireSignedImports=yes\n");
    EXPECT_TRUE(requireSignedImports(home.path()));
    EXPECT_TRUE(readSigningSettings(home.path()).passphraseFile.isEmpty());

    home.writeFile(
        QStringLiteral("tvq52.ini"),
        line + "TimestampUrl=https://tsa.example.org/\nKeyPassphraseFile=/srv/frase\nRequireSignedImports=0\n");
    EXPECT_TRUE(startupFault(ctx).isEmpty());
    const SigningSetup setup = signingSetup(home.path());
    EXPECT_EQ(setup.timestampUrl, QStringLiteral("https://tsa.example.org/"));
    EXPECT_EQ(setup.passphraseFile, QStringLiteral("/srv/frase"));
    EXPECT_FALSE(requireSignedImports(home.path()));
}

TEST_F(Settings, FooterTextOfFiftyIsKeptWholeEverywhereAndALongerOneIsRefused)
{
    const QString fifty = QStringLiteral("0123456789").repeated(5);
    ASSERT_TRUE(test::succeeded(acceptFooterText(ctx, fifty)));
    EXPECT_EQ(ctx.ReportFooterText, fifty);
    EXPECT_EQ(configurationRow().value(QStringLiteral("TUsuario")).toString(), fifty);
    EXPECT_EQ(ini("User"), fifty);
    EXPECT_EQ(reportFooterText(ctx), fifty);

    const QByteArray before = iniFile();
    const Status refused = acceptFooterText(ctx, fifty + QLatin1Char(' '));
    ASSERT_FALSE(refused);
    EXPECT_TRUE(untranslatedText(refused.error()).contains(QStringLiteral("50")));
    EXPECT_EQ(ctx.ReportFooterText, fifty);
    EXPECT_EQ(configurationRow().value(QStringLiteral("TUsuario")).toString(), fifty);
    EXPECT_EQ(iniFile(), before);
}

// Reports take the footer from the settings file at the moment they print, so
// a `config set User` made meanwhile reaches them.
TEST_F(Settings, TheReportFooterIsTheSettingsFilesUserAsItIsNow)
{
    ASSERT_TRUE(WriteSetting(QStringLiteral("Configuration"), QStringLiteral("User"),
                             QString::fromUtf8("Inspección Área Norte"), settingsPath(home.path())));
    EXPECT_EQ(reportFooterText(ctx), QString::fromUtf8("Inspección Área Norte"));
    EXPECT_EQ(ctx.ReportFooterText, QString::fromUtf8("Inspección Área Norte")) << "and the exit mirrors it";

    ASSERT_TRUE(
        WriteSetting(QStringLiteral("Configuration"), QStringLiteral("User"), QString(), settingsPath(home.path())));
    EXPECT_EQ(reportFooterText(ctx), QString()) << "an emptied footer prints empty";

    ctx.ReportFooterText = QStringLiteral("kept");
    ASSERT_TRUE(QFile::remove(settingsPath(home.path())));
    EXPECT_EQ(reportFooterText(ctx), QStringLiteral("kept")) << "a file that cannot be read changes nothing";
}

TEST_F(Settings, ConfigurationRowIsWrittenAtExitWithABlankForAnEmptyPrefix)
{
    ctx.lineSettings.SerialPort = 4;
    ctx.lineSettings.TonePulse = 0;
    ctx.lineSettings.ModemMode = 1;
    ctx.lineSettings.DialCode.clear();
    ctx.LanguageCodeValue = 5000;
    ctx.ReportFooterText = QStringLiteral("pie");
    ASSERT_TRUE(test::succeeded(writeConfigurationRow(ctx)));
    EXPECT_EQ(ctx.lineSettings.DialCode, QStringLiteral(" "));
    const Row row = configurationRow();
    EXPECT_EQ(row.value(QStringLiteral("ByCom")).toInt(), 4);
    EXPECT_EQ(row.value(QStringLiteral("IIdioma")).toInt(), 5000);
    EXPECT_EQ(row.value(QStringLiteral("ByTono")).toInt(), 0);
    EXPECT_EQ(row.value(QStringLiteral("ByModem")).toInt(), 1);
    EXPECT_EQ(row.value(QStringLiteral("TPrefijo")).toString(), QStringLiteral(" "));
    EXPECT_EQ(row.value(QStringLiteral("IModemSpeed")).toInt(), 19200);
    EXPECT_EQ(row.value(QStringLiteral("TUsuario")).toString(), QStringLiteral("pie"));

    // An emptied settings table gets its row back rather than failing the exit.
    Store store(*ctx.db);
    ASSERT_EQ(test::take(store.remove(QStringLiteral("Configuracion"), {})), 1);
    ASSERT_TRUE(test::succeeded(writeConfigurationRow(ctx)));
    EXPECT_EQ(configurationRow().value(QStringLiteral("ByCom")).toInt(), 4);
}

TEST_F(Settings, CommunicationDialogAcceptWritesKeysAndAlwaysSpeed19200)
{
    WriteSetting(QStringLiteral("Configuration"), QStringLiteral("ModemSpeed"), QStringLiteral("2400"),
                 settingsPath(home.path()));
    ASSERT_TRUE(test::succeeded(readStartupSettings(ctx).status()));
    EXPECT_EQ(ctx.lineSettings.ModemSpeed, 2400);

    CommChoice choice{QStringLiteral("12"), QStringLiteral("0"), true, true};
    ASSERT_FALSE(acceptCommSettings(ctx, choice).has_value());
    EXPECT_EQ(ctx.lineSettings.ModemSpeed, 19200);
    EXPECT_EQ(ini("SerialPort"), QStringLiteral("12"));
    EXPECT_EQ(ini("Modem"), QStringLiteral("1"));
    EXPECT_EQ(ini("TonePulse"), QStringLiteral("0"));
    EXPECT_EQ(ini("DialCode"), QStringLiteral("0"));
    EXPECT_EQ(ini("ModemSpeed"), QStringLiteral("19200"));
    EXPECT_EQ(ini("SerialDevice"), QStringLiteral("<none>"));

    // A device path is kept apart and wins over the number until a number is chosen again.
    choice.portText = QStringLiteral("/dev/ttyUSB0");
    ASSERT_FALSE(acceptCommSettings(ctx, choice).has_value());
    EXPECT_EQ(ini("SerialPort"), QStringLiteral("12"));
    EXPECT_EQ(ini("SerialDevice"), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(portText(ctx), QStringLiteral("/dev/ttyUSB0"));
    choice.portText = QStringLiteral("2");
    ASSERT_FALSE(acceptCommSettings(ctx, choice).has_value());
    EXPECT_EQ(ini("SerialDevice"), QString());
    EXPECT_EQ(serialDeviceName(ctx.lineSettings), portNumberDevice(2));
}

TEST_F(Settings, CommunicationDialogRefusesABadPortAndChangesNothing)
{
    const QByteArray before = iniFile();
    for (const char* bad : {"256", "-1", "abc", "", "1 2"}) {
        const auto fault =
            acceptCommSettings(ctx, CommChoice{QString::fromLatin1(bad), QStringLiteral("9"), true, true});
        ASSERT_TRUE(fault.has_value()) << bad;
        EXPECT_EQ(fault->text, ctx.translator.text(106));
    }
    const auto prefixFault =
        acceptCommSettings(ctx, CommChoice{QStringLiteral("2"), QStringLiteral("9\rATH"), true, true});
    ASSERT_TRUE(prefixFault.has_value());
    EXPECT_EQ(prefixFault->field, CommFault::Field::DialPrefix);
    EXPECT_EQ(ctx.lineSettings.SerialPort, 1);
    EXPECT_EQ(ctx.lineSettings.ModemMode, 0);
    EXPECT_EQ(iniFile(), before);
}

TEST_F(Settings, LanguageChoiceWritesTheLocaleIdentifierOfKnownCodesOnly)
{
    (void)acceptLanguage(ctx, 7000);
    EXPECT_EQ(ini("Language"), QStringLiteral("2070"));
    (void)acceptLanguage(ctx, 0);
    EXPECT_EQ(ctx.LanguageCodeValue, 0);
    EXPECT_EQ(ini("Language"), QStringLiteral("2070"));
}

TEST_F(Settings, EveryChangeSaysSoWhenTheFileCannotBeWrittenAndKeepsTheOldFile)
{
    const QByteArray before = iniFile();
    {
        tvq52::test::FileSizeLimit full(16);
        EXPECT_FALSE(acceptFooterText(ctx, QStringLiteral("pie")));
        EXPECT_FALSE(acceptLanguage(ctx, 4000));
        EXPECT_TRUE(acceptCommSettings(ctx, CommChoice{QStringLiteral("3"), QString(), false, false}).has_value());
    }
    EXPECT_EQ(iniFile(), before);
}
