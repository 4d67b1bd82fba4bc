#pragma once

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/gui/widget_prompter.h"

#include "app/gui/main_window.h"

#include <QObject>
#include <QPointer>
#include <memory>

namespace tvq52 {

// Owns what lives for the run and the main window; a language change unloads
// the main window and loads it again, which runs start-up anew.
class ApplicationShell : public QObject {
    Q_OBJECT
public:
    // Tests pass their own prompter; the program uses Qt dialogs.
    ApplicationShell(const QString& dataFolder, QString commandLine, Prompter* prompter = nullptr);
    ~ApplicationShell() override;

    void start();
    // Said once the main window is up: where a former data folder went.
    void setFormerFolder(const FormerFolder& former) { former_ = former; }
    // ... and the settings keys the data folder's file was given.
    void setSettingsAdded(const QStringList& keys) { settingsAdded_ = keys; }
    // A later start's argument, for the main window of the moment.
    void openArgument(const QString& argument);
    MainWindow* mainWindow() const { return window_; }
    AppContext& context() { return ctx_; }

signals:
    void finished();

private:
    void reload();
    void registerForms();

    AppContext ctx_;
    WidgetPrompter widgetPrompter_;
    Prompter& prompter_;
    QString commandLine_;
    QPointer<MainWindow> window_;
    FormerFolder former_;
    QStringList settingsAdded_;
};

} // namespace tvq52
