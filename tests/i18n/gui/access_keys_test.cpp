#include "../language_db_fixture.h"
#include "i18n/gui/access_keys.h"
#include "i18n/gui/composite_controls.h"
#include "i18n/translator.h"
#include "support/key_presses.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

TEST(AccessKeys, TheMarkIsReadAndTakenOffWithAPlainAmpersandLeftAlone)
{
    EXPECT_EQ(accessKeyOf(QStringLiteral("&Guardar")), QChar(u'G'));
    EXPECT_EQ(accessKeyOf(QStringLiteral("Sa&lir")), QChar(u'L'));
    EXPECT_EQ(accessKeyOf(QStringLiteral("Pie && cabeza")), QChar());
    EXPECT_EQ(accessKeyOf(QStringLiteral("Pie && &cabeza")), QChar(u'C'));
    EXPECT_EQ(accessKeyOf(QStringLiteral("Salir&")), QChar());
    EXPECT_EQ(withoutAccessKey(QStringLiteral("Sa&lir")), QStringLiteral("Salir"));
    EXPECT_EQ(withoutAccessKey(QStringLiteral("Pie && &cabeza")), QStringLiteral("Pie && cabeza"));
}

TEST(AccessKeys, EachCaptionGetsAKeyOfItsOwn)
{
    const struct {
        const char* why;
        QString taken;
        QStringList captions, keyed;
        QString takenAfter;
    } cases[] = {
        // S is gone after "Salir": "Siguiente" takes a letter inside; "Sensor
        // inactivo" finds S and I gone and goes inside too.
        {"word starts first",
         {},
         {"Salir", "Siguiente >>", "Buscar unidad", "Sensor inactivo:"},
         {"&Salir", "S&iguiente >>", "&Buscar unidad", "S&ensor inactivo:"},
         "SIBE"},
        {"a key already chosen is kept",
         {},
         {"Aceptar", "C&ancelar", "Ayuda"},
         {"A&ceptar", "C&ancelar", "A&yuda"},
         "ACY"},
        {"a key taken elsewhere moves, accents last", "E", {"&Enviar", "Él"}, {"E&nviar", "É&l"}, "ENL"},
        // Most keyboards have no key of its own for É, ñ or ç.
        {"an accented letter is never a key", "EL", {"Él", "Teléfono"}, {"Él", "&Teléfono"}, "ELT"},
        {"no letter left: no key rather than a shared one", "AB", {"Ab"}, {"Ab"}, "AB"},
        // "Sair" would take S, and then "Si" could only share it.
        {"an earlier caption moves aside for a shorter one", "RI", {"Sair", "Si"}, {"S&air", "&Si"}, "RIAS"},
    };
    for (const auto& c : cases) {
        QString taken = c.taken;
        EXPECT_EQ(assignAccessKeys(c.captions, taken), c.keyed) << c.why;
        EXPECT_EQ(taken, c.takenAfter) << c.why;
    }
}

// A small window: a form layout, a grid row, tab pages and the usual buttons.
struct KeyedWindow {
    QDialog window;
    QTabWidget* tabs = new QTabWidget(&window);
    QWidget* day = new QWidget;
    QWidget* night = new QWidget;
    QLabel* dayLimit = new QLabel(QStringLiteral("Límite:"), day);
    QLabel* nightLimit = new QLabel(QStringLiteral("Límite:"), night);
    QSpinBox* dayValue = new QSpinBox(day);
    QSpinBox* nightValue = new QSpinBox(night);
    QLabel* serialLabel = new QLabel(QStringLiteral("N. Serie:"), &window);
    QLineEdit* serial = new QLineEdit(&window);
    QLabel* note = new QLabel(QStringLiteral("Nota sin campo"), &window);
    QPushButton* help = new QPushButton(QStringLiteral("Ayuda"), &window);
    QPushButton* exit = new QPushButton(QStringLiteral("Salir"), &window);
    QPushButton* arrow = new QPushButton(QStringLiteral("<"), &window);
    QToolButton* tool = new QToolButton(&window);

    KeyedWindow()
    {
        auto* layout = new QVBoxLayout(&window);
        auto* form = new QFormLayout;
        form->addRow(serialLabel, serial);
        layout->addLayout(form);
        layout->addWidget(note);
        (new QGridLayout(day))->addWidget(dayLimit, 0, 0);
        static_cast<QGridLayout*>(day->layout())->addWidget(dayValue, 0, 1);
        (new QGridLayout(night))->addWidget(nightLimit, 0, 0);
        static_cast<QGridLayout*>(night->layout())->addWidget(nightValue, 0, 1);
        tabs->addTab(day, QStringLiteral("Día"));
        tabs->addTab(night, QStringLiteral("Noche"));
        layout->addWidget(tabs);
        tool->setText(QStringLiteral("1"));
        help->setObjectName(QStringLiteral("SSCommandHelp"));
        exit->setObjectName(QStringLiteral("SSCommandExit"));
        for (QWidget* w : {static_cast<QWidget*>(help), static_cast<QWidget*>(exit), static_cast<QWidget*>(arrow),
                           static_cast<QWidget*>(tool)})
            layout->addWidget(w);
    }
};

TEST(AccessKeys, LabelsFindTheirFieldsAndPagesMayRepeatAKeyTheRestOfTheWindowDoesNotAndAltUsesThem)
{
    KeyedWindow w;
    setAccessKeys(&w.window);
    EXPECT_EQ(w.serialLabel->buddy(), w.serial);
    EXPECT_EQ(w.dayLimit->buddy(), w.dayValue);
    EXPECT_EQ(w.nightLimit->buddy(), w.nightValue);
    EXPECT_EQ(w.note->buddy(), nullptr);
    EXPECT_EQ(w.note->text(), QStringLiteral("Nota sin campo"));
    EXPECT_EQ(w.arrow->text(), QStringLiteral("<"));
    EXPECT_EQ(w.tool->text(), QStringLiteral("1"));

    const QList<AccessKeyControl> controls = accessKeyControls(&w.window);
    EXPECT_EQ(controls.size(), 5);
    const QChar serialKey = accessKeyOf(w.serialLabel->text());
    const QChar helpKey = accessKeyOf(w.help->text());
    const QChar exitKey = accessKeyOf(w.exit->text());
    const QChar dayKey = accessKeyOf(w.dayLimit->text());
    EXPECT_EQ(QSet<QChar>({serialKey, helpKey, exitKey}).size(), 3);
    EXPECT_FALSE(dayKey.isNull());
    EXPECT_FALSE(dayKey == serialKey || dayKey == helpKey || dayKey == exitKey);
    // The two pages are never shown together: the same caption keeps the same key.
    EXPECT_EQ(w.nightLimit->text(), w.dayLimit->text());

    // Run again (a window translated twice) nothing moves.
    const QString before = w.dayLimit->text() + w.help->text() + w.serialLabel->text();
    setAccessKeys(&w.window);
    EXPECT_EQ(w.dayLimit->text() + w.help->text() + w.serialLabel->text(), before);

    // Alt and the key moves to the field or presses the button.
    int exits = 0;
    QObject::connect(w.exit, &QPushButton::clicked, [&] { ++exits; });
    test::makeActive(&w.window);
    const auto alt = [&](const QString& caption) {
        test::keyInto(&w.window, Qt::Key(accessKeyOf(caption).unicode()), Qt::AltModifier);
    };
    alt(w.serialLabel->text());
    EXPECT_EQ(QApplication::focusWidget(), w.serial);
    alt(w.exit->text());
    test::letRun(300);
    EXPECT_EQ(exits, 1);
}

TEST(AccessKeys, StandardShortcutsPressTheirButtonsOnlyWhenUsable)
{
    KeyedWindow w;
    int helps = 0;
    int exits = 0;
    QObject::connect(w.help, &QPushButton::clicked, [&] { ++helps; });
    QObject::connect(w.exit, &QPushButton::clicked, [&] { ++exits; });
    addStandardShortcuts(&w.window);
    addStandardShortcuts(&w.window);
    EXPECT_EQ(w.window.findChildren<QShortcut*>().size(), 2) << "F1 and Ctrl+W, however often they are added";
    EXPECT_TRUE(hasShortcut(w.help, &w.window));
    EXPECT_FALSE(hasShortcut(w.arrow, &w.window));
    test::makeActive(&w.window);
    test::keyInto(&w.window, Qt::Key_F1);
    EXPECT_EQ(helps, 1);
    w.help->setEnabled(false);
    test::keyInto(&w.window, Qt::Key_F1);
    EXPECT_EQ(helps, 1);
    test::keyInto(&w.window, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(exits, 1);
    test::keyInto(&w.window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(exits, 1) << "only the main window quits on Ctrl+Q";

    KeyedWindow main;
    main.window.setObjectName(QStringLiteral("Form1"));
    QObject::connect(main.exit, &QPushButton::clicked, [&] { ++exits; });
    addStandardShortcuts(&main.window);
    test::makeActive(&main.window);
    test::keyInto(&main.window, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(exits, 1);
    test::keyInto(&main.window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(exits, 2);
}

// Where the letters do not go round, a control with a shortcut gives its
// key up to one without.
TEST(AccessKeys, AControlWithAShortcutGivesItsKeyUpFirst)
{
    QDialog window;
    auto* layout = new QVBoxLayout(&window);
    auto* help = new QPushButton(QStringLiteral("Ab"), &window);
    help->setObjectName(QStringLiteral("SSCommandHelp"));
    auto* other = new QPushButton(QStringLiteral("Ba"), &window);
    auto* third = new QPushButton(QStringLiteral("Ab"), &window);
    for (QPushButton* b : {help, other, third})
        layout->addWidget(b);
    addStandardShortcuts(&window);
    setAccessKeys(&window);
    EXPECT_FALSE(accessKeyOf(other->text()).isNull());
    EXPECT_FALSE(accessKeyOf(third->text()).isNull());
    EXPECT_TRUE(accessKeyOf(help->text()).isNull()) << help->text().toStdString();
}

TEST(AccessKeys, TranslatingAWindowGivesItItsKeysAlsoWithoutALanguageDatabase)
{
    Translator translator;
    installWidgetTranslation(translator);
    KeyedWindow w;
    translator.translateWindow(&w.window);
    EXPECT_FALSE(accessKeyOf(w.exit->text()).isNull());
    EXPECT_NE(w.window.findChild<QShortcut*>(QStringLiteral("ShortcutSSCommandHelp")), nullptr);
}

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

class translateWindow : public ::testing::Test {
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
        translator.foreignColumnName = "English";
        installWidgetTranslation(translator);
        ASSERT_TRUE(translator.openLanguageDatabase(path, true, Translator::SqlDb));
    }
    QTemporaryDir dir;
    Translator translator;
};

TEST_F(translateWindow, ControlsTakeTheirCaptionsTipsAndItemsUnlessExcluded)
{
    SampleWindow w;
    translator.translateWindow(&w.form);
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
    translator.excludedTagPrefix = "";
    translator.translateWindow(&w.form);
    EXPECT_EQ(w.kept->text(), "Date:");
}

TEST_F(translateWindow, TextAndFontPropertiesWhenListed)
{
    SampleWindow w;
    QFont font = w.label->font();
    font.setFamily("Sans");
    w.label->setFont(font);
    translator.setPropertyList("Text,Font.Name");
    translator.translateWindow(&w.form);
    EXPECT_EQ(w.edit->text(), "Date");
    EXPECT_EQ(w.label->font().family(), "Serif");
    EXPECT_EQ(w.label->text(), "Fecha:");
}

TEST_F(translateWindow, NothingHappensWhileTheDatabaseIsOpenForWritingAndTheWidthTestPadsEveryText)
{
    ASSERT_TRUE(translator.openLanguageDatabase(dir.filePath("Language.db"), false, Translator::SqlDb));
    SampleWindow w;
    translator.translateWindow(&w.form);
    EXPECT_EQ(w.button->text(), "Aceptar");
    EXPECT_EQ(w.tabs->tabText(0), QString::fromUtf8("Día"));

    translator.closeLanguageDatabase();
    translator.testingWidths = true;
    translator.translateWindow(&w.form);
    EXPECT_EQ(w.button->text(), "AceptarWWWWWW");
    EXPECT_EQ(w.tabs->tabText(1), "NocheWWWW");
    EXPECT_EQ(w.series->name(), QString::fromUtf8("LímiteWWWWW"));
    EXPECT_EQ(w.kept->text(), "Fecha:");
}

} // namespace
