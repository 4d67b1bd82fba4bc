#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace tvq52 {

struct CliOptions;
struct CliSession;

// "dd/mm/yy hh:nn" or "dd/mm/yyyy hh:nn"; a two-digit year below 50 is 20yy.
std::optional<QDateTime> parseRangeStamp(const QString& text);

// "download [--from WHEN] [--to WHEN]": the recorded data of the unit on the
// line, by the same workflow as the recorded-data window.
int runDownload(CliSession& session, const CliOptions& options);
// "collect FILE": one download by modem per serial number listed.
int runCollect(CliSession& session, const CliOptions& options);
// "verify [SERIAL] [--head HASH]": the exchange journal checked against the stored records.
int runVerify(CliSession& session, const CliOptions& options);
// "journal [--serial N]": the journal's entries, newest first.
int runJournal(CliSession& session, const CliOptions& options);

} // namespace tvq52
