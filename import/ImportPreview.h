#pragma once

#include "import/ImportTally.h"
#include "platform/DateTime.h"
#include "platform/UserInterface.h"
#include "platform/dal/Connection.h"

#include <QString>

namespace zarn {

// The choices of one import, as the preview takes them.
struct PreviewRequest
{
    QString siteId;
    bool variables = false;
    bool data = false;
    DateTime start;
    DateTime end;
};

// What an import with the same choices would do, found by reading the source and the facility
// and writing nothing: the facility is read inside one read-only snapshot that ends in a
// rollback. With "Variables" chosen as well, the data part counts as the import would after its
// variables are made. The messages that the import's building blocks show on the way (a missing
// table, an unreadable reader) go to notes, and so does, as a detail, the database's text when a
// step's reads fail; such a step is marked as not succeeded. Throws DatabaseError when the
// snapshot cannot begin.
ImportTally computePreview(UserInterface &notes, dal::Connection &source, dal::Connection &facility,
                           dal::Connection &root, const PreviewRequest &request);

} // namespace zarn
