#include "app/RecordedRuns.h"

#include "app/Workspace.h"
#include "import/ImportPreview.h"
#include "import/ImportVerify.h"
#include "platform/Error.h"
#include "platform/MessageLog.h"

namespace zarn {

namespace {

// The key at a list position, or an empty text for a position the list does not have.
QString keyAt(const std::vector<ListEntry> &entries, int position)
{
    if (position < 0 || static_cast<std::size_t>(position) >= entries.size())
        return QString();
    return entries[static_cast<std::size_t>(position)].key;
}

RunRecord recordOf(RunRecord::Kind kind, const Workspace &workspace, const ImportChoices &choices)
{
    RunRecord record;
    record.kind = kind;
    record.siteId = keyAt(workspace.sites(), choices.sitePosition);
    record.siteName = choices.siteName;
    record.facilityFileName = keyAt(workspace.facilities(), choices.facilityPosition);
    record.facilityName = choices.facilityName;
    record.variables = choices.variables;
    record.data = choices.data;
    record.startDate = choices.startDate;
    record.endDate = choices.endDate;
    record.startedAt = DateTime::now();
    return record;
}

// The choices as the preview takes them, after the import's checks; nothing when one refused
// them, with its message shown.
std::optional<PreviewRequest> checkedRequest(UserInterface &ui, const RunRecord &record)
{
    if (!choicesComplete(ui, record.siteName, record.facilityName, record.variables, record.data))
        return std::nullopt;
    PreviewRequest request{record.siteId, record.variables, record.data, {}, {}};
    if (record.data) {
        const auto range = checkedDateRange(ui, record.startDate, record.endDate);
        if (!range)
            return std::nullopt;
        request.start = range->first;
        request.end = range->second;
    }
    return request;
}

bool everyStepSucceeded(const ImportTally &t)
{
    return (!t.locations.ran || t.locations.succeeded) &&
           (!t.variables.ran || t.variables.succeeded) &&
           (!t.captions.ran || t.captions.succeeded) && (!t.data.ran || t.data.succeeded);
}

// Runs read on a facility connection of this run's own, under the hourglass, and ends the record:
// whether it succeeded, and the messages and details that read gave its notes. A facility that
// cannot be opened or read is a detail too.
template <typename Read>
void readFacility(Workspace &workspace, UserInterface &ui, RunRecord &record, const QString &what,
                  Read read)
{
    const MousePointer remembered = ui.mousePointer();
    ui.setMousePointer(MousePointer::Hourglass);
    MessageLog notes;
    try {
        dal::Connection cnnFacility;
        workspace.cnnManager().ConfigCnn4FACILITY(cnnFacility, record.facilityFileName);
        cnnFacility.Open();
        record.succeeded = read(cnnFacility, notes);
        cnnFacility.Close();
    } catch (const Error &e) {
        notes.reportDetail(QStringLiteral("The %1 could not read the facility %2: %3")
                               .arg(what, record.facilityFileName, e.description()));
        record.succeeded = false;
    }
    ui.setMousePointer(remembered);
    record.endedAt = DateTime::now();
    record.messages = notes.messages();
    record.details = notes.details();
}

} // namespace

RunRecord recordedImport(Workspace &workspace, UserInterface &ui, const ImportChoices &choices)
{
    RunRecord record = recordOf(RunRecord::Kind::Report, workspace, choices);
    MessageLog log(&ui);
    record.succeeded = runImport(workspace, log, choices, &record.tally);
    record.endedAt = DateTime::now();
    record.messages = log.messages();
    record.details = log.details();
    return record;
}

std::optional<RunRecord> previewImport(Workspace &workspace, UserInterface &ui,
                                       const ImportChoices &choices)
{
    RunRecord record = recordOf(RunRecord::Kind::Preview, workspace, choices);
    const std::optional<PreviewRequest> request = checkedRequest(ui, record);
    if (!request)
        return std::nullopt;
    readFacility(workspace, ui, record, QStringLiteral("preview"),
                 [&](dal::Connection &facility, MessageLog &notes) {
                     record.tally = computePreview(notes, workspace.cnnSource(), facility,
                                                   workspace.cnnRoot(), *request);
                     return everyStepSucceeded(record.tally);
                 });
    return record;
}

std::optional<RunRecord> verifyImport(Workspace &workspace, UserInterface &ui,
                                      const ImportChoices &choices)
{
    RunRecord record = recordOf(RunRecord::Kind::Verification, workspace, choices);
    record.variables = false;
    const std::optional<PreviewRequest> request = checkedRequest(ui, record);
    if (!request)
        return std::nullopt;
    readFacility(workspace, ui, record, QStringLiteral("verification"),
                 [&](dal::Connection &facility, MessageLog &notes) {
                     record.verification = computeVerification(
                         notes, ui, workspace.cnnSource(), facility, workspace.cnnRoot(),
                         VerifyRequest{request->siteId, request->start, request->end});
                     return record.verification.succeeded;
                 });
    return record;
}

} // namespace zarn
