#pragma once

#include "core/prompter.h"

#include <memory>

class QMessageBox;
class QWidget;

namespace tvq52 {

// Shows the prompts as Qt dialogs with the icon and buttons of their style,
// over the window the user is working in.
class WidgetPrompter : public Prompter {
public:
    explicit WidgetPrompter(QWidget* parent = nullptr);
    // The window a prompt goes over when none of the program's is in use.
    void setParent(QWidget* parent) { parent_ = parent; }
    // The modal dialog or window in use, else the program's window used
    // last, else the one given to setParent().
    QWidget* dialogParent() const;
    // File dialogs open in the folder last chosen, kept in this data
    // folder's settings file, and never in the data folder itself. A bare
    // file name given as the directory is proposed in that folder.
    void setDataFolder(const QString& folder) { dataFolder_ = folder; }

    // The box `message` shows, with the icon and buttons of its style.
    static std::unique_ptr<QMessageBox> createMessageBox(const Message& message, QWidget* parent);

    Answer message(const Message& message) override;
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& defaultText,
                                 int maxLength = 0) override;
    std::optional<QString> secret(const QString& prompt, const QString& title) override;
    QString openFile(const QString& title, const QStringList& filters, const QString& directory) override;
    QString saveFile(const QString& title, const QStringList& filters, const QString& directory) override;

private:
    QString chooseFile(int acceptMode, const QString& title, const QStringList& filters, const QString& directory);

    QString lastFolder() const;
    void rememberFolder(const QString& chosenFile);

    QWidget* parent_;
    QString dataFolder_;
    QString lastFolder_; // without a data folder: for this run only
};

} // namespace tvq52
