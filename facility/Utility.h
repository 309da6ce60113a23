#pragma once

#include "platform/Value.h"
#include "platform/dal/Connection.h"

#include <QString>
#include <vector>

namespace zarn {

// The first field of the first row of a query, in that field's own kind; Null when the query
// has no rows, when that field is Null, or when the query fails. Never raises: the callers
// treat a failing lookup exactly as one that finds nothing. The query may hold "?" placeholders
// for the bound values in params.
Value GetFirstValue(dal::Connection &conn, const QString &query,
                    const std::vector<Value> &params = {});

// The form in which the audit trail compares two stored passwords: the first two and last three
// characters dropped, the rest reversed and each character's code shifted. Raises
// zarn::invalidProcedureCall() for a text of fewer than five characters or a code that leaves
// the single-byte range.
QString DecodePassword(const QString &text);

} // namespace zarn
