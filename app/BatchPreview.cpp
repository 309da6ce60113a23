#include "app/BatchPreview.h"

#include "app/RecordedRuns.h"
#include "app/RunRecordJson.h"
#include "app/RunTables.h"
#include "platform/MessageLog.h"

namespace zarn {

namespace {

const QString TableFormat = QStringLiteral("table");
const QString JsonFormat = QStringLiteral("json");

} // namespace

int withReport(const BatchOptions &options, const RunRecord &record, int status, QTextStream &err)
{
    if (options.reportPath.isEmpty())
        return status;
    if (const std::optional<QString> problem = writeReport(options.reportPath, record)) {
        err << "zarn-vantrel-importer: " << *problem << '\n';
        err.flush();
        return exitStatus::Failure;
    }
    return status;
}

void printRecord(const BatchOptions &options, const RunRecord &record, QTextStream &out)
{
    if (options.format == JsonFormat)
        out << QString::fromUtf8(toJsonDocument(record));
    else
        out << toText(viewOf(record));
    out.flush();
}

std::optional<QString> checkPreviewAndReport(const BatchOptions &options)
{
    if (options.preview && !options.reportPath.isEmpty())
        return QStringLiteral("--preview writes nothing and has no --report");
    if (!options.format.isEmpty() && !options.preview && !options.verify)
        return QStringLiteral("--format belongs to --preview or --verify");
    if (!options.format.isEmpty() && options.format != TableFormat && options.format != JsonFormat)
        return QStringLiteral("--format is table or json, not %1").arg(options.format);
    return std::nullopt;
}

int runPreviewCall(const BatchOptions &options, Workspace &workspace, UserInterface &ui,
                   const ImportChoices &choices, QTextStream &out)
{
    const std::optional<RunRecord> record = previewImport(workspace, ui, choices);
    if (!record)
        return exitStatus::Failure;
    printRecord(options, *record, out);
    return record->succeeded ? exitStatus::Success : exitStatus::Failure;
}

int runReportedImport(const BatchOptions &options, Workspace &workspace, UserInterface &ui,
                      const ImportChoices &choices, QTextStream &err)
{
    const RunRecord record = recordedImport(workspace, ui, choices);
    return withReport(options, record, record.succeeded ? exitStatus::Success : exitStatus::Failure,
                      err);
}

int reportStartFailure(const BatchOptions &options, const MessageLog &startUp, QTextStream &err)
{
    RunRecord record;
    record.siteId = options.site;
    record.facilityFileName = options.facility;
    record.variables = options.variables;
    record.data = options.data;
    record.startDate = options.start;
    record.endDate = options.end;
    record.startedAt = DateTime::now();
    record.endedAt = record.startedAt;
    record.messages = startUp.messages();
    record.details = startUp.details();
    record.details.push_back(QStringLiteral("The start-up failed: no import ran."));
    return withReport(options, record, exitStatus::Failure, err);
}

} // namespace zarn
