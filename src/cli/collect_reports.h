#pragma once

#include "core/error.h"

#include <QDateTime>
#include <QString>

namespace tvq52 {

struct AppContext;

// The exceedance summary of what one download brought in, as a PDF in
// `folder`: exceedances-SERIAL-FROM-TO.pdf. Gives its path.
Result<QString> writeCollectedExceedances(AppContext& ctx, const QString& folder, qint32 serial, const QDateTime& from,
                                          const QDateTime& to);

// The overview after a collect run: fleet.csv and fleet.pdf in `folder`.
Status writeFleetFiles(AppContext& ctx, const QString& folder);

} // namespace tvq52
