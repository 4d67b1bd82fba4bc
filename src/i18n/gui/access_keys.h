#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

class QLabel;
class QWidget;

namespace tvq52 {

// The access key of a caption ("&Guardar" -> 'G'), upper case; a null QChar
// when it has none. "&&" is a plain ampersand.
QChar accessKeyOf(const QString& caption);
// The caption without its access-key mark; "&&" stays.
QString withoutAccessKey(const QString& caption);

// Gives each caption of `captions` an access key no other caption of the
// list has and none of `taken`, preferring the first letter of a word, then
// any other letter or digit (plain Latin letters before accented ones). A
// caption that already has a free key keeps it. Returns the captions with
// their marks; a caption no free key fits stays without one. The keys given
// are added to `taken`.
QStringList assignAccessKeys(const QStringList& captions, QString& taken);

// The controls of `window` a user reaches with an access key: its buttons
// with a caption (of a set of exclusive options the first, the arrow keys
// walk the rest), and the labels of the fields it takes entries in, but not
// a row of like controls (a caption met three times or more on one page). Each is listed
// with the tab page it sits on (nullptr: shown beside every page).
struct AccessKeyControl {
    QWidget* control;
    QWidget* page;
};
QList<AccessKeyControl> accessKeyControls(QWidget* window);

// A label beside a field that takes entries (in a form layout's label
// column, or left of it in a grid or row) gets that field as its buddy, so
// that its key moves the focus there; a read-only value gets none.
void giveLabelsTheirFields(QWidget* window);

// Sets the access keys of `window` in the language it now shows: every
// control of accessKeyControls gets a key no other control on its page or
// beside every page has; where the letters do not go round, a control that
// has a shortcut goes without. Run again after the captions change.
void setAccessKeys(QWidget* window);

// F1 clicks the window's help button, Ctrl+P its print button, Ctrl+F its
// search button, Alt+Left and Alt+Right its previous and next buttons; the
// exit button is Ctrl+Q in the main window and Ctrl+W in the others (the
// desktop's keys for these where it names them). A shortcut does nothing
// while its button is hidden or disabled.
void addStandardShortcuts(QWidget* window);

// Whether addStandardShortcuts gave `control` a shortcut in `window`.
bool hasShortcut(const QWidget* control, const QWidget* window);

} // namespace tvq52
