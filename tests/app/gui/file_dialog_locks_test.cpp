#include "app/data_folder.h"
#include "app/gui/widget_prompter.h"
#include "db/store.h"
#include "support/rows.h"
#include "support/started_program.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QProcess>
#include <QSqlQuery>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tvq52;
using namespace tvq52::test;

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
    ASSERT_TRUE(windowStore.insert(QStringLiteral("Programacion"),
                                   row({{"LNumeroSerie", 815}, {"TVersion", "4.0"}, {"TLocal", "Bar Miramar"}})))
        << windowStore.lastError().toStdString();
    const QString seenFile = source.file(QStringLiteral("815.TQ52"));
    const QString seen = runCli(home, {"export", seenFile, "815"}, &exitCode);
    EXPECT_EQ(exitCode, 0) << seen.toStdString();
    QFile written(seenFile);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("Bar Miramar")) << "unit 815 is stored for other programs too";

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
    EXPECT_EQ(store.count(QStringLiteral("Programacion"), row({{"LNumeroSerie", 4711}})), 1);
    EXPECT_EQ(store.count(QStringLiteral("Programacion"), row({{"LNumeroSerie", 815}})), 1);
}
