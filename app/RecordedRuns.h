#pragma once

#include "app/ImportRun.h"
#include "app/RunRecord.h"

#include <optional>

namespace zarn {

class UserInterface;
class Workspace;

// One import run exactly as runImport makes it, told to the operator through ui, and recorded:
// the choices, the messages shown, the details reported and what the steps did.
RunRecord recordedImport(Workspace &workspace, UserInterface &ui, const ImportChoices &choices);

// What an import with the choices would do, with nothing written. The choices pass the import's
// own checks first, with the import's messages (shown through ui); nothing when one refuses
// them. The messages the import's steps would show go into the record, not to ui.
std::optional<RunRecord> previewImport(Workspace &workspace, UserInterface &ui,
                                       const ImportChoices &choices);

// What the facility holds of the readings that the data import with the choices writes, read
// back slot by slot, with nothing written. The choices pass the data import's own checks first,
// as for the preview ("Variables" plays no part); the progress goes to ui, the messages of the
// import's building blocks into the record.
std::optional<RunRecord> verifyImport(Workspace &workspace, UserInterface &ui,
                                      const ImportChoices &choices);

} // namespace zarn
