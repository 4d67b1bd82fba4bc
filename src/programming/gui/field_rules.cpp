#include "programming/gui/field_rules.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QWidget>

namespace tvq52 {

FieldRules::FieldRules(QWidget* window, std::function<void()> edited)
    : QObject(window), window_(window), edited_(std::move(edited))
{}

void FieldRules::watch(QWidget* field, Keys keys)
{
    keys_.insert(field, keys);
    field->installEventFilter(this);
}

QLineEdit* FieldRules::addLineEdit(QWidget* parent, const QString& name, Keys keys)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    watch(e, keys);
    connect(e, &QLineEdit::textChanged, this, [this] { edited_(); });
    return e;
}

void FieldRules::onLeave(QWidget* field, std::function<void()> check)
{
    leave_.insert(field, std::move(check));
    field->installEventFilter(this);
}

void FieldRules::onEnter(QWidget* field, std::function<void()> action)
{
    enter_.insert(field, std::move(action));
    field->installEventFilter(this);
}

void FieldRules::onClick(QWidget* field, std::function<void()> action)
{
    click_.insert(field, std::move(action));
    field->installEventFilter(this);
}

void FieldRules::onActivate(QWidget* field, std::function<void()> action)
{
    activate_.insert(field, std::move(action));
    field->installEventFilter(this);
}

void FieldRules::refocusLater(QWidget* target, std::function<void()> first)
{
    QTimer::singleShot(0, this, [this, target = QPointer<QWidget>(target), first = std::move(first)] {
        if (!window_->isVisible() || (target && !target->isEnabled()))
            return;
        if (first)
            first();
        // A message box closing leaves no window active on some desktops; the
        // focus moves of an inactive window send no focus events, and the
        // next leave of the field would go unchecked.
        if (!window_->isActiveWindow())
            window_->activateWindow();
        if (target)
            refocusNow(target);
    });
}

void FieldRules::refocusNow(QWidget* target)
{
    refocusing_ = true;
    target->setFocus(Qt::OtherFocusReason);
    refocusing_ = false;
}

bool FieldRules::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (const auto action = activate_.constFind(watched); action != activate_.cend()
            && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space)) {
            action.value()();
            return true;
        }
        const auto rule = keys_.constFind(watched);
        if (rule == keys_.cend())
            break;
        const QString text = key->text();
        if (discardSigns_
            && (text == QLatin1String("+") || (text == QLatin1String("-") && rule.value() != Keys::Signed)))
            return true;
        const bool typing = !text.isEmpty() && (text.at(0).isPrint() || key->key() == Qt::Key_Backspace);
        switch (rule.value()) {
        case Keys::Locked:
            if (typing) {
                edited_();
                return true;
            }
            break;
        case Keys::Shown:
            if (typing)
                return true;
            break;
        case Keys::NoBlanks:
            if (text == QLatin1String(" "))
                return true;
            break;
        case Keys::Free:
        case Keys::Signed:
            break;
        }
        if (everyKeyEdits_ && !text.isEmpty())
            edited_();
        break;
    }
    case QEvent::MouseButtonPress:
        if (const auto action = click_.constFind(watched); action != click_.cend())
            QTimer::singleShot(0, this, action.value());
        if (const auto action = activate_.constFind(watched); action != activate_.cend()) {
            QTimer::singleShot(0, this, action.value());
            return true;
        }
        break;
    case QEvent::FocusIn:
        if (const auto action = enter_.constFind(watched); action != enter_.cend())
            action.value()();
        break;
    case QEvent::FocusOut: {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Leaving the window (a message box, another program) is not leaving the field.
        if (refocusing_ || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            break;
        if (const auto check = leave_.constFind(watched); check != leave_.cend())
            check.value()();
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

QValidator* digitsOnly(int count, QObject* parent)
{
    return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,%1}").arg(count)), parent);
}

} // namespace tvq52
