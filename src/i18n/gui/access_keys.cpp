#include "i18n/gui/access_keys.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <algorithm>

namespace tvq52 {

QChar accessKeyOf(const QString& caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            continue;
        if (caption[i + 1] != QLatin1Char('&'))
            return caption[i + 1].toUpper();
        ++i;
    }
    return {};
}

QString withoutAccessKey(const QString& caption)
{
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) {
            ++i;
            if (caption[i] == QLatin1Char('&'))
                plain += QLatin1String("&&");
            else
                plain += caption[i];
            continue;
        }
        plain += caption[i];
    }
    return plain;
}

namespace {

// The places in `plain` a key may go, best first: the start of a word, then
// inside one. Only plain Latin letters and digits: an accented letter (é,
// ñ, ç) is not on most keyboards as a key of its own.
QList<qsizetype> keyPlaces(const QString& plain)
{
    QList<qsizetype> places[2];
    for (qsizetype i = 0; i < plain.size(); ++i) {
        const QChar c = plain[i];
        if (c == QLatin1Char('&')) {
            ++i; // the second half of a plain "&&"
            continue;
        }
        if (!c.isLetterOrNumber())
            continue;
        if (c.unicode() >= 128)
            continue;
        const bool wordStart = i == 0 || !plain[i - 1].isLetterOrNumber();
        places[wordStart ? 0 : 1].append(i);
    }
    return places[0] + places[1];
}

// Gives captions keys so that as many as can have one do: a caption takes
// its best free place, and only when none is free moves one that chose
// before it to another of its places (an augmenting path).
struct KeyMatcher {
    QStringList plains;
    QList<QList<qsizetype>> places;
    QList<qsizetype> chosen; // -1: no key
    QHash<QChar, qsizetype> owner;
    QString reserved;
    QStringList forbidden; // per caption, beside `reserved`

    QChar keyAt(qsizetype caption, qsizetype at) const { return plains[caption][at].toUpper(); }
    bool allowed(qsizetype caption, QChar key) const
    {
        return !reserved.contains(key) && !forbidden.value(caption).contains(key);
    }
    QList<bool> optional; // matched after all the others

    void add(const QString& caption, const QString& keepOff = {}, bool last = false)
    {
        plains.append(withoutAccessKey(caption));
        places.append(keyPlaces(plains.back()));
        chosen.append(-1);
        forbidden.append(keepOff);
        optional.append(last);
    }
    // A caption once keyed keeps a key: the optional ones come last, so
    // they never take one the others need.
    void run()
    {
        for (const bool late : {false, true}) {
            for (qsizetype c = 0; c < plains.size(); ++c) {
                QSet<QChar> visited;
                if (optional[c] == late && !takeFree(c))
                    moveOthers(c, visited);
            }
        }
    }
    QString keyed(qsizetype caption) const
    {
        QString text = plains[caption];
        return chosen[caption] < 0 ? text : text.insert(chosen[caption], QLatin1Char('&'));
    }

    bool takeFree(qsizetype caption)
    {
        for (const qsizetype at : places[caption]) {
            const QChar key = keyAt(caption, at);
            if (allowed(caption, key) && !owner.contains(key)) {
                owner.insert(key, caption);
                chosen[caption] = at;
                return true;
            }
        }
        return false;
    }

    bool moveOthers(qsizetype caption, QSet<QChar>& visited)
    {
        for (const qsizetype at : places[caption]) {
            const QChar key = keyAt(caption, at);
            if (!allowed(caption, key) || visited.contains(key))
                continue;
            visited.insert(key);
            const auto held = owner.constFind(key);
            if (held == owner.constEnd() || takeFree(*held) || moveOthers(*held, visited)) {
                owner.insert(key, caption);
                chosen[caption] = at;
                return true;
            }
        }
        return false;
    }
};

} // namespace

QStringList assignAccessKeys(const QStringList& captions, QString& taken)
{
    // Captions that bring their own free key keep it before others choose.
    QStringList result = captions;
    QList<qsizetype> open;
    for (qsizetype i = 0; i < captions.size(); ++i) {
        const QChar key = accessKeyOf(captions[i]);
        if (!key.isNull() && key.isLetterOrNumber() && !taken.contains(key))
            taken += key;
        else
            open.append(i);
    }
    KeyMatcher matcher;
    matcher.reserved = taken;
    for (const qsizetype i : open)
        matcher.add(captions[i]);
    matcher.run();
    for (qsizetype c = 0; c < matcher.plains.size(); ++c) {
        if (matcher.chosen[c] >= 0)
            taken += matcher.keyAt(c, matcher.chosen[c]);
        result[open[c]] = matcher.keyed(c);
    }
    return result;
}

namespace {

// A field the user types into or chooses in: a read-only value needs no key.
bool isEntry(const QWidget* w)
{
    if (const auto* line = qobject_cast<const QLineEdit*>(w))
        return !line->isReadOnly();
    if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(w))
        return !spin->isReadOnly();
    if (const auto* text = qobject_cast<const QTextEdit*>(w))
        return !text->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(w))
        return !plain->isReadOnly();
    return qobject_cast<const QComboBox*>(w) != nullptr;
}

// The entry a layout item holds: the widget itself or the first entry inside it.
QWidget* entryOf(QLayoutItem* item)
{
    if (!item)
        return nullptr;
    if (QWidget* w = item->widget()) {
        if (isEntry(w))
            return w;
        const auto inside = w->findChildren<QWidget*>();
        for (QWidget* child : inside)
            if (isEntry(child))
                return child;
        return nullptr;
    }
    if (QLayout* inner = item->layout())
        for (int i = 0; i < inner->count(); ++i)
            if (QWidget* w = entryOf(inner->itemAt(i)))
                return w;
    return nullptr;
}

// The field right of `label` in `layout`, nullptr when there is none.
QWidget* fieldBeside(QLayout* layout, QLabel* label)
{
    const int index = layout->indexOf(label);
    if (index < 0)
        return nullptr;
    if (auto* form = qobject_cast<QFormLayout*>(layout)) {
        int row = 0;
        QFormLayout::ItemRole role{};
        form->getItemPosition(index, &row, &role);
        return role == QFormLayout::LabelRole ? entryOf(form->itemAt(row, QFormLayout::FieldRole)) : nullptr;
    }
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        QWidget* field = entryOf(grid->itemAtPosition(row, column + columnSpan));
        // A heading of a row of entries (day: emission, reception) is no
        // one field's label: Tab walks the row.
        QLayoutItem* after = field ? grid->itemAtPosition(row, column + columnSpan + 1) : nullptr;
        return after && entryOf(after) ? nullptr : field;
    }
    if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
        const bool across = box->direction() == QBoxLayout::LeftToRight;
        return across ? entryOf(box->itemAt(index + 1)) : nullptr;
    }
    return nullptr;
}

// The tab page `w` is on, nullptr when it is outside every tab widget.
QWidget* tabPageOf(QWidget* w, QWidget* window)
{
    for (QWidget* child = w; child && child != window; child = child->parentWidget()) {
        QWidget* parent = child->parentWidget();
        if (qobject_cast<QStackedWidget*>(parent) && qobject_cast<QTabWidget*>(parent->parentWidget()))
            return child;
    }
    return nullptr;
}

// `w` lies inside `window` and not in a window of its own opened from it.
bool ownControl(QWidget* w, QWidget* window)
{
    if (w->isWindow())
        return false;
    QWidget* p = w->parentWidget();
    for (; p && p != window; p = p->parentWidget())
        if (p->isWindow())
            return false;
    return p == window;
}

} // namespace

void giveLabelsTheirFields(QWidget* window)
{
    for (QLayout* layout : window->findChildren<QLayout*>()) {
        QWidget* holder = layout->parentWidget();
        if (!holder || (holder != window && !ownControl(holder, window)))
            continue;
        for (int i = 0; i < layout->count(); ++i) {
            auto* label = qobject_cast<QLabel*>(layout->itemAt(i)->widget());
            if (!label || label->buddy() || label->text().isEmpty() || label->textFormat() == Qt::RichText)
                continue;
            if (QWidget* field = fieldBeside(layout, label))
                label->setBuddy(field);
        }
    }
}

namespace {

// A caption of signs only ("<", ">>") has nothing a key could stand for.
bool hasWord(const QString& caption)
{
    return std::any_of(caption.begin(), caption.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

// A set of exclusive options is entered by the key of its first option and
// walked with the arrow keys, as the desktop does.
bool firstOfItsOptions(const QAbstractButton* button)
{
    const auto* radio = qobject_cast<const QRadioButton*>(button);
    if (!radio)
        return true;
    if (const QButtonGroup* group = radio->group())
        return group->buttons().value(0) == radio;
    if (!radio->autoExclusive() || !radio->parentWidget())
        return true;
    for (const QRadioButton* sibling : radio->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly))
        if (sibling->autoExclusive())
            return sibling == radio;
    return true;
}

} // namespace

QList<AccessKeyControl> accessKeyControls(QWidget* window)
{
    QList<AccessKeyControl> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!ownControl(w, window))
            continue;
        // Tool buttons are the small helpers: calendar days, arrows, steps.
        const auto* button = qobject_cast<QAbstractButton*>(w);
        const auto* label = qobject_cast<QLabel*>(w);
        const bool keyed = button
            ? !qobject_cast<QToolButton*>(w) && hasWord(button->text()) && firstOfItsOptions(button)
            : label && label->buddy() && hasWord(label->text());
        if (keyed)
            controls.append(AccessKeyControl{w, tabPageOf(w, window)});
    }
    // A caption met three times or more on one page is a row of like
    // controls (one per day of the week): Tab reaches them, no key could
    // stand for all of them.
    QHash<QPair<QWidget*, QString>, int> seen;
    for (const AccessKeyControl& c : controls)
        ++seen[{c.page, withoutAccessKey(c.control->property("text").toString())}];
    controls.removeIf([&](const AccessKeyControl& c) {
        return seen.value({c.page, withoutAccessKey(c.control->property("text").toString())}) >= 3;
    });
    return controls;
}

namespace {

QString keyedCaption(const QWidget* w)
{
    return w->property("text").toString();
}

} // namespace

namespace {

// The captions beside every page and on each page, keyed.
struct KeyedScopes {
    QStringList beside;
    QList<QStringList> pages;
    int missing = 0;
};

// Which captions of a scope may go without a key (their controls have a
// shortcut).
struct Optional {
    QList<bool> beside;
    QList<QList<bool>> pages;
};

// Keys for the controls beside every page and those on each page at once:
// the pages are matched one by one, in `order`, each together with the
// controls beside it, which may take other keys as long as they keep off
// those the pages before chose.
KeyedScopes keyScopes(const QStringList& beside, const QList<QStringList>& pages, const Optional& optional,
                      const QList<qsizetype>& order)
{
    KeyedScopes keyed{beside, pages, 0};
    QString keptByPages;
    for (qsizetype n = 0; n < std::max<qsizetype>(order.size(), 1); ++n) {
        const qsizetype p = order.value(n, -1);
        KeyMatcher matcher;
        for (qsizetype i = 0; i < beside.size(); ++i)
            matcher.add(beside[i], keptByPages, optional.beside[i]);
        for (qsizetype i = 0; i < pages.value(p).size(); ++i)
            matcher.add(pages[p][i], {}, optional.pages[p][i]);
        matcher.run();
        for (qsizetype i = 0; i < beside.size(); ++i)
            keyed.beside[i] = matcher.keyed(i);
        for (qsizetype i = 0; i < pages.value(p).size(); ++i) {
            const qsizetype c = beside.size() + i;
            keyed.pages[p][i] = matcher.keyed(c);
            if (matcher.chosen[c] >= 0)
                keptByPages += matcher.keyAt(c, matcher.chosen[c]);
        }
    }
    for (const QStringList& scope : QList<QStringList>{keyed.beside} + keyed.pages)
        for (const QString& caption : scope)
            keyed.missing += accessKeyOf(caption).isNull() ? 1 : 0;
    return keyed;
}

// The best of the orders that take each page first: the hardest page
// matched first leaves the others the most room.
KeyedScopes bestKeys(const QStringList& beside, const QList<QStringList>& pages, const Optional& optional)
{
    KeyedScopes best;
    best.missing = -1;
    for (qsizetype first = 0; first < std::max<qsizetype>(pages.size(), 1); ++first) {
        QList<qsizetype> order;
        for (qsizetype p = 0; p < pages.size(); ++p)
            order.append((first + p) % pages.size());
        KeyedScopes keyed = keyScopes(beside, pages, optional, order);
        if (best.missing < 0 || keyed.missing < best.missing)
            best = std::move(keyed);
        if (best.missing == 0)
            break;
    }
    return best;
}

} // namespace

void setAccessKeys(QWidget* window)
{
    giveLabelsTheirFields(window);
    QList<QWidget*> beside;
    QList<QWidget*> pageOrder;
    QHash<QWidget*, QList<QWidget*>> onPage;
    for (const AccessKeyControl& c : accessKeyControls(window)) {
        if (!c.page) {
            beside.append(c.control);
            continue;
        }
        if (!onPage.contains(c.page))
            pageOrder.append(c.page);
        onPage[c.page].append(c.control);
    }
    const auto captions = [](const QList<QWidget*>& scope) {
        QStringList texts;
        for (const QWidget* w : scope)
            texts.append(keyedCaption(w));
        return texts;
    };
    // Controls a shortcut reaches too take what the others leave.
    const auto withShortcut = [window](const QList<QWidget*>& scope) {
        QList<bool> flags;
        for (const QWidget* w : scope)
            flags.append(hasShortcut(w, window));
        return flags;
    };
    QList<QStringList> pages;
    Optional optional{withShortcut(beside), {}};
    for (QWidget* page : pageOrder) {
        pages.append(captions(onPage[page]));
        optional.pages.append(withShortcut(onPage[page]));
    }
    const KeyedScopes keyed = bestKeys(captions(beside), pages, optional);
    for (qsizetype i = 0; i < beside.size(); ++i)
        beside[i]->setProperty("text", keyed.beside[i]);
    for (qsizetype p = 0; p < pageOrder.size(); ++p)
        for (qsizetype i = 0; i < onPage[pageOrder[p]].size(); ++i)
            onPage[pageOrder[p]][i]->setProperty("text", keyed.pages[p][i]);
}

namespace {

QAbstractButton* ownButton(QWidget* window, const char* name)
{
    for (auto* b : window->findChildren<QAbstractButton*>(QString::fromLatin1(name)))
        if (ownControl(b, window))
            return b;
    return nullptr;
}

// The desktop's keys for `key`; `usual` where the desktop names none (a
// bare X session, the offscreen platform).
QList<QKeySequence> keysFor(QKeySequence::StandardKey key, const QKeySequence& usual)
{
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    if (keys.isEmpty())
        keys.append(usual);
    return keys;
}

void clickOn(QWidget* window, const QList<QKeySequence>& keys, const char* buttonName)
{
    QAbstractButton* button = ownButton(window, buttonName);
    const QString name = QStringLiteral("Shortcut") + QString::fromLatin1(buttonName);
    if (!button || window->findChild<QShortcut*>(name, Qt::FindDirectChildrenOnly))
        return;
    auto* shortcut = new QShortcut(window);
    shortcut->setKeys(keys);
    shortcut->setObjectName(name);
    QObject::connect(shortcut, &QShortcut::activated, button, [button] {
        if (button->isVisible() && button->isEnabled())
            button->click();
    });
}

} // namespace

void addStandardShortcuts(QWidget* window)
{
    clickOn(window, keysFor(QKeySequence::HelpContents, QKeySequence(Qt::Key_F1)), "SSCommandHelp");
    clickOn(window, keysFor(QKeySequence::Print, QKeySequence(Qt::CTRL | Qt::Key_P)), "SSCommandImprimir");
    clickOn(window, keysFor(QKeySequence::Find, QKeySequence(Qt::CTRL | Qt::Key_F)), "SSCommandBuscar");
    clickOn(window, keysFor(QKeySequence::Back, QKeySequence(Qt::ALT | Qt::Key_Left)), "SSCommandAnterior");
    clickOn(window, keysFor(QKeySequence::Forward, QKeySequence(Qt::ALT | Qt::Key_Right)), "SSCommandSiguiente");
    if (window->objectName() == QLatin1String("Form1"))
        clickOn(window, keysFor(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)), "SSCommandExit");
    else
        clickOn(window, keysFor(QKeySequence::Close, QKeySequence(Qt::CTRL | Qt::Key_W)), "SSCommandExit");
}

bool hasShortcut(const QWidget* control, const QWidget* window)
{
    return !control->objectName().isEmpty()
        && window->findChild<QShortcut*>(QStringLiteral("Shortcut") + control->objectName(),
                                         Qt::FindDirectChildrenOnly);
}

} // namespace tvq52
