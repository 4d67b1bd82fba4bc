#include "records/gui/csv_export.h"

#include "core/prompter.h"
#include "core/regular_file.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "records/csv_writer.h"

#include <QSaveFile>
#include <QTableView>
#include <cerrno>

namespace tvq52 {

bool exportGridCsv(const RecordGridModel& grid, const QTableView& view, Prompter& prompter, const Translator& translator,
                   const QString& suggestedName)
{
    const QString path =
        prompter.saveFile(translator.translate(QStringLiteral("Exportar CSV")),
                          {translator.translate(QStringLiteral("Archivos CSV (*.csv)"))}, suggestedName);
    if (path.isEmpty())
        return false;
    QList<int> columns;
    for (int c = 0; c < grid.columnCount(); ++c) {
        if (!view.isColumnHidden(c))
            columns << c;
    }
    if (isNonRegularFile(path)) {
        showError(prompter, translator, nonRegularFileError(path, FileUse::Write));
        return false;
    }
    // Written whole or not at all. commit() alone misses a failure of the
    // last buffered write (a full disk), so the flush is checked first.
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    QString why = file.errorString();
    if (ok) {
        errno = 0;
        ok = writeGridCsv(file, grid, translator, columns).ok() && file.flush();
        why = writeFailureText(file, errno);
    }
    if (ok && !(ok = file.commit()))
        why = file.errorString();
    if (!ok) {
        prompter.show(translator.translate(QStringLiteral("No se pudo escribir el archivo %1")).arg(path)
                          + QLatin1Char('\n') + why,
                      MessageStyle::Critical);
    }
    return ok;
}

} // namespace tvq52
