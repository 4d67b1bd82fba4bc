#include "app/gui/application_shell.h"

#include "app/data_folder.h"
#include "app/gui/communication_dialog.h"
#include "app/gui/database_dialog.h"
#include "app/gui/file_dialogs.h"
#include "app/gui/language_dialog.h"
#include "app/gui/main_window.h"
#include "app/gui/signing_dialog.h"
#include "app/gui/window_needs.h"
#include "app/gui/window_places_keeper.h"
#include "i18n/gui/composite_controls.h"
#include "i18n/gui/form_registry.h"
#include "monitor/gui/monitor_window.h"
#include "programming/gui/programming_window.h"
#include "programming/gui/week_schedule_window.h"
#include "records/gui/collect_window.h"
#include "records/gui/journal_window.h"
#include "records/gui/range_picker.h"
#include "records/gui/recorded_data_window.h"
#include "reports/gui/graph_window.h"
#include "reports/gui/history_graph.h"
#include "reports/gui/report_window.h"

#include <QTimer>
#include <utility>

namespace tvq52 {

ApplicationShell::ApplicationShell(const QString& dataFolder, QString commandLine, Prompter* prompter)
    : ctx_(dataFolder), prompter_(prompter ? *prompter : widgetPrompter_), commandLine_(std::move(commandLine))
{
    installWidgetTranslation(ctx_.translator);
    widgetPrompter_.setDataFolder(ctx_.home);
    // Also the dialogs Qt opens by itself, such as the print dialog's file choice.
    guardFileDialogs();
    registerForms();
    (new WindowPlacesKeeper(settingsPath(ctx_.home), this))->install();
}

void ApplicationShell::registerForms()
{
    // Fresh, untranslated windows whose texts the export collects.
    FormRegistry& forms = formRegistry();
    forms.add(QStringLiteral("Form1"), [this] { return std::make_unique<MainWindow>(ctx_, prompter_); });
    forms.add(QStringLiteral("Form2"),
              [this] { return std::make_unique<ProgrammingWindow>(programmingWindowNeeds(ctx_, prompter_)); });
    forms.add(QStringLiteral("Form3"), [this] {
        return std::make_unique<MonitorWindow>(ctx_.translator, prompter_, sessionSource(ctx_), helpOpener(ctx_, prompter_, QStringLiteral("monitor")));
    });
    forms.add(QStringLiteral("Form4"), [this] { return std::make_unique<CommunicationDialog>(ctx_, prompter_); });
    forms.add(QStringLiteral("FormFirma"), [this] { return std::make_unique<SigningDialog>(ctx_, prompter_); });
    forms.add(QStringLiteral("FormBaseDatos"), [this] { return std::make_unique<DatabaseDialog>(ctx_, prompter_); });
    forms.add(QStringLiteral("Form5"),
              [this] { return std::make_unique<RecordedDataWindow>(recordedDataWindowNeeds(ctx_, prompter_)); });
    forms.add(QStringLiteral("Form6"),
              [this] { return std::make_unique<ReportWindow>(reportWindowNeeds(ctx_, prompter_)); });
    forms.add(QStringLiteral("Form9"), [this] {
        return std::make_unique<GraphWindow>(ctx_.translator, prompter_, ctx_.db.get(), helpOpener(ctx_, prompter_, QStringLiteral("records")));
    });
    forms.add(QStringLiteral("FormHistorial"),
              [this] { return std::make_unique<HistoryGraphWindow>(ctx_.translator, prompter_, ctx_.db.get()); });
    forms.add(QStringLiteral("Form7"), [this] { return std::make_unique<LanguageDialog>(ctx_); });
    forms.add(QStringLiteral("Form8"), [this] {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        return std::make_unique<RangePicker>(ctx_.translator, prompter_, now.addDays(-60), now);
    });
    forms.add(QStringLiteral("FormRecogida"), [this] {
        return std::make_unique<CollectWindow>(ctx_.translator, QList<CollectItem>{}, QStringList{}, LineWorkers{});
    });
    forms.add(QStringLiteral("FormDiario"), [this] {
        return ctx_.db ? std::make_unique<JournalWindow>(ctx_.translator, prompter_, *ctx_.db, 0) : nullptr;
    });
    forms.add(QStringLiteral("Form10"), [this] {
        return std::make_unique<WeekScheduleWindow>(ctx_.translator, prompter_, WeekSessions{}, QString(), QString(), [] {});
    });
}

ApplicationShell::~ApplicationShell()
{
    delete window_;
}

void ApplicationShell::start()
{
    window_ = new MainWindow(ctx_, prompter_);
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    widgetPrompter_.setParent(window_);
    connect(window_, &MainWindow::exitRequested, this, &ApplicationShell::finished);
    connect(window_, &MainWindow::reloadRequested, this, [this] {
        // Let the dialog's click finish before the window goes.
        QTimer::singleShot(0, this, &ApplicationShell::reload);
    });
    window_->load(commandLine_);
    // The command line is for the first start only.
    commandLine_.clear();
    const auto translate = [this](const QString& text) { return ctx_.translator.translate(text); };
    const FormerFolder former = std::exchange(former_, FormerFolder{});
    const QString notice = formerFolderNotice(former, translate);
    if (!notice.isEmpty())
        prompter_.show(notice,
                       former.outcome == FormerFolder::Outcome::Kept ? MessageStyle::Exclamation
                                                                     : MessageStyle::Information);
    const QString added = settingsAddedNotice(ctx_.home, std::exchange(settingsAdded_, {}), translate);
    if (!added.isEmpty())
        prompter_.show(added, MessageStyle::Information);
}

void ApplicationShell::openArgument(const QString& argument)
{
    if (window_)
        window_->openArgument(argument);
}

void ApplicationShell::reload()
{
    MainWindow* old = window_;
    const QRect geometry = old ? old->geometry() : QRect();
    if (old) {
        old->disconnect(this);
        old->unload();
        old->hide();
        old->deleteLater();
    }
    start();
    if (geometry.isValid())
        window_->setGeometry(geometry);
}

} // namespace tvq52
