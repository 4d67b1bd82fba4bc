#pragma once

class QAbstractFileIconProvider;
class QWidget;

namespace tvq52 {

// Tells file types by their names only. Telling them by content opens each
// listed file, and closing that descriptor drops every lock SQLite holds on
// the same file in this process: a dialog on the data folder would leave the
// open database unguarded against other programs.
QAbstractFileIconProvider* nameOnlyIconProvider();

// Gives the file lists inside `window` (a file dialog's, a completer's of
// file names) the name-only provider.
void listFilesByNameOnly(QWidget* window);

// For the file dialogs that Qt opens by itself (the print dialog's choice of
// a file): no desktop dialog runs inside this process, and every window
// shown gets its file lists named only. Once per application.
void guardFileDialogs();

} // namespace tvq52
