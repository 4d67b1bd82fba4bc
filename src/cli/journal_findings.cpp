#include "cli/journal_findings.h"

#include "cli/cli_session.h"

namespace tvq52 {

namespace {

const char* const kFindingNames[] = {"record edited",      "record missing",    "entry altered",
                                     "chain broken",       "no provenance",     "entry not opened by the program",
                                     "totals differ",      "journal restarted", "kept head missing",
                                     "journal unreadable", "signature invalid", "signer not trusted",
                                     "entry unsigned"};
const char* const kFindingKeys[] = {"recordEdited", "recordMissing",     "entryAltered",     "chainBroken",
                                    "noProvenance", "entryNotOpened",    "totalsDiffer",     "journalRestarted",
                                    "headMissing",  "journalUnreadable", "signatureInvalid", "signerNotTrusted",
                                    "entryUnsigned"};

} // namespace

QString findingLine(const JournalFinding& f)
{
    QString line = QLatin1String(kFindingNames[int(f.kind)]);
    if (f.entry != 0)
        line += QStringLiteral(": entry %1").arg(f.entry);
    if (!f.table.isEmpty())
        line += (f.entry != 0 ? QStringLiteral(", ") : QStringLiteral(": ")) + f.table + QLatin1Char(' ') + f.key;
    if (!f.detail.isEmpty())
        line += QStringLiteral(": ") + f.detail;
    return line;
}

QJsonObject findingJson(const JournalFinding& f)
{
    return QJsonObject{{"kind", QLatin1String(kFindingKeys[int(f.kind)])},
                       {"entry", jsonCount(f.entry)},
                       {"table", jsonText(f.table)},
                       {"key", jsonText(f.key)},
                       {"detail", jsonText(f.detail)}};
}

} // namespace tvq52
