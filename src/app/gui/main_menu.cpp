#include "app/gui/main_menu.h"

#include "i18n/gui/access_keys.h"
#include "i18n/translator.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

namespace tvq52 {

namespace {

struct Entry {
    const char* button;   // a main-window button, or nullptr for `act`
    const char* native;   // the words when there is no button
    const char* shortcut; // shown beside the entry; the window already answers it
    std::function<void()> act;
};

// One menu: each entry shows its button's words (keys given anew across the
// menu) and clicks that button, so the menu can never drift from it.
QMenu* addMenu(QMenuBar& bar, const QString& title, const MainMenuSource& source, const std::vector<Entry>& entries,
               const char* objectName)
{
    QMenu* menu = bar.addMenu(title);
    menu->setObjectName(QString::fromLatin1(objectName));
    menu->setToolTipsVisible(true);
    QStringList captions;
    std::vector<std::function<void()>> acts;
    for (const Entry& e : entries) {
        if (e.button) {
            QPushButton* b = source.button(e.button);
            if (!b)
                continue;
            captions << withoutAccessKey(b->text());
            acts.push_back([b] {
                if (b->isEnabled())
                    b->click();
            });
        } else {
            captions << source.translator.translate(QString::fromUtf8(e.native));
            acts.push_back(e.act);
        }
    }
    QString taken;
    captions = assignAccessKeys(captions, taken);
    std::size_t shown = 0;
    for (const Entry& e : entries) {
        if (e.button && !source.button(e.button))
            continue;
        QString caption = captions.value(qsizetype(shown));
        if (e.shortcut)
            caption += QLatin1Char('\t') + QKeySequence(QString::fromLatin1(e.shortcut)).toString(QKeySequence::NativeText);
        QAction* action = menu->addAction(caption);
        action->setObjectName(QStringLiteral("Menu_%1").arg(QString::fromLatin1(e.button ? e.button : e.native)));
        QObject::connect(action, &QAction::triggered, menu, acts[shown]);
        // An entry is off while its button is, with the button's tip telling why.
        if (QPushButton* b = e.button ? source.button(e.button) : nullptr)
            QObject::connect(menu, &QMenu::aboutToShow, action, [action, b] {
                action->setEnabled(b->isEnabled());
                action->setToolTip(b->isEnabled() ? QString() : b->toolTip());
            });
        ++shown;
    }
    return menu;
}

void fillWindowMenu(QMenu& menu)
{
    menu.clear();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip
            || w->windowTitle().isEmpty())
            continue;
        QAction* action = menu.addAction(w->windowTitle());
        action->setCheckable(true);
        action->setChecked(w->isActiveWindow());
        QObject::connect(action, &QAction::triggered, &menu, [w] {
            w->showNormal();
            w->raise();
            w->activateWindow();
        });
    }
}

} // namespace

void fillMainMenu(QMenuBar& bar, const MainMenuSource& source)
{
    bar.clear();
    const Translator& translator = source.translator;
    QStringList titles;
    for (const char* native : {"Archivo", "Aparatos", "Oficina", "Configuración", "Ventana", "Ayuda"})
        titles << translator.translate(QString::fromUtf8(native));
    QString taken = source.takenKeys;
    titles = assignAccessKeys(titles, taken);

    QMenu* file = addMenu(bar, titles[0], source,
                          {{"SSCommand1", nullptr, nullptr, {}}, {"CommandExportar", nullptr, nullptr, {}}},
                          "MenuArchivo");
    if (source.recentFiles) {
        QPushButton* recent = source.button("SSCommandRecientes");
        source.recentFiles->setTitle(recent ? recent->text() : QString());
        file->insertMenu(file->actions().value(1), source.recentFiles);
    }
    file->addSeparator();
    if (QPushButton* exit = source.button("SSCommandExit")) {
        QAction* quit = file->addAction(withoutAccessKey(exit->text()) + QLatin1Char('\t')
                                        + QKeySequence(QKeySequence::Quit).toString(QKeySequence::NativeText));
        quit->setObjectName(QStringLiteral("Menu_SSCommandExit"));
        QObject::connect(quit, &QAction::triggered, exit, &QPushButton::click);
    }
    addMenu(bar, titles[1], source,
            {{"SSCommandProgramacion", nullptr, nullptr, {}},
             {"SSCommandIncidencias", nullptr, nullptr, {}},
             {nullptr, "Buscar", "Ctrl+F", source.findUnit},
             {nullptr, "Actualizar", "F5", source.refreshUnits}},
            "MenuAparatos");
    addMenu(bar, titles[2], source,
            {{"SSCommandRecoger", nullptr, nullptr, {}},
             {"SSCommandBaseDatos", nullptr, nullptr, {}},
             {"SSCommandFirma", nullptr, nullptr, {}}},
            "MenuOficina");
    addMenu(bar, titles[3], source,
            {{"SSCommandPort", nullptr, nullptr, {}},
             {"SSCommandIdioma", nullptr, nullptr, {}},
             {"SSCommandUsuario", nullptr, nullptr, {}}},
            "MenuConfiguracion");
    QMenu* windows = bar.addMenu(titles[4]);
    windows->setObjectName(QStringLiteral("MenuVentana"));
    QObject::connect(windows, &QMenu::aboutToShow, windows, [windows] { fillWindowMenu(*windows); });
    addMenu(bar, titles[5], source, {{"SSCommandHelp", nullptr, "F1", {}}}, "MenuAyuda");
}

} // namespace tvq52
