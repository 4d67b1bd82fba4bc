#pragma once

#include "core/prompter.h"

#include <memory>

class QMessageBox;
class QWidget;

namespace tvq52 {

// Shows the prompts as Qt dialogs with the icon and buttons of their style.
class WidgetPrompter : public Prompter {
public:
    explicit WidgetPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    // The box `message` shows, with the icon and buttons of its style.
    static std::unique_ptr<QMessageBox> createMessageBox(const Message& message, QWidget* parent);

    Answer message(const Message& message) override;
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& defaultText) override;
    std::optional<QString> secret(const QString& prompt, const QString& title) override;
    QString openFile(const QString& title, const QStringList& filters, const QString& directory) override;
    QString saveFile(const QString& title, const QStringList& filters, const QString& directory) override;

private:
    QString chooseFile(int acceptMode, const QString& title, const QStringList& filters, const QString& directory);

    QWidget* parent_;
};

} // namespace tvq52
