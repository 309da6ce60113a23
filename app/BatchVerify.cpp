#include "app/BatchVerify.h"

#include "app/BatchPreview.h"
#include "app/RecordedRuns.h"
#include "app/RunTables.h"

namespace zarn {

namespace {

int verificationStatus(const VerificationTally &verification)
{
    if (!verification.succeeded)
        return exitStatus::Failure;
    return verification.total().differing() > 0 ? exitStatus::Differences : exitStatus::Success;
}

} // namespace

std::optional<QString> checkVerify(const BatchOptions &options)
{
    if (int(options.preview) + int(options.verify) + int(options.importAndVerify) > 1)
        return QStringLiteral("--preview, --verify and --import-and-verify exclude each other");
    if (options.verify && !options.data)
        return QStringLiteral("--verify needs --data");
    if (options.importAndVerify && !options.data)
        return QStringLiteral("--import-and-verify needs --data");
    if (options.verify && options.variables)
        return QStringLiteral("--verify checks the readings of --data only: leave out "
                              "--variables, or use --import-and-verify");
    return std::nullopt;
}

int runVerifyCall(const BatchOptions &options, Workspace &workspace, UserInterface &ui,
                  const ImportChoices &choices, QTextStream &out, QTextStream &err)
{
    const std::optional<RunRecord> record = verifyImport(workspace, ui, choices);
    if (!record)
        return exitStatus::Failure;
    printRecord(options, *record, out);
    return withReport(options, *record, verificationStatus(record->verification), err);
}

int runImportAndVerify(const BatchOptions &options, Workspace &workspace, UserInterface &ui,
                       const ImportChoices &choices, QTextStream &out, QTextStream &err)
{
    RunRecord record = recordedImport(workspace, ui, choices);
    if (!record.succeeded) {
        record.details.push_back(
            QStringLiteral("The verification did not run, as the import did not succeed."));
        return withReport(options, record, exitStatus::Failure, err);
    }
    // The import's checks passed, so the verification's pass too, without a message.
    const std::optional<RunRecord> verified = verifyImport(workspace, ui, choices);
    if (!verified)
        return withReport(options, record, exitStatus::Failure, err);
    out << '\n' << toText(viewOf(*verified));
    out.flush();
    record.verification = verified->verification;
    record.messages.insert(record.messages.end(), verified->messages.begin(),
                           verified->messages.end());
    record.details.insert(record.details.end(), verified->details.begin(), verified->details.end());
    record.succeeded = verified->succeeded;
    record.endedAt = verified->endedAt;
    return withReport(options, record, verificationStatus(record.verification), err);
}

} // namespace zarn
