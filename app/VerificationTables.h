#pragma once

#include "app/RunTables.h"
#include "import/VerificationTally.h"

namespace zarn {

// The verification's summary lines and its tables: the slots per variable, the readings passed
// over and the differences found.
void addVerification(const VerificationTally &t, RunView &view);

} // namespace zarn
