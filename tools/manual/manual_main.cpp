// tvq52-manual: makes the user's manual of the build. For each of the seven
// languages it opens the program on a demo data folder, takes pictures of its
// real windows and writes the manual's pages with the window texts of that
// language put in, so that pages and pictures never drift from the program.
//
//   tvq52-manual --home DEMO --pages SOURCE-DIR --out HELP-DIR
//
// SOURCE-DIR holds one folder per language (ESP, ENG, ...) of pages, where
// {{Native text}} stands for that text of the windows in the page's language,
// and the shared style sheet help.css. Pictures are written beside each
// language's pages under pictures/, each with the objectName of the window it
// shows as its "Window" text, which the manual's test compares with the page.

#include "app/gui/application_shell.h"
#include "app/gui/communication_dialog.h"
#include "app/gui/database_dialog.h"
#include "app/gui/language_dialog.h"
#include "app/gui/main_window.h"
#include "app/gui/signing_dialog.h"
#include "app/ini_file.h"
#include "app/language_table.h"
#include "core/command_line_parser.h"
#include "core/prompter.h"
#include "manual_pages.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

namespace tvq52 {
namespace {

// Answers every question with its safe default, so no dialog waits for a
// person; what it was told goes to standard error, so a failing build says why.
class QuietPrompter : public Prompter {
public:
    Answer message(const Message& m) override
    {
        std::fprintf(stderr, "tvq52-manual: %s\n", qPrintable(m.text));
        if (m.defaultAnswer)
            return *m.defaultAnswer;
        switch (m.style) {
        case MessageStyle::YesNoQuestion:
            return Answer::No;
        case MessageStyle::OkCancelQuestion:
        case MessageStyle::OkCancelInformation:
        case MessageStyle::SaveDiscardCancel:
            return Answer::Cancel;
        default:
            return Answer::Ok;
        }
    }
    std::optional<QString> input(const QString&, const QString&, const QString&, int) override { return {}; }
    QString openFile(const QString&, const QStringList&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QStringList&, const QString&) override { return {}; }
};

void settle()
{
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
}

QWidget* shownWindow(const QString& objectName)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == objectName)
            return w;
    return nullptr;
}

class Camera {
public:
    explicit Camera(QString folder) : folder_(std::move(folder)) { QDir().mkpath(folder_); }

    // Opens a window with `open` (which may run it modally) and keeps the
    // picture of the window called `objectName` as `name`.png.
    void take(const QString& name, const QString& objectName, const std::function<void()>& open,
              bool leaveOpen = false)
    {
        bool taken = false;
        auto shoot = [&] {
            QWidget* w = shownWindow(objectName);
            if (!w || taken)
                return;
            taken = true; // before settling, which runs this again
            QPointer<QWidget> window(w);
            settle();
            if (!window)
                return;
            save(*w, name);
            if (leaveOpen)
                return;
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isModal())
                d->reject();
            else
                w->close();
        };
        // Some windows come up a little later (after a progress panel), so
        // look again until the window shows; a window that never does must
        // not leave a modal dialog waiting for a click no one makes.
        QTimer poll;
        poll.setInterval(50);
        int looks = 0;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            shoot();
            if (taken || ++looks < 200)
                return;
            poll.stop();
            if (QWidget* modal = QApplication::activeModalWidget()) {
                std::fprintf(stderr, "tvq52-manual: %s: %s came up instead\n", qPrintable(name),
                             qPrintable(modal->objectName()));
                modal->close();
            }
        });
        poll.start();
        open();
        settle();
        shoot();
        poll.stop();
        if (!taken)
            failures_ << name;
    }

    // A dialog made here, shown for its picture.
    void show(QWidget& w, const QString& name)
    {
        w.show();
        settle();
        save(w, name);
        w.hide();
    }

    void save(QWidget& w, const QString& name)
    {
        QImage picture = w.grab().toImage();
        picture.setText(QStringLiteral("Window"), w.objectName());
        if (!picture.save(QDir(folder_).filePath(name + QStringLiteral(".png"))))
            failures_ << name;
    }

    const QStringList& failures() const { return failures_; }

private:
    QString folder_;
    QStringList failures_;
};

void click(QWidget* w, const char* button)
{
    if (QPushButton* b = w ? w->findChild<QPushButton*>(QString::fromLatin1(button)) : nullptr)
        b->click();
}

// The windows of one language, as a user meets them.
QStringList takePictures(const QString& home, const QString& folder)
{
    QuietPrompter prompter;
    ApplicationShell shell(home, QString(), &prompter);
    shell.start();
    MainWindow* main = shell.mainWindow();
    if (!main)
        return {QStringLiteral("main-window")};
    main->resize(main->sizeHint());
    main->show();
    settle();
    AppContext& ctx = shell.context();
    Camera camera(folder);
    camera.save(*main, QStringLiteral("main-window"));
    {
        CommunicationDialog d(ctx, prompter, main);
        camera.show(d, QStringLiteral("communication"));
    }
    {
        LanguageDialog d(ctx, main);
        camera.show(d, QStringLiteral("language"));
    }
    {
        DatabaseDialog d(ctx, prompter, main);
        camera.show(d, QStringLiteral("database"));
    }
    {
        SigningDialog d(ctx, prompter, main);
        camera.show(d, QStringLiteral("signing"));
    }
    camera.take(QStringLiteral("programming"), QStringLiteral("Form2"),
                [&] { click(main, "SSCommandProgramacion"); });
    camera.take(QStringLiteral("recorded-data"), QStringLiteral("Form5"),
                [&] { click(main, "SSCommandIncidencias"); }, true);
    QWidget* records = shownWindow(QStringLiteral("Form5"));
    camera.take(QStringLiteral("journal"), QStringLiteral("FormDiario"), [&] { click(records, "SSCommandDiario"); });
    camera.take(QStringLiteral("graph"), QStringLiteral("Form9"), [&] { click(records, "SSCommandGrafica"); });
    camera.take(QStringLiteral("report"), QStringLiteral("Form6"), [&] { click(records, "SSCommandImprimir"); });
    if (records)
        records->close();
    settle();
    main->close();
    settle();
    return camera.failures();
}

int run(const QStringList& arguments)
{
    const OptionSpec options[] = {{QStringLiteral("--home"), QStringLiteral("DIR")},
                                  {QStringLiteral("--pages"), QStringLiteral("DIR")},
                                  {QStringLiteral("--out"), QStringLiteral("DIR")}};
    const ParsedWords parsed = parseWords(arguments, options);
    const QString home = parsed.value(QStringLiteral("--home"));
    const QString pages = parsed.value(QStringLiteral("--pages"));
    const QString out = parsed.value(QStringLiteral("--out"));
    if (parsed.fault || !parsed.arguments.isEmpty() || home.isEmpty() || pages.isEmpty() || out.isEmpty()) {
        std::fprintf(stderr, "usage: tvq52-manual --home DIR --pages DIR --out DIR\n");
        return 2;
    }
    int failed = 0;
    for (const LanguageInfo& language : languageTable()) {
        const QString stem = helpFolderName(language.code);
        const QString folder = QDir(out).filePath(stem);
        if (!WriteSetting(QStringLiteral("Configuration"), QStringLiteral("Language"),
                          QString::fromLatin1(language.localeId), QDir(home).filePath(QStringLiteral("tvq52.ini")))) {
            std::fprintf(stderr, "tvq52-manual: cannot set the language in %s\n", qPrintable(home));
            return 1;
        }
        const QStringList missing = takePictures(home, QDir(folder).filePath(QStringLiteral("pictures")));
        for (const QString& name : missing)
            std::fprintf(stderr, "tvq52-manual: %s: no picture of %s\n", qPrintable(stem), qPrintable(name));
        failed += int(missing.size());
        // The window texts come from a shell in the same language.
        QuietPrompter prompter;
        ApplicationShell shell(home, QString(), &prompter);
        shell.start();
        const Status written = writeManualPages(QDir(pages).filePath(stem), folder, shell.context().translator);
        if (!written) {
            std::fprintf(stderr, "tvq52-manual: %s: %s\n", qPrintable(stem), qPrintable(written.error().detail));
            ++failed;
        }
        if (shell.mainWindow())
            shell.mainWindow()->close();
        settle();
    }
    const QString style = QDir(out).filePath(QStringLiteral("help.css"));
    QFile::remove(style);
    if (!QFile::copy(QDir(pages).filePath(QStringLiteral("help.css")), style))
        ++failed;
    return failed == 0 ? 0 : 1;
}

} // namespace
} // namespace tvq52

namespace {

QtMessageHandler standardHandler = nullptr;

// The offscreen platform says, for every window, what it cannot do.
void quietPlatform(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (standardHandler)
        standardHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char** argv)
{
    standardHandler = qInstallMessageHandler(quietPlatform);
    QApplication app(argc, argv);
    return tvq52::run(QApplication::arguments().mid(1));
}
