#pragma once

#include "import/VerificationTally.h"
#include "platform/DateTime.h"
#include "platform/UserInterface.h"
#include "platform/dal/Connection.h"

#include <QString>

namespace zarn {

// The choices of a data import, as its verification takes them.
struct VerifyRequest
{
    QString siteId;
    DateTime start;
    DateTime end;
};

// Reads the facility's daily-data store back through its own seek procedure, one seek per slot
// that the data import with the same choices writes, and compares each slot with what the
// import leaves there, by the very plan the import writes by. Writes nothing: the facility is
// read inside one read-only snapshot that ends in a rollback. The messages of the import's
// building blocks (a missing table, an unreadable reader) and the details, the reason of a
// failed verification among them, go to notes; the progress (readings done of the total) to
// progress.
VerificationTally computeVerification(UserInterface &notes, UserInterface &progress,
                                      dal::Connection &source, dal::Connection &facility,
                                      dal::Connection &root, const VerifyRequest &request);

} // namespace zarn
