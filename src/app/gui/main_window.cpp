#include "app/gui/main_window.h"

#include "app/gui/main_menu.h"
#include "i18n/gui/access_keys.h"

#include "app/app_context.h"
#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/database_opening.h"
#include "app/gui/communication_dialog.h"
#include "app/gui/database_dialog.h"
#include "app/gui/desktop_icons.h"
#include "app/gui/fleet_loader.h"
#include "app/gui/help.h"
#include "app/gui/language_dialog.h"
#include "app/gui/qt_translations.h"
#include "app/gui/signing_dialog.h"
#include "app/gui/window_needs.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "app/signing_settings.h"
#include "core/catalogue_ids.h"
#include "core/own_words.h"
#include "core/prompter.h"
#include "db/server_rights.h"
#include "exchange/database_merge_workflow.h"
#include "i18n/catalogue_message.h"
#include "i18n/gui/button_tips.h"
#include "i18n/gui/export_all_strings.h"
#include "i18n/gui/form_registry.h"
#include "programming/gui/programming_window.h"
#include "records/collect_round.h"
#include "records/gui/collect_window.h"
#include "records/gui/fleet_model.h"
#include "records/gui/fleet_view.h"
#include "records/gui/journal_window.h"
#include "records/gui/recorded_data_window.h"
#include "reports/gui/graph_report_print.h"
#include "reports/gui/graph_window.h"
#include "reports/gui/history_graph.h"
#include "reports/gui/report_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLockFile>
#include <QMenu>
#include <QStatusBar>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace tvq52 {

namespace {

// A main-window command: at least the size of its neighbours, and as wide
// as its caption asks in any language and font (a fixed minimum would cut
// the longer captions under a larger desktop font).
class CommandButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    QSize minimumSizeHint() const override { return QPushButton::minimumSizeHint().expandedTo(QSize(170, 40)); }
    QSize sizeHint() const override { return QPushButton::sizeHint().expandedTo(QSize(170, 40)); }
};

} // namespace

MainWindow::MainWindow(AppContext& ctx, Prompter& prompter, QWidget* parent)
    : QWidget(parent),
      ctx_(ctx),
      prompter_(prompter),
      collectProgram_(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tvq52-cli")))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    // The installed icon; a build without it keeps a stock one.
    const QIcon icon = applicationIcon();
    setWindowIcon(icon.isNull() ? style()->standardIcon(QStyle::SP_MediaVolume) : icon);
    // An exchange file or a database dropped here is opened as the file button would.
    setAcceptDrops(true);

    // The menu bar and the status bar run the window's whole width; what
    // lies between keeps its margins.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("MenuPrincipal"));
    outer->setMenuBar(menuBar_);
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(24, 20, 24, 12);
    layout->setSpacing(14);
    layout->addWidget(buildTitle());
    layout->addLayout(buildButtons());
    layout->addWidget(buildFleetView(), 1);
    layout->addWidget(buildImportPanel());
    outer->addLayout(layout, 1);
    outer->addWidget(buildStatusBar());
    connectButtons();
}

QStatusBar* MainWindow::buildStatusBar()
{
    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("BarraEstado"));
    statusBar_->setSizeGripEnabled(false);
    for (QLabel** label : {&databaseStatus_, &lineStatus_, &downloadStatus_}) {
        *label = new QLabel(statusBar_);
        // Filled in code in the window's language, never by the form's translation.
        (*label)->setProperty("Tag", QStringLiteral("!"));
    }

    databaseStatus_->setObjectName(QStringLiteral("LbEstadoBaseDatos"));
    lineStatus_->setObjectName(QStringLiteral("LbEstadoLinea"));
    downloadStatus_->setObjectName(QStringLiteral("LbEstadoDescarga"));
    // The overview's count of units and of those needing attention moves here.
    statusBar_->addWidget(fleet_->countLabel());
    statusBar_->addWidget(downloadStatus_);
    statusBar_->addPermanentWidget(lineStatus_);
    statusBar_->addPermanentWidget(databaseStatus_);
    connect(fleet_, &FleetView::countShown, this, &MainWindow::updateStatus);
    return statusBar_;
}

void MainWindow::updateStatus()
{
    const Translator& translator = ctx_.translator;
    const auto labelled = [&translator](const char* label, const QString& value) {
        QString caption = translator.translate(QString::fromUtf8(label));
        if (!caption.endsWith(QLatin1Char(' ')))
            caption += QLatin1Char(' ');
        return caption + value;
    };
    // A file by its name (a long folder would widen the window past a small
    // screen), a server by its address; the tip holds it whole.
    QString database;
    if (ctx_.db)
        database = ctx_.db->target().isServer() ? ctx_.db->target().displayName()
                                                : QFileInfo(ctx_.db->target().displayName()).fileName();
    databaseStatus_->setText(labelled("Base de datos:", database));
    databaseStatus_->setToolTip(ctx_.db ? ctx_.db->target().displayName() : QString());
    QString line = portText(ctx_);
    if (ctx_.lineSettings.modem())
        line += QStringLiteral(" (%1)").arg(translator.translate(QStringLiteral("Módem")));
    lineStatus_->setText(labelled("Puerto:", line));
    lineStatus_->setToolTip(line);
    std::optional<QDateTime> newest;
    for (const FleetUnit& unit : fleet_->model()->units())
        if (unit.lastDownload && (!newest || *unit.lastDownload > *newest))
            newest = unit.lastDownload;
    downloadStatus_->setText(newest ? labelled("Última descarga:", newest->toString(QStringLiteral("dd/MM/yyyy HH:mm")))
                                    : QString());
    // What the login may not do is off, its tip saying why.
    const Database* records = ctx_.db.get();
    const std::pair<const char*, Operation> guarded[] = {{"SSCommandRecoger", Operation::Collect},
                                                         {"SSCommand1", Operation::Import},
                                                         {"SSCommandRecientes", Operation::Import}};
    for (const auto& [name, op] : guarded)
        showRefusal(button(name), refusal(records, op), translator);
}

void MainWindow::buildMenus()
{
    // The menus' keys keep off those of the window's own controls.
    QString taken;
    for (const AccessKeyControl& control : accessKeyControls(this))
        if (const QChar key = accessKeyOf(control.control->property("text").toString()); !key.isNull())
            taken += key;
    MainMenuSource source{ctx_.translator,      [this](const char* name) { return button(name); },
                          recentMenu_,    [this] { refreshFleet(); },
                          [this] { fleet_->focusSearch(); }, taken};
    fillMainMenu(*menuBar_, source);
}

QSize MainWindow::sizeHint() const
{
    return QSize(1000, 680).expandedTo(minimumSizeHint());
}

FleetView* MainWindow::buildFleetView()
{
    fleet_ = new FleetView(
        ctx_.translator, [this](const FleetOptions& options) { return loadOfficeFleet(ctx_, options); }, this);
    fleet_->setOpeners({
        .recordedData = [this](qint32 serial) { showUnitRecords(serial); },
        .programming = [this](qint32 serial) { showUnitProgramming(serial); },
        .graph =
            [this](qint32 serial) {
                showUnitRecords(serial);
                recordedData_->openGraph();
            },
        .reports =
            [this](qint32 serial) {
                showUnitRecords(serial);
                recordedData_->openReport();
            },
        .download = [this](qint32 serial) { downloadUnit(serial); },
    });
    // The setting is kept with the others; a value the file does not hold
    // well leaves the usual one.
    const QString file = settingsPath(ctx_.home);
    bool ok = false;
    const int kept =
        ReadSetting(QString::fromLatin1(kSettingsSection), QStringLiteral("FleetStaleDays"), QString(), file).toInt(&ok);
    if (ok && kept > 0)
        fleet_->setStaleDays(kept);
    connect(fleet_, &FleetView::staleDaysChanged, this, [file](int days) {
        WriteSetting(QString::fromLatin1(kSettingsSection), QStringLiteral("FleetStaleDays"), QString::number(days),
                     file);
    });
    return fleet_;
}

QLabel* MainWindow::buildTitle()
{
    title_ = new QLabel(QString::fromLatin1(kApplicationTitle), this);
    title_->setObjectName(QStringLiteral("LbTitulo"));
    title_->setProperty("Tag", QStringLiteral("!"));
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 2.0);
    titleFont.setBold(true);
    title_->setFont(titleFont);
    title_->setAlignment(Qt::AlignCenter);
    return title_;
}

QGridLayout* MainWindow::buildButtons()
{
    auto* grid = new QGridLayout;
    grid->setSpacing(10);

    struct ButtonDef {
        const char* name;
        const char* text;
        const char* tip;
        QStyle::StandardPixmap icon;
    };
    const ButtonDef buttons[] = {
        {"SSCommandProgramacion", "Programación", "Programar un TVQ-52 y consultar sus fichas",
         QStyle::SP_FileDialogDetailedView},
        {"SSCommandIncidencias", "Datos registrados", "Descargar y consultar los datos registrados",
         QStyle::SP_FileDialogContentsView},
        {"SSCommandPort", "Comunicaciones", "Puerto serie y módem", QStyle::SP_DriveNetIcon},
        {"SSCommandBaseDatos", "Base de datos", "Archivo de esta carpeta o servidor de la oficina",
         QStyle::SP_DriveHDIcon},
        {"SSCommandIdioma", "Idioma", "Idioma de la aplicación", QStyle::SP_MessageBoxInformation},
        {"SSCommandUsuario", "Pie de página", "Texto del pie de página de los informes", QStyle::SP_FileDialogListView},
        {"SSCommandFirma", "Firma", "Clave y certificado con que se firman los datos, y sellado de tiempo",
         QStyle::SP_DialogApplyButton},
        {"SSCommand1", "Abrir archivo", "Abrir una base de datos o un archivo de intercambio",
         QStyle::SP_DialogOpenButton},
        {"SSCommandRecientes", "Archivos recientes", "Abrir de nuevo un archivo abierto hace poco",
         QStyle::SP_FileDialogBack},
        {"CommandExportar", "Exportar textos", "Exportar los textos de todas las ventanas a la base de idiomas",
         QStyle::SP_DialogSaveButton},
        {"SSCommandRecoger", "Recoger ahora", "Descargar por módem las unidades de la lista de recogida",
         QStyle::SP_BrowserReload},
        {"SSCommandHelp", "Ayuda", "Abrir la ayuda (F1)", QStyle::SP_DialogHelpButton},
        {"SSCommandExit", "Salir", "Salir del programa (Ctrl+Q)", QStyle::SP_DialogCloseButton},
    };
    int i = 0;
    for (const ButtonDef& s : buttons) {
        QPushButton* b = addButton(s.name, QString::fromUtf8(s.text), QString::fromUtf8(s.tip), s.icon);
        grid->addWidget(b, i / 4, i % 4);
        ++i;
    }
    // A question mark, where the stock icon may be a red cross.
    button("SSCommandHelp")->setIcon(helpIcon());
    recentMenu_ = new QMenu(this);
    recentMenu_->setObjectName(QStringLiteral("MenuRecientes"));
    button("SSCommandRecientes")->setMenu(recentMenu_);
    connect(recentMenu_, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
    return grid;
}

QFrame* MainWindow::buildImportPanel()
{
    importPanel_ = new QFrame(this);
    importPanel_->setObjectName(QStringLiteral("SSPanel1"));
    importPanel_->setFrameShape(QFrame::StyledPanel);
    auto* panelLayout = new QVBoxLayout(importPanel_);
    auto* panelLabel = new QLabel(QStringLiteral("Importando datos"), importPanel_);
    panelLabel->setObjectName(QStringLiteral("LbImportando"));
    panelLabel->setAlignment(Qt::AlignCenter);
    panelLayout->addWidget(panelLabel);
    // Which table the merge is at; names and numbers only, never translated.
    panelProgress_ = new QLabel(importPanel_);
    panelProgress_->setObjectName(QStringLiteral("LbImportandoTabla"));
    panelProgress_->setProperty("Tag", QStringLiteral("!"));
    panelProgress_->setAlignment(Qt::AlignCenter);
    panelLayout->addWidget(panelProgress_);
    mergeStop_ = new QPushButton(QStringLiteral("Parar"), importPanel_);
    mergeStop_->setObjectName(QStringLiteral("SSCommandPararFusion"));
    mergeStop_->setToolTip(QStringLiteral("Parar la fusión; las tablas ya fusionadas se guardan"));
    connect(mergeStop_, &QPushButton::clicked, this, [this] {
        mergeStopped_ = true;
        mergeStop_->setEnabled(false);
    });
    panelLayout->addWidget(mergeStop_, 0, Qt::AlignCenter);
    importPanel_->hide();
    return importPanel_;
}

void MainWindow::connectButtons()
{
    connect(button("SSCommandPort"), &QPushButton::clicked, this, &MainWindow::showCommunicationDialog);
    connect(button("SSCommandBaseDatos"), &QPushButton::clicked, this, &MainWindow::showDatabaseDialog);
    connect(button("SSCommandIdioma"), &QPushButton::clicked, this, &MainWindow::showLanguageDialog);
    connect(button("SSCommandFirma"), &QPushButton::clicked, this, &MainWindow::showSigningDialog);
    connect(button("SSCommandUsuario"), &QPushButton::clicked, this, &MainWindow::askFooterText);
    connect(button("SSCommandHelp"), &QPushButton::clicked, this, &MainWindow::showHelp);
    connect(button("SSCommandExit"), &QPushButton::clicked, this, [this] { close(); });
    connect(button("CommandExportar"), &QPushButton::clicked, this, [this] {
        // The texts go into the data folder's own copy, the translators' one.
        if (const Status ready = prepareLanguageExport(ctx_.home, findAssetFolder()); !ready) {
            showError(prompter_, ctx_.translator, ready.error());
            return;
        }
        ExportAllStrings(ctx_.translator, formRegistry(), ctx_.home, prompter_);
        close();
    });
    connect(button("SSCommandProgramacion"), &QPushButton::clicked, this, &MainWindow::showProgrammingWindow);
    connect(button("SSCommandIncidencias"), &QPushButton::clicked, this, &MainWindow::showRecordedDataWindow);
    connect(button("SSCommand1"), &QPushButton::clicked, this, &MainWindow::openFileButton);
    connect(button("SSCommandRecoger"), &QPushButton::clicked, this, &MainWindow::collectNow);
}

CollectWindow* MainWindow::collectWindow() const
{
    return collect_;
}

void MainWindow::collectNow()
{
    if (collect_) {
        collect_->raise();
        collect_->activateWindow();
        return;
    }
    // The list and the lines of the unattended run: collect.list in the data
    // folder and the CollectDevices setting, else the one line of the settings.
    const IniFile ini = IniFile::load(settingsPath(ctx_.home));
    auto setting = [&](const char* key) {
        return ini.value(QString::fromLatin1(kSettingsSection), QString::fromLatin1(key)).value_or(QString()).trimmed();
    };
    QStringList devices;
    for (const QString& d : setting("CollectDevices").split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!d.trimmed().isEmpty())
            devices << d.trimmed();
    if (devices.isEmpty() && !ctx_.lineSettings.SerialDevice.isEmpty())
        devices << ctx_.lineSettings.SerialDevice;
    if (devices.isEmpty()) {
        showError(prompter_, ctx_.translator,
                  ownWords(QStringLiteral("No hay ninguna línea para la recogida: elija el puerto en Comunicaciones")));
        return;
    }
    QFile list(QDir(ctx_.home).filePath(QStringLiteral("collect.list")));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        showError(prompter_, ctx_.translator,
                  ownWords(QStringLiteral("No se puede leer %1: %2"), {list.fileName(), list.errorString()}));
        return;
    }
    // One round at a time on a data folder, with the unattended one too.
    auto lock = std::make_shared<QLockFile>(QDir(ctx_.home).filePath(QStringLiteral("collect.lock")));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        qint64 pid = 0;
        QString host, program;
        lock->getLockInfo(&pid, &host, &program);
        showError(prompter_, ctx_.translator,
                  ownWords(QStringLiteral("La recogida anterior sigue en curso (proceso %1); esta no empieza"),
                           {QString::number(pid)}));
        return;
    }
    const QString reports = setting("CollectReports");
    QStringList common{QStringLiteral("--home"), ctx_.home};
    if (ctx_.databaseOverride)
        common << QStringLiteral("--database") << *ctx_.databaseOverride;
    const QString listPath = list.fileName();
    LineWorkers workers{collectProgram_, [common, listPath, reports](const QString& device) {
                            QStringList a = common;
                            a << QStringLiteral("--device") << device << QStringLiteral("--modem")
                              << QStringLiteral("collect") << listPath << QStringLiteral("--worker");
                            if (!reports.isEmpty())
                                a << QStringLiteral("--reports") << reports;
                            return a;
                        }};
    // The server's password given in this run goes to them as libpq takes it.
    if (ctx_.db && ctx_.db->isServer() && !ctx_.password.isEmpty())
        workers.environment.insert(QStringLiteral("PGPASSWORD"), ctx_.password);
    collect_ = new CollectWindow(ctx_.translator, readCollectList(list), devices, workers, this);
    collect_->setAttribute(Qt::WA_DeleteOnClose);
    connect(collect_, &CollectWindow::roundFinished, this, [this, lock] {
        lock->unlock();
        refreshFleet();
    });
    collect_->show();
    collect_->start();
}

MainWindow::~MainWindow()
{
    unload();
}

QPushButton* MainWindow::addButton(const char* objectName, const QString& text, const QString& toolTip, int icon)
{
    auto* b = new CommandButton(style()->standardIcon(QStyle::StandardPixmap(icon)), text, this);
    b->setObjectName(QString::fromLatin1(objectName));
    b->setToolTip(toolTip);
    b->setIconSize(QSize(24, 24));
    // The overview below takes the height the window gains.
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return b;
}

QPushButton* MainWindow::button(const char* objectName) const
{
    return findChild<QPushButton*>(QString::fromLatin1(objectName));
}

void MainWindow::load(const QString& commandLine)
{
    loaded_ = true;
    if (!runStartup(ctx_, prompter_, *this, commandLine))
        // Nobody could reach the records: the run ends once start-up returns.
        QTimer::singleShot(0, this, [this] { emit exitRequested(); });
}

void MainWindow::unload()
{
    // A copy made only to read its texts never opened anything.
    if (unloaded_ || !loaded_)
        return;
    unloaded_ = true;
    closeChildWindows();
    if (const Status written = writeConfigurationRow(ctx_); !written) {
        // The connection stays open as it was; nothing else is lost.
        showError(prompter_, ctx_.translator, written.error());
        return;
    }
    ctx_.db.reset();
    ctx_.localDb.reset();
}

bool MainWindow::closeChildWindows()
{
    // The windows opened from here go with this window (a language change
    // rebuilds it); each closes as its own Exit would, so one holding edits
    // offers to save them while the database is still open. One that stays
    // open (its save failed) keeps its edits.
    bool allClosed = true;
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isWindow() && w->isVisible() && !w->close())
            allClosed = false;
    return allClosed;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The database stays open until the merge has stopped.
    if (merging_) {
        mergeStopped_ = true;
        event->ignore();
        return;
    }
    if (!closeChildWindows()) {
        event->ignore();
        return;
    }
    unload();
    event->accept();
    emit exitRequested();
}

void MainWindow::setCaption(const QString& title)
{
    setWindowTitle(title);
}

void MainWindow::languageChosen(int code)
{
    // Qt's own words (OK, Cancel, the file dialogs') follow the program's.
    useQtTranslations(code);
}

bool MainWindow::isSmallFontsScreen()
{
    // Large text settings are what the warning is about: the height of the
    // interface font in pixels, as the screen draws it.
    if (!QGuiApplication::primaryScreen())
        return true;
    return QFontInfo(QApplication::font()).pixelSize() < 17;
}

void MainWindow::translateMainWindow()
{
    // The overview's own texts first: the form's translation then gives out
    // the access keys over every caption.
    fleet_->retranslate();
    ctx_.translator.translateWindow(this);
    // The menus take the buttons' words, so they follow the translation.
    buildMenus();
    updateStatus();
}

void MainWindow::showMainWindow()
{
    // Start-up has opened the records by now.
    fleet_->refresh();
    show();
    QApplication::processEvents();
}

void MainWindow::setImportPanelVisible(bool visible)
{
    importPanel_->setVisible(visible);
    QApplication::processEvents();
}

void MainWindow::openProgrammingWindow()
{
    // Start-up waits for it, as for any modal window; it looks up the serial itself.
    ProgrammingWindow* w = programmingWindow();
    w->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    connect(this, &MainWindow::programmingClosed, &loop, &QEventLoop::quit);
    w->show();
    loop.exec();
    w->setWindowModality(Qt::NonModal);
}

ProgrammingWindow* MainWindow::programmingWindow()
{
    if (!programming_) {
        programming_ = new ProgrammingWindow(programmingWindowNeeds(ctx_, prompter_), this);
        programming_->setRecordedDataOpener([this](qint32 serial) {
            if (serial != 0)
                showUnitRecords(serial);
            else
                showRecordedDataWindow();
        });
        programming_->installEventFilter(this);
    }
    return programming_;
}

RecordedDataWindow* MainWindow::recordedDataWindow()
{
    if (!recordedData_) {
        recordedData_ = new RecordedDataWindow(recordedDataWindowNeeds(ctx_, prompter_), this);
        recordedData_->setProgrammingOpener([this] { showProgrammingWindow(); });
        recordedData_->setReportOpener([this] {
            if (!report_)
                report_ = new ReportWindow(reportWindowNeeds(ctx_, prompter_), recordedData_);
            report_->exec();
        });
        recordedData_->setGraphOpener([this] { openGraphWindow(); });
        recordedData_->setJournalOpener([this](qint32 serial) {
            if (!ctx_.db)
                return;
            JournalWindow journal(ctx_.translator, prompter_, *ctx_.db, serial, recordedData_);
            journal.exec();
        });
        recordedData_->installEventFilter(this);
    }
    return recordedData_;
}

void MainWindow::openGraphWindow()
{
    if (!recordedData_ || !recordedData_->shownUnit())
        return;
    if (!graph_) {
        graph_ = new GraphWindow(ctx_.translator, prompter_, ctx_.db.get(), helpOpener(ctx_, prompter_, QStringLiteral("records")), recordedData_);
        graph_->setHistoryOpener([this](const ShownUnit& unit) {
            HistoryGraphWindow history(ctx_.translator, prompter_, ctx_.db.get(), graph_);
            history.load(unit);
            history.exec();
        });
        graph_->setPrinter([this](GraphWindow& w, const ShownUnit& unit) {
            printGraphReport(graphReportNeeds(ctx_, prompter_), w, unit);
        });
    }
    graph_->load(*recordedData_->shownUnit());
    graph_->exec();
}

void MainWindow::showProgrammingWindow()
{
    ProgrammingWindow* w = programmingWindow();
    w->show();
    w->raise();
    w->activateWindow();
}

void MainWindow::showRecordedDataWindow()
{
    RecordedDataWindow* w = recordedDataWindow();
    w->show();
    w->raise();
    w->activateWindow();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == programming_ && event->type() == QEvent::Hide)
        emit programmingClosed();
    // What was changed there shows in the overview once the window goes.
    if ((watched == programming_ || watched == recordedData_) && event->type() == QEvent::Hide)
        refreshFleet();
    return QWidget::eventFilter(watched, event);
}

void MainWindow::refreshFleet()
{
    // A copy made only to read its texts, or one being closed, has nothing to show.
    if (loaded_ && !unloaded_)
        fleet_->refresh();
}

void MainWindow::showUnitRecords(qint32 serial)
{
    showRecordedDataWindow();
    recordedData_->showUnit(serial);
}

void MainWindow::showUnitProgramming(qint32 serial)
{
    ProgrammingWindow* w = programmingWindow();
    // Edits of the unit shown are offered for saving first; Cancel keeps them.
    if (w->isVisible() && !w->offerToSaveChanges())
        return;
    showProgrammingWindow();
    w->loadStored(serial);
}

void MainWindow::downloadUnit(qint32 serial)
{
    showUnitRecords(serial);
    if (recordedData_->shownSerial() != serial)
        return;
    recordedData_->download();
    refreshFleet();
}

void MainWindow::showCommunicationDialog()
{
    CommunicationDialog dialog(ctx_, prompter_, this);
    dialog.exec();
    updateStatus();
}

void MainWindow::showSigningDialog()
{
    SigningDialog dialog(ctx_, prompter_, this);
    dialog.exec();
}

std::optional<DatabaseTarget> MainWindow::chooseDatabase(const QString& why)
{
    DatabaseDialog dialog(ctx_, prompter_, this, why);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const std::optional<DatabaseTarget> target = dialog.chosen();
    if (target) {
        showFailure(prompter_, ctx_.translator, acceptDatabase(ctx_, *target));
    }
    return target;
}

void MainWindow::showDatabaseDialog()
{
    DatabaseDialog dialog(ctx_, prompter_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::optional<DatabaseTarget> target = dialog.chosen();
    if (!target || (ctx_.db && ctx_.db->target() == *target) || !closeChildWindows())
        return;
    // The settings row goes where it is kept before the connection changes.
    showFailure(prompter_, ctx_.translator, writeConfigurationRow(ctx_));
    // The windows kept for reuse hold the old connection: they go with it.
    delete graph_;
    delete report_;
    delete recordedData_;
    delete programming_;
    const Status opened = openRecords(ctx_, prompter_, {SchemaPolicy::Ask, DatabaseAccess::ReadWrite, *target, {}});
    // On failure the records open before stay, and so does the settings file's choice.
    showFailure(prompter_, ctx_.translator, opened ? acceptDatabase(ctx_, *target) : opened);
    refreshFleet();
}

void MainWindow::showLanguageDialog()
{
    LanguageDialog dialog(ctx_, this);
    if (dialog.exec() != QDialog::Accepted || !closeChildWindows())
        return;
    // The new language still applies to this run when it cannot be kept.
    showFailure(prompter_, ctx_.translator, acceptLanguage(ctx_, dialog.chosenCode()));
    emit reloadRequested();
}

void MainWindow::askFooterText()
{
    const std::optional<QString> text = prompter_.input(
        ctx_.translator.text(msg::FooterPrompt), ctx_.translator.text(msg::FooterTitle), reportFooterText(ctx_), kFooterTextLength);
    // Cancel keeps the footer that was there.
    if (!text)
        return;
    showFailure(prompter_, ctx_.translator, acceptFooterText(ctx_, *text));
}

void MainWindow::showHelp()
{
    openHelp(ctx_, prompter_);
}

} // namespace tvq52
