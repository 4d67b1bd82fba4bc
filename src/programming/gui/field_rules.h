#pragma once

#include <QHash>
#include <QObject>
#include <functional>

class QLineEdit;
class QValidator;
class QWidget;

namespace tvq52 {

// The keyboard and focus rules of an editing window's fields: which keys a
// field takes, what runs when the user leaves or enters it, and the message
// that sends the focus back. One object per window, installed on the fields
// it watches.
class FieldRules : public QObject {
    Q_OBJECT
public:
    enum class Keys {
        Free,     // every key goes through
        NoBlanks, // a typed blank is discarded
        Locked,   // typing is discarded but still counts as an edit
        Shown,    // typing is discarded and is no edit
        Signed,   // every key, a minus sign too: the field holds values below zero
    };

    FieldRules(QWidget* window, std::function<void()> edited);

    // "+" and "-" are discarded in every watched field ("-" but in a Signed one).
    void discardSigns() { discardSigns_ = true; }
    // Any key with a text that a field takes counts as an edit; otherwise
    // only the refused typing of a locked field does (the window follows
    // the fields' own change signals).
    void everyKeyEdits() { everyKeyEdits_ = true; }

    void watch(QWidget* field, Keys keys = Keys::Free);
    // A watched line edit named `name` whose every change counts as an edit.
    QLineEdit* addLineEdit(QWidget* parent, const QString& name, Keys keys);
    // Runs the window's edit notice (for check boxes, options and the like).
    void markEdited() const { edited_(); }
    // Runs when the user moves the focus out of the field; not when the
    // window merely loses the focus or the rules themselves move it.
    void onLeave(QWidget* field, std::function<void()> check);
    void onEnter(QWidget* field, std::function<void()> action);
    // A click into the field runs `action` once the click is done; the
    // click still reaches the field.
    void onClick(QWidget* field, std::function<void()> action);
    // A click, Return, Enter or Space in the field runs `action` instead of
    // editing it (fields edited in a window of their own).
    void onActivate(QWidget* field, std::function<void()> action);

    // Once the focus has arrived where the user sent it: runs `first` (the
    // page, the message) and puts the focus into `target`, so that both win
    // over the click or key that moved the focus.
    void refocusLater(QWidget* target, std::function<void()> first = {});
    // Puts the focus into `target` now, without running its leave check.
    void refocusNow(QWidget* target);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    std::function<void()> edited_;
    bool discardSigns_ = false;
    bool everyKeyEdits_ = false;
    bool refocusing_ = false;
    QHash<QObject*, Keys> keys_;
    QHash<QObject*, std::function<void()>> leave_;
    QHash<QObject*, std::function<void()>> enter_;
    QHash<QObject*, std::function<void()>> click_;
    QHash<QObject*, std::function<void()>> activate_;
};

// Up to `count` digits, nothing else.
QValidator* digitsOnly(int count, QObject* parent);

} // namespace tvq52
