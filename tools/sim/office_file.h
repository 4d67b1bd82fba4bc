#pragma once

#include "sim_options.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace tvq52::sim {

// An office: the units behind its modems, one a line,
//   NUMBER SERIAL [firmware=X.Y] [days=N] [seed=N] [erased=WHEN] [reprogrammed=WHEN] [battery=WHEN]
// with WHEN as yyyy-MM-ddTHH:mm; the event keys may repeat. A unit of the file
// reports exactly the events its line gives (none when it gives none), and an
// erasure leaves it only the records after it. '#' starts a comment.

// One line into `unit` (firmware taken from `unit` unless given); the reason
// when the line cannot be used.
std::optional<QString> parseOfficeLine(const QString& line, DialUnit& unit);

// The units of the office text, each line's firmware defaulting to that of
// `defaults`; on failure nothing, and *error names the line ("NAME:N: why").
std::optional<QList<DialUnit>> parseOffice(const QByteArray& text, const QString& name, const DialUnit& defaults,
                                           QString* error);

// Reads and parses an office file.
std::optional<QList<DialUnit>> readOfficeFile(const QString& path, const DialUnit& defaults, QString* error);

} // namespace tvq52::sim
