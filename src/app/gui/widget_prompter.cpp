#include "app/gui/widget_prompter.h"

#include "app/data_folder.h"
#include "app/recent_files.h"

#include "app/gui/file_dialogs.h"
#include "core/application_info.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>

namespace tvq52 {

namespace {

// Lines with tabs are label/value listings (the comparison of two
// programmings): shown as a table so the columns line up.
QString tabbedAsTable(const QString& text)
{
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QStringList cells = line.split(QLatin1Char('\t'));
        html += QStringLiteral("<tr>");
        for (int i = 0; i < cells.size(); ++i) {
            const QString span =
                (i == cells.size() - 1 && cells.size() < 3) ? QStringLiteral(" colspan=\"%1\"").arg(3 - i) : QString();
            html += QStringLiteral("<td%1 style=\"padding-right:12px; white-space:pre\">%2</td>")
                        .arg(span, cells[i].toHtmlEscaped());
        }
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QMessageBox::StandardButton standardButtonOf(Answer answer)
{
    switch (answer) {
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::Yes:
        return QMessageBox::Yes;
    case Answer::No:
        return QMessageBox::No;
    case Answer::Save:
        return QMessageBox::Save;
    case Answer::Discard:
        return QMessageBox::Discard;
    case Answer::Ok:
        break;
    }
    return QMessageBox::Ok;
}

// Remembers the program's window activated last, not counting the prompts
// themselves: a download's end message goes over the window it ran in even
// while another program has the focus.
class WindowInUse final : public QObject {
public:
    using QObject::QObject;
    static WindowInUse* instance()
    {
        static QPointer<WindowInUse> watcher;
        if (!watcher && qApp) {
            watcher = new WindowInUse(qApp);
            qApp->installEventFilter(watcher);
        }
        return watcher;
    }
    QPointer<QWidget> last;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->isWindow() && !qobject_cast<QMessageBox*>(w) && !qobject_cast<QInputDialog*>(w)
                && !qobject_cast<QFileDialog*>(w))
                last = w;
        }
        return false;
    }
};

bool canCarryDialog(const QWidget* w)
{
    return w && w->isVisible() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip;
}

} // namespace

WidgetPrompter::WidgetPrompter(QWidget* parent) : parent_(parent)
{
    WindowInUse::instance();
}

QWidget* WidgetPrompter::dialogParent() const
{
    for (QWidget* w : {QApplication::activeModalWidget(), QApplication::activeWindow()})
        if (canCarryDialog(w))
            return w;
    if (WindowInUse* watcher = WindowInUse::instance(); watcher && canCarryDialog(watcher->last))
        return watcher->last;
    return parent_;
}

std::unique_ptr<QMessageBox> WidgetPrompter::createMessageBox(const Message& m, QWidget* parent)
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(m.title.isEmpty() ? QString::fromLatin1(kApplicationTitle) : m.title);
    // Texts from the catalogue use CR for line breaks.
    QString text = m.text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.contains(QLatin1Char('\t'))) {
        box->setTextFormat(Qt::RichText);
        box->setText(tabbedAsTable(text));
    } else {
        box->setTextFormat(Qt::PlainText);
        box->setText(text);
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::NoButton;
    switch (m.style) {
    case MessageStyle::Critical:
        icon = QMessageBox::Critical;
        break;
    case MessageStyle::Exclamation:
        icon = QMessageBox::Warning;
        break;
    case MessageStyle::Information:
        icon = QMessageBox::Information;
        break;
    case MessageStyle::OkCancelInformation:
        icon = QMessageBox::Information;
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    case MessageStyle::OkCancelQuestion:
        icon = QMessageBox::Question;
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    case MessageStyle::YesNoQuestion:
        icon = QMessageBox::Question;
        buttons = QMessageBox::Yes | QMessageBox::No;
        escape = QMessageBox::No;
        break;
    case MessageStyle::SaveDiscardCancel:
        icon = QMessageBox::Question;
        buttons = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    case MessageStyle::Plain:
        break;
    }
    box->setIcon(icon);
    box->setStandardButtons(buttons);
    if (escape != QMessageBox::NoButton)
        box->setEscapeButton(escape);
    if (m.defaultAnswer) {
        if (QAbstractButton* b = box->button(standardButtonOf(*m.defaultAnswer)))
            box->setDefaultButton(qobject_cast<QPushButton*>(b));
    }
    return box;
}

Answer WidgetPrompter::message(const Message& m)
{
    const auto box = createMessageBox(m, dialogParent());
    switch (box->exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Save:
        return Answer::Save;
    case QMessageBox::Discard:
        return Answer::Discard;
    default:
        // A Yes/No box closed from its title bar answers No; the edits'
        // question closed so keeps them.
        if (m.style == MessageStyle::SaveDiscardCancel)
            return Answer::Cancel;
        return m.style == MessageStyle::YesNoQuestion ? Answer::No : Answer::Ok;
    }
}

std::optional<QString> WidgetPrompter::input(const QString& prompt, const QString& title, const QString& defaultText,
                                             int maxLength)
{
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(defaultText);
    // The box itself refuses what does not fit, so nothing is cut later.
    if (maxLength > 0)
        if (auto* edit = dialog.findChild<QLineEdit*>())
            edit->setMaxLength(maxLength);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> WidgetPrompter::secret(const QString& prompt, const QString& title)
{
    bool ok = false;
    const QString text = QInputDialog::getText(dialogParent(), title, prompt,
                                               QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString WidgetPrompter::openFile(const QString& title, const QStringList& filters, const QString& directory)
{
    return chooseFile(QFileDialog::AcceptOpen, title, filters, directory);
}

QString WidgetPrompter::saveFile(const QString& title, const QStringList& filters, const QString& directory)
{
    return chooseFile(QFileDialog::AcceptSave, title, filters, directory);
}

QString WidgetPrompter::chooseFile(int acceptMode, const QString& title, const QStringList& filters,
                                   const QString& directory)
{
    const QStringList lists = caseBlindFilters(filters);
    QFileDialog dialog(dialogParent(), title,
                       fileDialogStart(directory, lastFolder(), dataFolder_), lists.join(QLatin1String(";;")));
    // Qt's own dialog, whose list goes by file names: a desktop's dialog
    // would run in this process and read the open database to tell its type.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptMode(acceptMode));
    dialog.setFileMode(acceptMode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // A name typed without its extension gets the first list's.
    static const QRegularExpression firstExtension(QStringLiteral("\\(\\*\\.([A-Za-z0-9]+)"));
    if (const auto m = firstExtension.match(filters.value(0)); m.hasMatch() && acceptMode == QFileDialog::AcceptSave)
        dialog.setDefaultSuffix(m.captured(1));
    listFilesByNameOnly(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QString chosen = dialog.selectedFiles().value(0);
    rememberFolder(chosen);
    return chosen;
}

QString WidgetPrompter::lastFolder() const
{
    return dataFolder_.isEmpty() ? lastFolder_ : RecentFiles(settingsPath(dataFolder_)).lastFolder();
}

void WidgetPrompter::rememberFolder(const QString& chosenFile)
{
    const QString folder = QFileInfo(chosenFile).absolutePath();
    lastFolder_ = folder;
    // Not worth a message: the next dialog merely opens elsewhere.
    if (!dataFolder_.isEmpty() && QFileInfo::exists(settingsPath(dataFolder_)))
        (void)RecentFiles(settingsPath(dataFolder_)).setLastFolder(folder);
}

} // namespace tvq52
