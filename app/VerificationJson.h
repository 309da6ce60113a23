#pragma once

#include "import/VerificationTally.h"

#include <QJsonObject>

namespace zarn {

// The verify section of a run's JSON document; its fields are described in the README
// ("Verification").
QJsonObject verificationJson(const VerificationTally &t);

} // namespace zarn
