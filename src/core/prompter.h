#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tvq52 {

// Message box styles: the icon and buttons a message is shown with. The
// numbers are the usual message-box style codes (icon + button set).
enum class MessageStyle {
    Plain = 0,
    OkCancelQuestion = 33,
    YesNoQuestion = 36,
    Exclamation = 48,
    Critical = 16,
    OkCancelInformation = 65,
    Information = 64,
    // Unsaved edits: Save, Discard or Cancel (which keeps the window and
    // the edits as they are).
    SaveDiscardCancel = 35,
};

enum class Answer { Ok, Cancel, Yes, No, Save, Discard };

// What the user was shown; catalogueId is 0 for texts not from the catalogue.
// A question that destroys data names Cancel (or No) as its default, so that
// Enter or a hasty click keeps the data; otherwise OK (or Yes) is the default.
struct Message {
    QString text;
    QString title;
    MessageStyle style = MessageStyle::Plain;
    int catalogueId = 0;
    std::optional<Answer> defaultAnswer;
    // What filled the catalogue text's %1.., so that it can be told again
    // in another language.
    QStringList arguments = {};
};

// The one way workflows talk to the user: Qt dialogs in the GUI, a console in
// the CLI, a script in tests.
class Prompter {
public:
    virtual ~Prompter() = default;

    virtual Answer message(const Message& message) = 0;
    // Returns nothing when the user cancels. A box with `maxLength` (0: any
    // length) takes no more characters than that.
    virtual std::optional<QString> input(const QString& prompt, const QString& title, const QString& defaultText,
                                         int maxLength = 0) = 0;
    // A password: the entry is not shown as it is typed. Nothing when the
    // user cancels.
    virtual std::optional<QString> secret(const QString& prompt, const QString& title)
    {
        return input(prompt, title, QString());
    }
    // Empty when cancelled. filters as in Qt: "Exchange files (*.TQ52)".
    virtual QString openFile(const QString& title, const QStringList& filters, const QString& directory) = 0;
    virtual QString saveFile(const QString& title, const QStringList& filters, const QString& directory) = 0;

    Answer show(const QString& text, MessageStyle style, const QString& title = {});
};

// Passes everything on to another prompter; a wrapper overrides what it
// answers or keeps itself.
class ForwardingPrompter : public Prompter {
public:
    explicit ForwardingPrompter(Prompter& inner) : inner_(inner) {}

    Answer message(const Message& message) override { return inner_.message(message); }
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& defaultText,
                                 int maxLength = 0) override
    {
        return inner_.input(prompt, title, defaultText, maxLength);
    }
    std::optional<QString> secret(const QString& prompt, const QString& title) override
    {
        return inner_.secret(prompt, title);
    }
    QString openFile(const QString& title, const QStringList& filters, const QString& directory) override
    {
        return inner_.openFile(title, filters, directory);
    }
    QString saveFile(const QString& title, const QStringList& filters, const QString& directory) override
    {
        return inner_.saveFile(title, filters, directory);
    }

private:
    Prompter& inner_;
};

// Puts catalogue text `catalogueId` to the user and returns the answer:
// lets a layer that does not know the texts ask its questions.
using AskCatalogue = std::function<Answer(int catalogueId, MessageStyle style)>;

} // namespace tvq52
