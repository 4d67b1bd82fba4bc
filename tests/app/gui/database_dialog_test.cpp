#include "app/data_folder.h"
#include "app/database_choice.h"
#include "app/gui/communication_dialog.h"
#include "app/gui/database_dialog.h"
#include "app/settings.h"
#include "link/serial_line.h"
#include "sim_process.h"
#include "support/layout_checks.h"
#include "support/result_checks.h"
#include "support/started_program.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>

using namespace tvq52;
using namespace tvq52::test;

namespace {

struct Language {
    const char* option;
    const char* file;        // the screenshot's suffix
    const char* unreachable; // what the failure says in that language
};

const Language kLanguages[] = {
    {"OptionEspañol", "es", "No hay respuesta del servidor"},
    {"OptionIngles", "en", "does not answer"},
    {"OptionCatalan", "ca", "no respon"},
    {"OptionAleman", "de", "antwortet nicht"},
    {"OptionFrances", "fr", "ne répond pas"},
    {"OptionItaliano", "it", "non risponde"},
    {"OptionPortugues", "pt", "não responde"},
};

void fillServer(DatabaseDialog& d, const QString& host, int port, const QString& database, const QString& user)
{
    child<QRadioButton>(&d, "OptionServidor")->click();
    child<QLineEdit>(&d, "TxtServidor")->setText(host);
    child<QSpinBox>(&d, "TxtPuerto")->setValue(port);
    child<QLineEdit>(&d, "TxtBaseDatos")->setText(database);
    child<QLineEdit>(&d, "TxtUsuario")->setText(user);
}

void shoot(QWidget& w, const QString& name)
{
    const QString dir = qEnvironmentVariable("TVQ52_SHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    w.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

} // namespace

// In every language the dialog fits a small screen whole, also with a
// failure told in it, and that failure is in the language chosen.
TEST(DatabaseDialog, SaysWhyAServerFailsWholeInEveryLanguage)
{
    test::StartedProgram program;
    QTemporaryDir nowhere;
    // A reachable server for the pictures, when one is named.
    const QString shotServer = qEnvironmentVariable("TVQ52_SHOT_DATABASE");
    for (const Language& language : kLanguages) {
        program.chooseLanguage(language.option);
        DatabaseDialog d(program.shell->context(), program.prompter, &program.window());
        fillServer(d, nowhere.path(), 5432, QStringLiteral("oficina"), QStringLiteral("ana"));
        d.show();
        settle();
        child<QPushButton>(&d, "SSCommandProbar")->click();
        settle();
        EXPECT_TRUE(d.resultText().contains(QString::fromUtf8(language.unreachable)))
            << language.file << ": " << d.resultText().toStdString();
        EXPECT_TRUE(d.resultText().contains(nowhere.path()));
        d.adjustSize();
        settle();
        tvq52::test::expectWhole(d, QStringLiteral("FormBaseDatos_%1").arg(QString::fromLatin1(language.file)));
        shoot(d, QStringLiteral("db-dialog-unreachable-%1").arg(QString::fromLatin1(language.file)));
        if (const auto target = DatabaseTarget::fromUri(shotServer); target && !shotServer.isEmpty()) {
            fillServer(d, target->host, target->port, target->database, target->user);
            child<QPushButton>(&d, "SSCommandProbar")->click();
            d.adjustSize();
            settle();
            shoot(d, QStringLiteral("db-dialog-reachable-%1").arg(QString::fromLatin1(language.file)));
        }
    }
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();
}

TEST(DatabaseDialog, ChoosesTheFolderFileOrACompleteServerAddress)
{
    test::StartedProgram program;
    AppContext& ctx = program.shell->context();
    DatabaseDialog d(ctx, program.prompter, &program.window());
    // Opened on the folder's file, which it shows.
    EXPECT_TRUE(child<QRadioButton>(&d, "OptionLocal")->isChecked());
    EXPECT_EQ(child<QLabel>(&d, "LbRutaLocal")->text(), databasePath(ctx.home));
    EXPECT_FALSE(child<QWidget>(&d, "FrameServidor")->isEnabled());
    for (auto* field : d.findChildren<QLineEdit*>())
        EXPECT_NE(field->echoMode(), QLineEdit::Password) << "no password field: " << field->objectName().toStdString();

    fillServer(d, QStringLiteral("db.office"), 5433, QString(), QStringLiteral("ana"));
    EXPECT_TRUE(child<QWidget>(&d, "FrameServidor")->isEnabled());
    d.accept();
    EXPECT_NE(d.result(), QDialog::Accepted) << "a server needs a database name";
    ASSERT_EQ(program.prompter.shown().size(), 1);

    child<QLineEdit>(&d, "TxtBaseDatos")->setText(QStringLiteral(" records "));
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    const auto chosen = d.chosen();
    ASSERT_TRUE(chosen && chosen->isServer());
    EXPECT_EQ(chosen->uri(), DatabaseTarget::fromUri(QStringLiteral("postgresql://ana@db.office:5433/records"))->uri());

    // Written, it opens the next dialog on the server, options kept.
    ASSERT_TRUE(test::succeeded(acceptDatabase(
        ctx, *DatabaseTarget::fromUri(QStringLiteral("postgresql://ana@db.office:5433/records?sslmode=require")))));
    DatabaseDialog again(ctx, program.prompter, &program.window());
    EXPECT_TRUE(child<QRadioButton>(&again, "OptionServidor")->isChecked());
    ASSERT_TRUE(again.chosen());
    EXPECT_TRUE(again.chosen()->options.contains("sslmode=require"));
}

// From the main window: a server that cannot be used is told and the records
// stay where they were, in the settings too.
TEST(DatabaseDialog, AServerThatCannotBeUsedLeavesTheRecordsWhereTheyWere)
{
    test::StartedProgram program;
    AppContext& ctx = program.shell->context();
    QTemporaryDir nowhere;
    program.window().button("SSCommandProgramacion")->click();
    settle();
    bool shown = false;
    test::whenModal([&](QWidget* modal) {
        auto* d = qobject_cast<DatabaseDialog*>(modal);
        ASSERT_NE(d, nullptr);
        fillServer(*d, nowhere.path(), 5432, QStringLiteral("oficina"), QStringLiteral("ana"));
        child<QPushButton>(d, "SSCommandAceptar")->click();
        shown = true;
    });
    program.window().button("SSCommandBaseDatos")->click();
    settle();
    ASSERT_TRUE(shown);
    ASSERT_TRUE(ctx.db);
    EXPECT_FALSE(ctx.db->isServer());
    EXPECT_EQ(ctx.db->path(), databasePath(ctx.home));
    ASSERT_EQ(program.prompter.shown().size(), 1);
    EXPECT_EQ(program.prompter.shown()[0].style, MessageStyle::Critical);
    EXPECT_TRUE(program.prompter.shown()[0].text.contains(nowhere.path()));
    EXPECT_FALSE(resolveDatabase(ctx)->isServer());
    // The programming window opens again on the records.
    program.window().button("SSCommandProgramacion")->click();
    settle();
    EXPECT_TRUE(program.prompter.shown().size() == 1) << program.prompter.shown().last().text.toStdString();
}

TEST(CommunicationDialog, MarksPortsThatCannotBeOpenedInEveryLanguage)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    sim::SimProcess sim(QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim"), {});
    ASSERT_TRUE(sim.start()) << qPrintable(sim.error());
    SerialLine holder;
    holder.setDeviceName(sim.devicePath());
    ASSERT_TRUE(holder.open());

    const char* const options[] = {"OptionEspañol", "OptionCatalan",  "OptionIngles",   "OptionAleman",
                                   "OptionFrances", "OptionItaliano", "OptionPortugues"};
    for (const char* option : options) {
        program.chooseLanguage(option);
        const QString tag = QString::fromUtf8(option).mid(6);
        CommunicationDialog dialog(ctx, program.prompter);
        dialog.show();
        settle();
        auto* port = child<QComboBox>(&dialog, "ComboPort");
        auto* state = child<QLabel>(&dialog, "LbEstadoPuerto");

        // Port 99 is /dev/ttyS98, which no machine has.
        const int last = port->findText(QStringLiteral("99"));
        ASSERT_GE(last, 0);
        EXPECT_TRUE(port->itemData(last, Qt::ToolTipRole).toString().contains(QStringLiteral("/dev/ttyS98")));
        EXPECT_FALSE(port->itemIcon(last).isNull());

        port->setCurrentText(sim.devicePath());
        EXPECT_TRUE(state->isVisible()) << option;
        EXPECT_TRUE(state->text().contains(QString::number(QCoreApplication::applicationPid()))) << option;
        expectWhole(dialog, QStringLiteral("Form4_busy_") + tag);

        port->setCurrentText(QStringLiteral("99"));
        EXPECT_TRUE(state->text().contains(QStringLiteral("/dev/ttyS98"))) << option;
        if (tag == QStringLiteral("Ingles")) {
            EXPECT_TRUE(state->text().startsWith(QStringLiteral("Port /dev/ttyS98 does not exist.")))
                << state->text().toStdString();
        }
        expectWhole(dialog, QStringLiteral("Form4_missing_") + tag);
    }

    // A port that can be opened says nothing, and looking at it did not take it.
    holder.close();
    CommunicationDialog dialog(ctx, program.prompter);
    dialog.show();
    settle();
    child<QComboBox>(&dialog, "ComboPort")->setCurrentText(sim.devicePath());
    EXPECT_FALSE(child<QLabel>(&dialog, "LbEstadoPuerto")->isVisible());
    SerialLine again;
    again.setDeviceName(sim.devicePath());
    EXPECT_TRUE(again.open()) << qPrintable(again.errorString());
}
