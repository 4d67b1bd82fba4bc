#pragma once

#include "app/app_context.h"
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
};

} // namespace tvq52
