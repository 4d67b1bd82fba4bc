#pragma once

#include "core/error.h"

#include <QString>
#include <QStringList>

namespace tvq52 {

// The files this data folder's user opened last (exchange files imported,
// databases merged), newest first, and the folder the file dialogs were
// last left in; kept in the settings file's own section, apart from the
// settings, so that nothing of the settings changes with them.
class RecentFiles {
public:
    static constexpr int kMost = 8;

    explicit RecentFiles(QString settingsFile);

    // The files still there, newest first.
    QStringList files() const;
    // Puts `path` first (once), keeps at most kMost and remembers its folder.
    Status add(const QString& path);
    Status clear();

    QString lastFolder() const;
    Status setLastFolder(const QString& folder);

private:
    QStringList stored() const;
    Status store(const QStringList& files, const QString& folder) const;

    QString file_;
};

// Where a file dialog opens, from what the caller gave: nothing, a bare
// file name to propose, or a path. Nothing and bare names go to the last
// folder (else the user's documents, else home); a place inside the data
// folder, which holds the program's own files, is taken as nothing given.
QString fileDialogStart(const QString& given, const QString& lastFolder, const QString& dataFolder);

// The user's documents folder when it exists, else the home folder.
QString documentsFolder();

// Name filters that match either case: "PDF (*.pdf)" lists x.pdf and X.PDF
// alike, as "(*.pdf *.PDF)"; a pattern written in both cases stays as it is.
QStringList caseBlindFilters(const QStringList& filters);

} // namespace tvq52
