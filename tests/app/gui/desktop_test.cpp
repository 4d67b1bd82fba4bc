#include "app/data_folder.h"
#include "app/gui/desktop_icons.h"
#include "app/gui/qt_translations.h"
#include "app/gui/single_instance.h"
#include "app/gui/widget_prompter.h"
#include "app/gui/window_needs.h"
#include "app/ini_file.h"
#include "app/recent_files.h"
#include "db/database.h"
#include "db/store.h"
#include "support/file_bytes.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/started_program.h"
#include "support/temp_home.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocalSocket>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

// The text Qt gives a standard button, in the language installed now.
QString cancelText()
{
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    return box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&'));
}

// Drops `files` on `window` as a file manager would; whether it was taken.
bool drop(QWidget& window, const QList<QUrl>& files)
{
    QMimeData data;
    data.setUrls(files);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &dropped);
    settle();
    return dropped.isAccepted();
}

// Closes the modal window named `name` once it shows up; `seen` tells.
void closeWhenShown(const QString& name, bool* seen)
{
    auto* poll = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool shown = modal && modal->objectName() == name;
        *seen = *seen || shown;
        // A window at work (the busy cursor) takes a close as Cancel: it is
        // closed once its work is done, however long the machine takes.
        if (shown && !QApplication::overrideCursor())
            modal->close();
        if ((*seen && !shown) || ++*tries > 250)
            poll->deleteLater();
    });
    poll->start(20);
}

int unitsNumbered(ApplicationShell& shell, int serial)
{
    QSqlQuery q(shell.context().db->connection());
    q.prepare(QStringLiteral("SELECT count(*) FROM Programacion WHERE LNumeroSerie = ?"));
    q.addBindValue(serial);
    return q.exec() && q.next() ? q.value(0).toInt() : -1;
}

} // namespace

TEST(QtTranslations, QtsOwnWordsFollowTheLanguageAndPortugueseFallsBackOnBrazils)
{
    EXPECT_TRUE(qtTranslationFiles(3000).isEmpty());
    EXPECT_EQ(qtTranslationFiles(4000), QStringList({"qtbase_de_DE", "qtbase_de"}));
    EXPECT_EQ(qtTranslationFiles(7000), QStringList({"qtbase_pt_PT", "qtbase_pt", "qtbase_pt_BR"}));
    EXPECT_TRUE(qtTranslationFiles(8000).isEmpty());

    const QString installed = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFileInfo::exists(installed + QStringLiteral("/qtbase_de.qm")))
        GTEST_SKIP() << "Qt's translations are not installed (qt6-translations-l10n)";
    // Whatever a program started earlier in this run put in place goes.
    useQtTranslations(3000);
    EXPECT_EQ(cancelText(), QStringLiteral("Cancel"));
    for (const auto& [code, file] : {std::pair{4000, "qtbase_de.qm"}, std::pair{1000, "qtbase_es.qm"},
                                     std::pair{5000, "qtbase_fr.qm"}, std::pair{6000, "qtbase_it.qm"},
                                     std::pair{7000, "qtbase_pt_BR.qm"}}) {
        const QString loaded = useQtTranslations(code);
        EXPECT_TRUE(loaded.endsWith(QLatin1String(file))) << code << " loaded " << loaded.toStdString();
        EXPECT_NE(cancelText(), QStringLiteral("Cancel")) << code << ": Qt's words stayed English";
    }
    // Back to English: nothing of the last language stays.
    EXPECT_TRUE(useQtTranslations(3000).isEmpty());
    EXPECT_EQ(cancelText(), QStringLiteral("Cancel"));
    // A folder without them leaves Qt's words in English.
    QTemporaryDir empty;
    EXPECT_TRUE(useQtTranslations(4000, empty.path()).isEmpty());
    EXPECT_EQ(cancelText(), QStringLiteral("Cancel"));
}

TEST(QtTranslations, StartUpAndALanguageChangeBringQtsWordsAlong)
{
    if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_de.qm")))
        GTEST_SKIP() << "Qt's translations are not installed (qt6-translations-l10n)";
    TempHome home;
    home.provision();
    IniFile ini = IniFile::load(settingsPath(home.path()));
    ini.setValue(QStringLiteral("Configuration"), QStringLiteral("Language"), QStringLiteral("1031"));
    ASSERT_TRUE(ini.save(settingsPath(home.path())));
    ScriptedPrompter prompter;
    {
        ApplicationShell shell(home.path(), {}, &prompter);
        shell.start();
        EXPECT_EQ(cancelText(), QStringLiteral("Abbrechen"));
        shell.mainWindow()->close();
    }
    ini.setValue(QStringLiteral("Configuration"), QStringLiteral("Language"), QStringLiteral("1033"));
    ASSERT_TRUE(ini.save(settingsPath(home.path())));
    ApplicationShell shell(home.path(), {}, &prompter);
    shell.start();
    EXPECT_EQ(cancelText(), QStringLiteral("Cancel"));
}

TEST(Desktop, TheWindowWearsTheInstalledIconAndHelpIsNotAStopSign)
{
    StartedProgram s;
    const QIcon icon = applicationIcon();
    ASSERT_FALSE(icon.isNull()) << "the build lays the icon out beside the assets";
    EXPECT_EQ(icon.availableSizes().size(), 7);
    EXPECT_EQ(s.window().windowIcon().pixmap(48).toImage(), icon.pixmap(48).toImage());
    QPushButton* help = s.window().button("SSCommandHelp");
    const QImage shown = help->icon().pixmap(24).toImage();
    const QImage cross = QApplication::style()->standardIcon(QStyle::SP_DialogHelpButton).pixmap(24).toImage();
    EXPECT_FALSE(help->icon().isNull());
    // A desktop's icon theme gives its own help picture, which the style's
    // help button then shares; without one, the style's is the red cross.
    if (QIcon::hasThemeIcon(QStringLiteral("help-contents")))
        EXPECT_EQ(shown, QIcon::fromTheme(QStringLiteral("help-contents")).pixmap(24).toImage());
    else
        EXPECT_NE(shown, cross);
    // A folder without the pictures gives no icon rather than a broken one.
    QTemporaryDir bare;
    EXPECT_TRUE(applicationIcon(bare.path()).availableSizes().isEmpty());
}

TEST(Desktop, ADroppedExchangeFileIsImportedAndADroppedDatabaseMerged)
{
    StartedProgram s;
    const QString merged = s.home.file(QStringLiteral("otro/tvq52.db"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(merged).absolutePath()));
    ASSERT_TRUE(test::succeeded(Database::createSqlite(merged)));
    {
        auto other = test::take(Database::openSqlite(merged));
        ASSERT_TRUE(QSqlQuery(other->connection())
                        .exec(QStringLiteral("INSERT INTO Programacion (LNumeroSerie) VALUES (9090)")));
    }
    // Files the window does not open, and more than one at once, are refused.
    s.home.writeFile(QStringLiteral("notas.txt"), "texto");
    EXPECT_FALSE(drop(s.window(), {QUrl::fromLocalFile(s.home.file(QStringLiteral("notas.txt")))}));
    EXPECT_FALSE(drop(s.window(), {QUrl::fromLocalFile(merged), QUrl::fromLocalFile(merged)}));
    EXPECT_FALSE(drop(s.window(), {QUrl(QStringLiteral("https://example.org/1.TQ52"))}));
    EXPECT_TRUE(s.prompter.shown().isEmpty());

    s.prompter.clear();
    EXPECT_TRUE(drop(s.window(), {QUrl::fromLocalFile(merged)}));
    EXPECT_EQ(unitsNumbered(*s.shell, 9090), 1);
    ASSERT_EQ(s.prompter.shown().size(), 1);
    EXPECT_TRUE(s.prompter.shown()[0].text.contains(QStringLiteral("Programacion: 1 ")));

    // An exchange file goes to the import window, which is closed here.
    const QString exchange = s.home.file(QStringLiteral("4711.TQ52"));
    s.home.writeFile(QStringLiteral("4711.TQ52"), "//Programacion//\r\n");
    bool importShown = false;
    closeWhenShown(QStringLiteral("Form16"), &importShown);
    EXPECT_TRUE(drop(s.window(), {QUrl::fromLocalFile(exchange)}));
    settle();
    EXPECT_TRUE(importShown);
    // Both are the newest of the recent files.
    EXPECT_EQ(RecentFiles(settingsPath(s.home.path())).files(), QStringList({exchange, merged}));
}

TEST(Desktop, TheRecentFilesMenuReopensAFileAndForgetsWhatIsGone)
{
    StartedProgram s;
    QPushButton* recent = s.window().button("SSCommandRecientes");
    ASSERT_NE(recent, nullptr);
    QMenu* menu = recent->menu();
    ASSERT_NE(menu, nullptr);
    auto entries = [&] {
        emit menu->aboutToShow();
        QStringList texts;
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                texts << a->text() + (a->isEnabled() ? QString() : QStringLiteral(" (off)"));
        return texts;
    };
    EXPECT_EQ(entries(), QStringList({"No hay archivos recientes (off)"}));

    const QString first = s.home.file(QStringLiteral("a/tvq52.db"));
    const QString second = s.home.file(QStringLiteral("b.db"));
    for (const QString& db : {first, second}) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(db).absolutePath()));
        ASSERT_TRUE(test::succeeded(Database::createSqlite(db)));
    }
    {
        auto other = test::take(Database::openSqlite(first));
        ASSERT_TRUE(QSqlQuery(other->connection())
                        .exec(QStringLiteral("INSERT INTO Programacion (LNumeroSerie) VALUES (7070)")));
    }
    RecentFiles list(settingsPath(s.home.path()));
    ASSERT_TRUE(test::succeeded(list.add(first)));
    ASSERT_TRUE(test::succeeded(list.add(second)));
    ASSERT_TRUE(test::succeeded(list.add(s.home.file(QStringLiteral("gone.TQ52")))));
    EXPECT_EQ(entries(), QStringList({"b.db", "tvq52.db", "Vaciar la lista"}));

    // Picking one opens it as the file button would, and puts it first.
    menu->actions().at(1)->trigger();
    settle();
    EXPECT_EQ(unitsNumbered(*s.shell, 7070), 1);
    EXPECT_EQ(list.files().first(), first);

    menu->actions().last()->trigger();
    EXPECT_EQ(entries(), QStringList({"No hay archivos recientes (off)"}));
}

// Qt's own save dialog, as the program runs it: it opens in the folder last
// used with the proposed name, never in the data folder, lists either case
// and adds the extension of its list to a name typed without one.
TEST(Desktop, SaveDialogsProposeTheNameInTheLastFolderAndAddTheExtension)
{
    TempHome home;
    home.provision();
    TempHome elsewhere;
    WidgetPrompter prompter;
    prompter.setDataFolder(home.path());
    QString openedIn;
    QStringList filters;
    auto typeAndSave = [&](const QString& typed) {
        QTimer::singleShot(0, [&, typed] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            openedIn = dialog->directory().absolutePath();
            filters = dialog->nameFilters();
            dialog->selectFile(typed);
            // Accepted as its Save button would: the typed name is checked there.
            static_cast<QDialog*>(dialog)->accept();
        });
    };
    // Asked to open in the data folder, it opens in the documents instead.
    typeAndSave(elsewhere.file(QStringLiteral("graph-es")));
    const QString first =
        prompter.saveFile(QStringLiteral("Guardar PDF"), {QStringLiteral("PDF (*.pdf)")}, home.path());
    EXPECT_EQ(openedIn, QDir(documentsFolder()).absolutePath());
    EXPECT_EQ(filters, QStringList({"PDF (*.pdf *.PDF)"}));
    EXPECT_EQ(first, elsewhere.file(QStringLiteral("graph-es.pdf")));

    // The next one opens where the last was saved, the proposed name in it.
    typeAndSave(QStringLiteral("4711_programacion_2026-12-07.pdf"));
    const QString second = prompter.saveFile(QStringLiteral("Guardar PDF"), {QStringLiteral("PDF (*.pdf)")},
                                             QStringLiteral("4711_programacion_2026-12-07.pdf"));
    EXPECT_EQ(openedIn, QDir(elsewhere.path()).absolutePath());
    EXPECT_EQ(second, elsewhere.file(QStringLiteral("4711_programacion_2026-12-07.pdf")));
    // The folder is kept with the data folder's settings for the next run.
    EXPECT_EQ(RecentFiles(settingsPath(home.path())).lastFolder(), QDir(elsewhere.path()).absolutePath());
}

namespace {

Message unsavedEdits()
{
    return Message{
        QStringLiteral("¿Desea guardar los cambios?"), {}, MessageStyle::SaveDiscardCancel, 23, Answer::Save};
}

// Characters typed past a box's length are refused as they are typed.
TEST(WidgetPrompterInput, ABoxWithALengthTakesNoCharacterPastIt)
{
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        for (int i = 0; i < 72; ++i) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QApplication::sendEvent(dialog->findChild<QLineEdit*>(), &key);
        }
        dialog->accept();
    });
    EXPECT_EQ(WidgetPrompter().input(QStringLiteral("Pie"), QStringLiteral("Pie"), QString(), 50),
              QString(50, QLatin1Char('a')));
}

// The unsaved-edits question shows buttons that say what they do; Enter
// saves, Escape and the close box cancel.
TEST(WidgetPrompterQuestions, UnsavedEditsShowSaveDiscardAndCancelEachGivingItsAnswer)
{
    const auto box = WidgetPrompter::createMessageBox(unsavedEdits(), nullptr);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Save));
    EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
    EXPECT_EQ(box->icon(), QMessageBox::Question);

    WidgetPrompter prompter;
    // Each button by its own click; closing the box (none) keeps the edits.
    const std::pair<QMessageBox::StandardButton, Answer> cases[] = {{QMessageBox::Save, Answer::Save},
                                                                    {QMessageBox::Discard, Answer::Discard},
                                                                    {QMessageBox::Cancel, Answer::Cancel},
                                                                    {QMessageBox::NoButton, Answer::Cancel}};
    for (const auto& [button, answer] : cases) {
        QTimer::singleShot(0, [button = button] {
            auto* asked = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(asked, nullptr);
            if (button == QMessageBox::NoButton)
                asked->reject();
            else
                asked->button(button)->click();
        });
        EXPECT_EQ(prompter.message(unsavedEdits()), answer) << int(button);
    }
}

// Answers every prompt as it shows (Escape), noting the window it came over.
class PromptWatch {
public:
    PromptWatch()
    {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (qobject_cast<QMessageBox*>(modal) || qobject_cast<QInputDialog*>(modal)) {
                over << modal->parentWidget();
                static_cast<QDialog*>(modal)->reject();
            }
        });
        poll_.start(10);
    }
    QList<QWidget*> over;

private:
    QTimer poll_;
};

void activate(QWidget& window)
{
    window.show();
    settle();
    // The offscreen screen activates nothing by itself.
    QApplication::setActiveWindow(&window);
    settle();
    ASSERT_EQ(QApplication::activeWindow(), &window);
}

// A prompt goes over the window the user works in, not over the main window
// the prompter falls back on: the programming window's search, the
// recorded-data window's wrong date. That one is said once, when the date is
// left for another field, not each time the window is activated again.
TEST(WidgetPrompterParent, APromptGoesOverTheWindowInUse)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    WidgetPrompter prompter(&program.window());
    program.window().show();
    PromptWatch prompts;

    ProgrammingWindow programming(programmingWindowNeeds(ctx, prompter));
    activate(programming);
    child<QLineEdit>(&programming, "MaskNumeroSerie")->setFocus(Qt::MouseFocusReason);
    child<QPushButton>(&programming, "SSCommandBuscar")->click();
    settle();
    EXPECT_EQ(prompts.over, QList<QWidget*>{&programming});
    programming.close();

    prompts.over.clear();
    RecordedDataWindow records(recordedDataWindowNeeds(ctx, prompter));
    activate(records);
    auto* date = child<QLineEdit>(&records, "TextFecha");
    date->setFocus(Qt::MouseFocusReason);
    date->setText(QStringLiteral("31/02/10"));
    child<QLineEdit>(&records, "TextLocal")->setFocus(Qt::TabFocusReason);
    settle();
    EXPECT_EQ(prompts.over, QList<QWidget*>{&records});
    EXPECT_EQ(records.focusWidget(), date);
    for (QWidget* window : {static_cast<QWidget*>(&records), static_cast<QWidget*>(&program.window())})
        activate(*window);
    EXPECT_EQ(prompts.over.size(), 1);
}

// The window program started as the desktop starts it, on a private runtime
// folder so that no other run's sockets are seen.
class Programs {
public:
    Programs()
    {
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        saved_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8());
    }
    ~Programs()
    {
        for (auto& p : started_) {
            p->kill();
            p->waitForFinished(5000);
        }
        saved_.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", saved_);
    }

    QProcess& start(const QStringList& arguments, const QString& folder = {})
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env_);
        p->setWorkingDirectory(folder);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(QStringLiteral(TVQ52_BIN_DIR "/tvq52"), arguments);
        EXPECT_TRUE(p->waitForStarted(10000));
        started_.push_back(std::move(p));
        return *started_.back();
    }

private:
    QTemporaryDir runtime_;
    QProcessEnvironment env_;
    QByteArray saved_;
    std::vector<std::unique_ptr<QProcess>> started_;
};

// Whether a program listens on `folder`'s socket within `ms`.
bool listensWithin(const QString& folder, int ms)
{
    const QString socket = SingleInstance::serverName(folder);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < ms) {
        if (QFileInfo(socket).exists())
            return true;
        QThread::msleep(50);
    }
    return false;
}

// Whether `p` is still running after `ms`: a program that kept its window.
bool stillRunningAfter(QProcess& p, int ms)
{
    return !p.waitForFinished(ms) && p.state() == QProcess::Running;
}

} // namespace

TEST(SingleInstance, TheNameIsPerDataFolderAndTheSameThroughALink)
{
    TempHome a;
    TempHome b;
    EXPECT_NE(SingleInstance::serverName(a.path()), SingleInstance::serverName(b.path()));
    ASSERT_TRUE(QFile::link(a.path(), b.file(QStringLiteral("link"))));
    EXPECT_EQ(SingleInstance::serverName(b.file(QStringLiteral("link"))), SingleInstance::serverName(a.path()));
}

// The socket's folder is taken only as this user's alone, and made so when
// missing; anything else, or a path too long for a socket, leaves the
// program on its own and the folder as it was.
TEST(SingleInstance, OnlyAFolderOfThisUsersAloneHoldsTheSocket)
{
    TempHome home;
    const auto mode = [](const QString& path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    const auto made = [](const QString& path, mode_t bits, uid_t owner) {
        QDir().mkdir(path);
        EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), bits), 0);
        EXPECT_EQ(::chown(QFile::encodeName(path).constData(), owner, owner), 0);
        return path;
    };
    // Each lays out the runtime folder and names the socket's folder.
    const std::vector<std::pair<const char*, std::function<QString(const QString&)>>> refused{
        {"open to others", [&](const QString& r) { return made(r + "/tvq52", 0755, ::getuid()); }},
        {"another's", [&](const QString& r) { return made(r + "/tvq52", 0700, 65534); }},
        {"a link",
         [&](const QString& r) {
             QFile::link(made(r + "/mine", 0700, ::getuid()), r + "/tvq52");
             return r + "/tvq52";
         }},
        {"too deep",
         [&](const QString& r) {
             const QString deep = made(r + "/" + QString(90, u'x'), 0700, ::getuid());
             qputenv("XDG_RUNTIME_DIR", deep.toUtf8());
             return made(deep + "/tvq52", 0700, ::getuid());
         }},
    };
    for (const auto& [what, layOut] : refused) {
        // Only root can give a folder away.
        if (::getuid() != 0 && std::string_view(what) == "another's")
            continue;
        Programs programs;
        const QString folder = layOut(qEnvironmentVariable("XDG_RUNTIME_DIR"));
        const int before = mode(folder);
        SingleInstance instance(home.path());
        EXPECT_EQ(instance.claim(), SingleInstance::Claim::Unavailable) << what;
        EXPECT_FALSE(instance.handOver(QString(), 100)) << what;
        EXPECT_FALSE(instance.errorString().isEmpty()) << what;
        EXPECT_EQ(mode(folder), before) << what;
    }
    Programs programs;
    SingleInstance instance(home.path());
    EXPECT_EQ(instance.claim(), SingleInstance::Claim::Taken);
    EXPECT_EQ(mode(QFileInfo(SingleInstance::serverName(home.path())).path()), 0700);
}

namespace {

// Once the import window is up and `ready` holds (or a while has passed),
// the file it imports; the window is closed.
QString importedWhen(StartedProgram& s, const std::function<bool()>& ready)
{
    QString importing;
    int tries = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != QStringLiteral("Form16") || (!ready() && ++tries < 150))
            return;
        settle();
        importing = s.shell->context().SelectedFile;
        modal->close();
    });
    poll.start(20);
    QElapsedTimer waited;
    waited.start();
    while (importing.isEmpty() && waited.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    return importing;
}

} // namespace

// A later start hands over an exchange file named from its own folder, and
// ends: the program imports that file, and closing the import window after
// the later start has gone keeps it running. The connection is answered and
// let go before the window opens, even when the other end stays.
TEST(SingleInstance, AHandedOverFileOpensOnceTheLaterStartIsAnswered)
{
    Programs programs;
    StartedProgram s;
    SingleInstance instance(s.home.path());
    ASSERT_EQ(instance.claim(), SingleInstance::Claim::Taken);
    QObject::connect(&instance, &SingleInstance::received, s.shell.get(), &ApplicationShell::openArgument);
    TempHome elsewhere;
    elsewhere.writeFile(QStringLiteral("otro bar.TQ52"), "//Programacion//\r\n");
    const QString file = elsewhere.file(QStringLiteral("otro bar.TQ52"));
    QProcess& later = programs.start({"--home", s.home.path(), "otro", "bar.TQ52"}, elsewhere.path());
    EXPECT_EQ(importedWhen(s, [&] { return later.state() == QProcess::NotRunning; }), file);
    EXPECT_EQ(later.exitCode(), 0) << later.readAll().toStdString();

    QLocalSocket client;
    client.connectToServer(SingleInstance::serverName(s.home.path()));
    client.write(file.toUtf8() + '\n');
    EXPECT_EQ(importedWhen(s, [&] { return client.state() == QLocalSocket::UnconnectedState; }), file);
    EXPECT_EQ(client.state(), QLocalSocket::UnconnectedState);
    EXPECT_EQ(client.readAll(), "taken\n");
    EXPECT_TRUE(s.prompter.shown().isEmpty());
}

// The other end's user is asked of the system: another user's connection is
// told apart from this user's own.
TEST(SingleInstance, OnlyThisUsersConnectionsAreTaken)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "only root can connect as another user";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // An abstract name: no file whose mode would keep the other user out.
    std::snprintf(address.sun_path + 1, sizeof address.sun_path - 1, "tvq52-peer-%d", int(::getpid()));
    const auto size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + std::strlen(address.sun_path + 1));
    auto* named = reinterpret_cast<sockaddr*>(&address);
    ASSERT_EQ(::bind(listener, named, size), 0);
    ASSERT_EQ(::listen(listener, 2), 0);
    for (const uid_t user : {::getuid(), uid_t(65534)}) {
        const pid_t child = fork();
        if (child == 0)
            _exit(::setuid(user) == 0 && ::connect(::socket(AF_UNIX, SOCK_STREAM, 0), named, size) == 0 ? 0 : 1);
        int status = -1;
        ASSERT_TRUE(::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
        const int accepted = ::accept(listener, nullptr, nullptr);
        EXPECT_EQ(SingleInstance::peerIsThisUser(accepted), user == ::getuid()) << user;
        ::close(accepted);
    }
    ::close(listener);
}

// Two real programs: the second start on the same data folder hands its
// argument over and ends; another data folder runs a program of its own;
// after the first is killed outright, a new start takes the folder over.
TEST(SingleInstance, ALaterStartHandsItsArgumentToTheRunningProgram)
{
    Programs programs;
    TempHome home;
    TempHome other;
    QProcess& first = programs.start({"--home", home.path()});
    ASSERT_TRUE(listensWithin(home.path(), 30000)) << first.readAll().toStdString();

    QProcess& second = programs.start({"--home", home.path(), "4711"});
    ASSERT_TRUE(second.waitForFinished(20000)) << "the second start did not end";
    EXPECT_EQ(second.exitCode(), 0) << second.readAll().toStdString();
    QProcess& third = programs.start({"--home", home.path()});
    ASSERT_TRUE(third.waitForFinished(20000));
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    // Another data folder, another program.
    QProcess& elsewhere = programs.start({"--home", other.path()});
    EXPECT_TRUE(listensWithin(other.path(), 30000));
    EXPECT_TRUE(stillRunningAfter(elsewhere, 500));

    // Killed without a chance to tidy up: its socket and lock stay behind.
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(10000));
    ASSERT_TRUE(QFileInfo::exists(SingleInstance::serverName(home.path())));
    QProcess& heir = programs.start({"--home", home.path()});
    EXPECT_TRUE(stillRunningAfter(heir, 3000)) << heir.readAll().toStdString();
    // ... and it is the one that takes what comes next.
    QProcess& next = programs.start({"--home", home.path(), "4711"});
    ASSERT_TRUE(next.waitForFinished(20000));
    EXPECT_EQ(next.exitCode(), 0);
    EXPECT_EQ(heir.state(), QProcess::Running);
}

namespace {

// SQLite's lock bytes (unix VFS): the readers' range of the database file,
// and the byte of the -shm file every open connection holds.
constexpr off_t kSharedFirst = 0x40000002;
constexpr off_t kSharedBytes = 510;
constexpr off_t kShmOpenByte = 128;

enum class Holder { Nobody, ThisProcess, Another, Unknown };

// Asked from another process, as another program would meet the lock: a
// descriptor opened and closed here would itself drop this process's locks.
Holder lockHolder(const QString& path, off_t start, off_t length)
{
    const QByteArray file = QFile::encodeName(path);
    const pid_t child = fork();
    if (child == 0) {
        const int fd = ::open(file.constData(), O_RDWR);
        struct flock wanted {};
        wanted.l_type = F_WRLCK;
        wanted.l_whence = SEEK_SET;
        wanted.l_start = start;
        wanted.l_len = length;
        if (fd < 0 || fcntl(fd, F_GETLK, &wanted) != 0)
            _exit(9);
        _exit(wanted.l_type == F_UNLCK ? 0 : wanted.l_pid == getppid() ? 1 : 2);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return Holder::Unknown;
    switch (WEXITSTATUS(status)) {
    case 0:
        return Holder::Nobody;
    case 1:
        return Holder::ThisProcess;
    case 2:
        return Holder::Another;
    default:
        return Holder::Unknown;
    }
}

// Whether this process still holds what keeps other programs from taking
// the database or its write-ahead log away.
::testing::AssertionResult holdsDatabaseLocks(const QString& home)
{
    const QString db = databasePath(home);
    const Holder file = lockHolder(db, kSharedFirst, kSharedBytes);
    const Holder shm = lockHolder(db + QStringLiteral("-shm"), kShmOpenByte, 1);
    if (file == Holder::ThisProcess && shm == Holder::ThisProcess)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "database lock " << int(file) << ", -shm lock " << int(shm)
                                         << " (0 nobody, 1 this process, 2 another, 3 unknown)";
}

// Cancels the file dialog that is about to run once it has listed `folder`
// with its types and icons; `listed` tells whether it got that far.
void cancelWhenListed(const QString& folder, bool* listed, QString* title)
{
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << "no file dialog";
        *title = dialog->windowTitle();
        dialog->setDirectory(folder);
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        QElapsedTimer waited;
        waited.start();
        bool seen = false;
        while (!seen && waited.elapsed() < 10000) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            // The folder's entries arrive in one batch, the ones the filter
            // hides (the database under "*.pdf") with the rest.
            const QModelIndex root = model->index(model->rootPath());
            seen = model->rootPath() == folder && model->rowCount(root) > 0
                && !model->type(model->index(0, 0, root)).isEmpty();
        }
        // The rows drawn, as the user sees them, and whatever the list
        // still had to learn about them.
        dialog->grab();
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        *listed = seen;
        dialog->reject();
    });
}

// The program as the user starts it, with Qt's dialogs.
struct WindowOnItsFolder {
    TempHome home;
    std::unique_ptr<ApplicationShell> shell;

    WindowOnItsFolder()
    {
        home.provision();
        // A folder of the user's own, which every filter lists: the dialog
        // has a row to show and tell the type of.
        QDir(home.path()).mkdir(QStringLiteral("informes"));
        shell = std::make_unique<ApplicationShell>(home.path(), QString());
        shell->start();
    }
};

QProcessEnvironment offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

QString runCli(const QString& home, const QStringList& args, int* exitCode)
{
    QProcess p;
    p.setProcessEnvironment(offscreen());
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"), QStringList{"--home", home} + args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
    }
    *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

} // namespace

TEST(FileDialogs, EveryDialogOnTheDataFolderLeavesTheDatabaseLocksInPlace)
{
    if (test::onServerBackend())
        GTEST_SKIP() << "the records are on the server";
    WindowOnItsFolder w;
    const QString home = w.home.path();
    ASSERT_TRUE(w.shell->context().db);
    ASSERT_TRUE(holdsDatabaseLocks(home)) << "the open database holds its locks to begin with";

    // The main window's file button, cancelled.
    bool listed = false;
    QString title;
    cancelWhenListed(home, &listed, &title);
    w.shell->mainWindow()->button("SSCommand1")->click();
    EXPECT_TRUE(listed);
    EXPECT_TRUE(title.startsWith(QStringLiteral("Abrir"))) << title.toStdString();
    EXPECT_TRUE(holdsDatabaseLocks(home)) << "after the file button";

    // The save dialogs of the reports, the grids, the graph and the export
    // all go through the prompter; each with its own filter.
    WidgetPrompter prompter(w.shell->mainWindow());
    for (const QString& filter : {QStringLiteral("PDF (*.pdf)"), QStringLiteral("Archivos CSV (*.csv)"),
                                  QStringLiteral("PNG (*.png)"), QStringLiteral("VORTA MERIAL TVQ52 File (*.tq52)")}) {
        listed = false;
        cancelWhenListed(home, &listed, &title);
        EXPECT_TRUE(prompter.saveFile(QStringLiteral("Guardar"), {filter}, home).isEmpty());
        EXPECT_TRUE(listed) << filter.toStdString();
        EXPECT_TRUE(holdsDatabaseLocks(home)) << "after saving as " << filter.toStdString();
    }
    listed = false;
    cancelWhenListed(home, &listed, &title);
    EXPECT_TRUE(prompter.openFile(QStringLiteral("Abrir"), {QStringLiteral("Todos los archivos (*)")}, home).isEmpty());
    EXPECT_TRUE(holdsDatabaseLocks(home)) << "after opening any file";

    // A file dialog that Qt opens by itself (the print dialog's choice of a file).
    listed = false;
    cancelWhenListed(home, &listed, &title);
    EXPECT_TRUE(
        QFileDialog::getSaveFileName(w.shell->mainWindow(), QStringLiteral("Imprimir en un archivo"), home).isEmpty());
    EXPECT_TRUE(listed);
    EXPECT_TRUE(holdsDatabaseLocks(home)) << "after Qt's own file dialog";
}

TEST(FileDialogs, AfterTheFileButtonOtherProgramsShareTheDatabaseAndItStaysSound)
{
    if (test::onServerBackend())
        GTEST_SKIP() << "the records are on the server";
    TempHome source;
    source.provision();
    {
        auto db = source.openDatabase();
        Store store(*db);
        ASSERT_TRUE(store.insert(QStringLiteral("Programacion"),
                                 row({{"LNumeroSerie", 4711}, {"TVersion", "4.0"}, {"TLocal", "Sala Apolo"}})));
    }
    int exitCode = -1;
    const QString exchangeFile = source.file(QStringLiteral("4711.TQ52"));
    const QString exported = runCli(source.path(), {"export", exchangeFile, "4711"}, &exitCode);
    ASSERT_EQ(exitCode, 0) << exported.toStdString();

    WindowOnItsFolder w;
    const QString home = w.home.path();
    bool listed = false;
    QString title;
    cancelWhenListed(home, &listed, &title);
    w.shell->mainWindow()->button("SSCommand1")->click();
    ASSERT_TRUE(listed);

    // Another program opens and closes the database, then imports into it.
    const QString journal = runCli(home, {"journal"}, &exitCode);
    EXPECT_EQ(exitCode, 0) << journal.toStdString();
    const QString imported = runCli(home, {"import", exchangeFile}, &exitCode);
    EXPECT_EQ(exitCode, 0) << imported.toStdString();

    // The window writes after them, and another program sees it.
    Store windowStore(*w.shell->context().db);
    ASSERT_TRUE(test::succeeded(windowStore.insert(
        QStringLiteral("Programacion"), row({{"LNumeroSerie", 815}, {"TVersion", "4.0"}, {"TLocal", "Bar Miramar"}}))));
    const QString seenFile = source.file(QStringLiteral("815.TQ52"));
    const QString seen = runCli(home, {"export", seenFile, "815"}, &exitCode);
    EXPECT_EQ(exitCode, 0) << seen.toStdString();
    EXPECT_TRUE(tvq52::test::readBytes(seenFile).contains("Bar Miramar"))
        << "unit 815 is stored for other programs too";

    // The window closes; the file is sound and holds both.
    w.shell->mainWindow()->button("SSCommandExit")->click();
    w.shell.reset();
    auto check = w.home.openDatabase();
    ASSERT_TRUE(check);
    QSqlQuery q(check->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA integrity_check")));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), QStringLiteral("ok"));
    q.finish();
    Store store(*check);
    EXPECT_EQ(test::take(store.count(QStringLiteral("Programacion"), row({{"LNumeroSerie", 4711}}))), 1);
    EXPECT_EQ(test::take(store.count(QStringLiteral("Programacion"), row({{"LNumeroSerie", 815}}))), 1);
}
