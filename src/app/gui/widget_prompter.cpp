#include "app/gui/widget_prompter.h"

#include "app/startup.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace tvq52 {

Answer WidgetPrompter::message(const Message& m)
{
    QMessageBox box(parent_ ? parent_ : QApplication::activeWindow());
    box.setWindowTitle(m.title.isEmpty() ? QString::fromLatin1(kApplicationTitle) : m.title);
    // Texts from the catalogue use CR for line breaks.
    QString text = m.text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(text);
    switch (m.style) {
    case MessageStyle::Critical:
        box.setIcon(QMessageBox::Critical);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageStyle::Exclamation:
        box.setIcon(QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageStyle::Information:
        box.setIcon(QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageStyle::OkCancelInformation:
        box.setIcon(QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageStyle::OkCancelQuestion:
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageStyle::YesNoQuestion:
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MessageStyle::Plain:
        box.setIcon(QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        // Closing a Yes/No box with Escape means No.
        return m.style == MessageStyle::YesNoQuestion ? Answer::No
            : (m.style == MessageStyle::OkCancelInformation || m.style == MessageStyle::OkCancelQuestion)
                && box.clickedButton() == nullptr ? Answer::Cancel : Answer::Ok;
    }
}

std::optional<QString> WidgetPrompter::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent_ ? parent_ : QApplication::activeWindow(), title, prompt,
                                               QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString WidgetPrompter::openFile(const QString& title, const QStringList& filters, const QString& directory)
{
    return QFileDialog::getOpenFileName(parent_ ? parent_ : QApplication::activeWindow(), title, directory,
                                        filters.join(QLatin1String(";;")));
}

QString WidgetPrompter::saveFile(const QString& title, const QStringList& filters, const QString& directory)
{
    return QFileDialog::getSaveFileName(parent_ ? parent_ : QApplication::activeWindow(), title, directory,
                                        filters.join(QLatin1String(";;")));
}

} // namespace tvq52
