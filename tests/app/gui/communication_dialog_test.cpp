#include "app/gui/communication_dialog.h"
#include "link/serial_line.h"
#include "sim_process.h"
#include "support/layout_checks.h"
#include "support/started_program.h"

#include <QComboBox>
#include <QLabel>

using namespace tvq52;
using namespace tvq52::test;

// The dialog says why the port being chosen cannot be opened, without
// opening it, and fits the small screen with that text in every language.
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
