// The main window's side that takes files in: the file button, the recent
// files, a dropped file, a later start's argument, and the merge it starts.
#include "app/gui/main_window.h"

#include "app/app_context.h"
#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/recent_files.h"
#include "app/startup.h"
#include "core/prompter.h"
#include "exchange/database_merge_workflow.h"
#include "exchange/exchange_format.h"
#include "exchange/gui/exchange_import_window.h"
#include "i18n/catalogue_message.h"
#include "programming/gui/programming_window.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>

namespace tvq52 {

bool MainWindow::mergeDatabase(const QString& source)
{
    panelProgress_->clear();
    if (!ctx_.db)
        return false;
    // The merge answers the window while it works: only its Stop is left to
    // press, so that nothing else reaches the database meanwhile.
    QList<QWidget*> busy{fleet_}, disabled;
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b->window() == this)
            busy << b;
    for (QWidget* w : std::as_const(busy))
        if (w && w != mergeStop_ && w->isEnabled()) {
            w->setEnabled(false);
            disabled << w;
        }
    mergeStopped_ = false;
    merging_ = true;
    mergeStop_->setEnabled(true);
    const bool merged = runDatabaseMerge(
        *ctx_.db, ctx_.translator, prompter_, source,
        [this](const QString& table, int index, int count) {
            panelProgress_->setText(QStringLiteral("%1 (%2/%3)").arg(table).arg(index + 1).arg(count));
            QApplication::processEvents();
            emit mergeProgressed(index, count);
        },
        [this] {
            QApplication::processEvents();
            return mergeStopped_;
        });
    merging_ = false;
    for (QWidget* w : std::as_const(disabled))
        w->setEnabled(true);
    return merged;
}

void MainWindow::openImportWindow()
{
    openExchangeImport(ctx_.translator, prompter_, ctx_.db.get(), ctx_.SelectedFile, requireSignedImports(ctx_.home), this);
    refreshFleet();
}

void MainWindow::openFileButton()
{
    ChosenFileKind kind = ChosenFileKind::None;
    const QString path = chooseMergeOrImportFile(ctx_.translator, prompter_, QString(), &kind);
    openChosenFile(path, int(kind));
}

void MainWindow::openFile(const QString& path)
{
    openChosenFile(path, int(checkMergeOrImportFile(ctx_.translator, prompter_, path)));
}

void MainWindow::openChosenFile(const QString& path, int kind)
{
    if (ChosenFileKind(kind) == ChosenFileKind::None)
        return;
    rememberFile(path);
    ctx_.SelectedFile = path;
    if (ChosenFileKind(kind) == ChosenFileKind::Exchange) {
        openImportWindow();
    } else {
        setImportPanelVisible(true);
        mergeDatabase(ctx_.SelectedFile);
        setImportPanelVisible(false);
    }
    ctx_.SelectedFile.clear();
    refreshFleet();
}

void MainWindow::rememberFile(const QString& path)
{
    // A list that cannot be kept is no reason to stop the import.
    (void)RecentFiles(settingsPath(ctx_.home)).add(path);
}

void MainWindow::fillRecentMenu()
{
    recentMenu_->clear();
    RecentFiles recent(settingsPath(ctx_.home));
    const QStringList files = recent.files();
    for (const QString& file : files) {
        QAction* action = recentMenu_->addAction(QFileInfo(file).fileName());
        action->setToolTip(QDir::toNativeSeparators(file));
        action->setStatusTip(action->toolTip());
        connect(action, &QAction::triggered, this, [this, file] { openFile(file); });
    }
    if (files.isEmpty()) {
        recentMenu_->addAction(ctx_.translator.translate(QStringLiteral("No hay archivos recientes")))
            ->setEnabled(false);
        return;
    }
    recentMenu_->setToolTipsVisible(true);
    recentMenu_->addSeparator();
    connect(recentMenu_->addAction(ctx_.translator.translate(QStringLiteral("Vaciar la lista"))), &QAction::triggered,
            this, [this] { showFailure(prompter_, ctx_.translator, RecentFiles(settingsPath(ctx_.home)).clear()); });
}

void MainWindow::openArgument(const QString& argument)
{
    // A dialog is being answered: the file waits until it is closed.
    if (QApplication::activeModalWidget() || !loaded_ || unloaded_) {
        QTimer::singleShot(300, this, [this, argument] { openArgument(argument); });
        return;
    }
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
    const QString file = GetCommandLineFile(argument);
    if (file.isEmpty())
        return;
    if (!isExchangeFileName(file)) {
        // The unit asked for each time, not the one the window showed last.
        if (const auto serial = programmingWindow()->commandLineSerial(file))
            showUnitProgramming(*serial);
        else
            showProgrammingWindow();
        return;
    }
    rememberFile(file);
    ctx_.CommandLineFile = file;
    openCommandLineFile(ctx_, *this);
    ctx_.CommandLineFile.clear();
}

namespace {

// The one local file a drag carries, when it is one the window opens.
QString droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().front().isLocalFile())
        return {};
    const QString path = data->urls().front().toLocalFile();
    const ChosenFileKind kind = chosenFileKind(path);
    return kind == ChosenFileKind::Exchange || kind == ChosenFileKind::Database ? path : QString();
}

} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened once the drag is over, so the file manager is not kept waiting.
    QTimer::singleShot(0, this, [this, path] { openFile(path); });
}

} // namespace tvq52
