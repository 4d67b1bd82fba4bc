#pragma once

#include "cli/command_args.h"

#include <QJsonObject>

namespace tvq52 {

struct CliOptions;
struct CliSession;
class ConsoleProgress;
class DownloadWorkflow;
class ExchangeSession;
struct DownloadReport;

const CommandSyntax& downloadSyntax();
// "download [--from WHEN] [--to WHEN]": the recorded data of the unit on the
// line, by the same workflow as the recorded-data window.
int runDownload(CliSession& session, const CliOptions& options, const CommandArgs& args);

// The session a download runs on: the longer silence limit unless told.
std::unique_ptr<ExchangeSession> downloadSession(CliSession& session, const CliOptions& options);
// A download's report as its --json document.
QJsonObject downloadJson(const DownloadReport& report);

} // namespace tvq52
