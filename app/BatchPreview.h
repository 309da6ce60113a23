#pragma once

#include "app/BatchMode.h"
#include "app/ImportRun.h"
#include "app/RunRecord.h"

#include <QString>
#include <QTextStream>
#include <optional>

namespace zarn {

class MessageLog;
class UserInterface;
class Workspace;

// The batch mode's preview (--preview, --format) and run report (--report).

// Writes the record where the options ask for a report; the status becomes a failure when it
// cannot be written, with the reason on err.
int withReport(const BatchOptions &options, const RunRecord &record, int status, QTextStream &err);

// Prints the record to out as --format asks: a table, or one JSON document.
void printRecord(const BatchOptions &options, const RunRecord &record, QTextStream &out);

// What is wrong with the preview and report options of an import call, if anything.
std::optional<QString> checkPreviewAndReport(const BatchOptions &options);

// Prints what the import of the choices would do to out, as a table or as one JSON document.
// Returns the exit status: a failure when a check refused the choices or the preview could not
// read everything.
int runPreviewCall(const BatchOptions &options, Workspace &workspace, UserInterface &ui,
                   const ImportChoices &choices, QTextStream &out);

// Runs the import of the choices and, when asked, writes its report. A report that cannot be
// written fails the call, with the reason on err.
int runReportedImport(const BatchOptions &options, Workspace &workspace, UserInterface &ui,
                      const ImportChoices &choices, QTextStream &err);

// After a failed start-up: writes the report, when asked, with the start-up's messages. Returns
// the exit status of a failed start-up.
int reportStartFailure(const BatchOptions &options, const MessageLog &startUp, QTextStream &err);

} // namespace zarn
