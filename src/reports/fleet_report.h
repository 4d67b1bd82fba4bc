#pragma once

#include "evidence/report_proof.h"

#include "core/error.h"
#include "records/fleet.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace tvq52 {

class Translator;

// The overview as a plain table: one row per unit, most urgent first, the
// headings and the reasons in the translator's language.
struct FleetTable {
    QString title;
    QStringList headings;
    QList<QStringList> rows;
    // Printed at the foot of every page: the user's footer, then what the
    // overview's proof states (digest of the units shown, journal head).
    QStringList footer;
    std::optional<ReportProof> proof;
    // The signer's line in the user's language (%1 name, %2 fingerprint),
    // printed under the footer when the file is signed; the native text
    // when empty.
    QString signerPattern = {};
};
FleetTable fleetTable(const std::vector<FleetUnit>& units, const Translator& translator, const QDateTime& printed);

// The table on A4 landscape pages, as many as the rows need, signed with
// the PC's key when it has one.
Status writeFleetPdf(const FleetTable& table, const QString& path);

} // namespace tvq52
