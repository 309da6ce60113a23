#pragma once

#include "import/ImportTally.h"
#include "import/VerificationTally.h"
#include "platform/DateTime.h"
#include "platform/UserInterface.h"

#include <QString>
#include <vector>

namespace zarn {

// One preview, import run or verification as the operator asked for it and as it went: the
// choices, the messages shown, the details reported, the tally of what the steps did (or would
// do) and what the verification found.
struct RunRecord
{
    enum class Kind { Preview, Report, Verification };

    Kind kind = Kind::Report;
    QString siteId;
    QString siteName;
    QString facilityFileName;
    QString facilityName;
    bool variables = false;
    bool data = false;
    QString startDate; // the date texts as given
    QString endDate;
    DateTime startedAt;
    DateTime endedAt;
    bool succeeded = false;
    std::vector<Message> messages;
    std::vector<QString> details;
    ImportTally tally;
    VerificationTally verification;
};

} // namespace zarn
