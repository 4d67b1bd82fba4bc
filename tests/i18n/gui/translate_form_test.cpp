#include "../language_db_fixture.h"
#include "i18n/gui/access_keys.h"
#include "i18n/gui/composite_controls.h"
#include "i18n/loc_guru.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

// A window with one of each kind of control the engine knows.
struct SampleWindow {
    SampleWindow()
    {
        form.setObjectName("FormPrueba");
        form.setWindowTitle("Ventana");
        button->setToolTip("Guardar y salir");
        kept->setProperty("Tag", "!fixed");
        menu->addSeparator();
        tabs->addTab(new QLabel("Día", tabs), "Día");
        tabs->addTab(new QWidget(tabs), "Noche");
        tabs->setTabToolTip(1, "Noche");
        keptTabs->addTab(new QWidget(keptTabs), "Día");
        keptTabs->setProperty("Tag", "!");
        model->setHorizontalHeaderLabels({"Fecha", QString::fromUtf8("LeqSesión\ndBA"), "Sin traducir"});
        table->setModel(model);
        series->setName("Límite");
        chart->addSeries(series);
    }

    QDialog form;
    QPushButton* button = new QPushButton("Aceptar", &form);
    QLabel* label = new QLabel("Fecha:", &form);
    QGroupBox* box = new QGroupBox("Conexión", &form);
    QCheckBox* check = new QCheckBox("Cambio de hora:", box);
    QLineEdit* edit = new QLineEdit("Fecha", &form);
    QLabel* kept = new QLabel("Fecha:", &form);
    QMenu* menu = new QMenu("Archivo", &form);
    QAction* action = menu->addAction("Salir");
    QTabWidget* tabs = new QTabWidget(&form);
    QTabWidget* keptTabs = new QTabWidget(&form);
    QStandardItemModel* model = new QStandardItemModel(0, 3, &form);
    QTableView* table = new QTableView(&form);
    QChart* chart = new QChart;
    QLineSeries* series = new QLineSeries;
    QChartView* chartView = new QChartView(chart, &form);
};

class TranslateForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString path = dir.filePath("Language.db");
        tvq52::test::writeLanguageDb(path,
                                     {
                                         {"Ventana", "Window"},
                                         {"Aceptar", "OK"},
                                         {"Guardar y salir", "Save and exit"},
                                         {"Fecha:", "Date:"},
                                         {"Fecha", "Date"},
                                         {QString::fromUtf8("Conexión"), "Connection"},
                                         {"Cambio de hora:", "Clock change:"},
                                         {"Archivo", "File"},
                                         {"Salir", "Exit"},
                                         {QString::fromUtf8("Día"), "Day"},
                                         {"Noche", "Night"},
                                         {QString::fromUtf8("LeqSesión\rdBA"), "LeqSession{\\r}dBA"},
                                         {QString::fromUtf8("Límite"), "Limit"},
                                         {"Sans", "Serif"},
                                     });
        guru.sForeignColumnName = "English";
        installWidgetTranslation(guru);
        ASSERT_TRUE(guru.OpenLanguageDatabase(path, true, LocGuru::SqlDb));
    }
    QTemporaryDir dir;
    LocGuru guru;
};

TEST_F(TranslateForm, ControlsTakeTheirCaptionsTipsAndItemsUnlessExcluded)
{
    SampleWindow w;
    guru.TranslateForm(&w.form);
    EXPECT_EQ(w.form.windowTitle(), "Window");
    // With the access key the language's caption was given.
    EXPECT_EQ(withoutAccessKey(w.button->text()), "OK");
    EXPECT_FALSE(accessKeyOf(w.button->text()).isNull());
    EXPECT_EQ(w.button->toolTip(), "Save and exit");
    EXPECT_EQ(w.label->text(), "Date:");
    EXPECT_EQ(w.box->title(), "Connection");
    EXPECT_EQ(withoutAccessKey(w.check->text()), "Clock change:");
    EXPECT_EQ(w.menu->title(), "File");
    EXPECT_EQ(w.action->text(), "Exit");
    // What the user typed is no caption.
    EXPECT_EQ(w.edit->text(), "Fecha");

    EXPECT_EQ(w.tabs->tabText(0), "Day");
    EXPECT_EQ(w.tabs->tabText(1), "Night");
    EXPECT_EQ(w.tabs->tabToolTip(1), "Night");
    EXPECT_EQ(w.model->headerData(0, Qt::Horizontal).toString(), "Date");
    // The two-line heading stays on two lines in the other language.
    EXPECT_EQ(w.model->headerData(1, Qt::Horizontal).toString(), "LeqSession\ndBA");
    EXPECT_EQ(w.model->headerData(2, Qt::Horizontal).toString(), "Sin traducir");
    EXPECT_EQ(w.series->name(), "Limit");
    // The label inside the first tab is a control of the window too.
    EXPECT_EQ(qobject_cast<QLabel*>(w.tabs->widget(0))->text(), "Day");

    EXPECT_EQ(w.kept->text(), "Fecha:");
    EXPECT_EQ(w.keptTabs->tabText(0), QString::fromUtf8("Día"));
    guru.sTagExclude = "";
    guru.TranslateForm(&w.form);
    EXPECT_EQ(w.kept->text(), "Date:");
}

TEST_F(TranslateForm, TextAndFontPropertiesWhenListed)
{
    SampleWindow w;
    QFont font = w.label->font();
    font.setFamily("Sans");
    w.label->setFont(font);
    guru.setSProperties("Text,Font.Name");
    guru.TranslateForm(&w.form);
    EXPECT_EQ(w.edit->text(), "Date");
    EXPECT_EQ(w.label->font().family(), "Serif");
    EXPECT_EQ(w.label->text(), "Fecha:");
}

TEST_F(TranslateForm, NothingHappensWhileTheDatabaseIsOpenForWritingAndTheWidthTestPadsEveryText)
{
    ASSERT_TRUE(guru.OpenLanguageDatabase(dir.filePath("Language.db"), false, LocGuru::SqlDb));
    SampleWindow w;
    guru.TranslateForm(&w.form);
    EXPECT_EQ(w.button->text(), "Aceptar");
    EXPECT_EQ(w.tabs->tabText(0), QString::fromUtf8("Día"));

    guru.CloseLanguageDatabase();
    guru.bTestStrWidth = true;
    guru.TranslateForm(&w.form);
    EXPECT_EQ(w.button->text(), "AceptarWWWWWW");
    EXPECT_EQ(w.tabs->tabText(1), "NocheWWWW");
    EXPECT_EQ(w.series->name(), QString::fromUtf8("LímiteWWWWW"));
    EXPECT_EQ(w.kept->text(), "Fecha:");
}

} // namespace
