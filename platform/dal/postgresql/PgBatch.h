#pragma once

// Batches: the queued calls of an output-less function go as one statement per batch,
//   SELECT f(c.a1, ..., c.an) FROM unnest($1, ..., $n) AS c(a1, ..., an)
// over parameter arrays in binary form, whose element types are the function's declared
// parameter types, so that the call cannot resolve to another overload. The server calls the
// function once per element, in array order. Each batch runs between a savepoint and its
// release, sent together: when the batch fails, the transaction goes back to the savepoint
// and the batch runs again call by call, to find the failing call.

#include "platform/dal/postgresql/PgSession.h"

#include <QString>
#include <optional>
#include <vector>

namespace zarn::dal::pg {

// How the function of a batch is called: its quoted name and its declared parameter types.
struct BatchFunction
{
    QString name;
    std::vector<Oid> elementTypes;
    std::vector<Oid> arrayTypes;
};

// The function that the name and the number of inputs name, when exactly one such function is
// visible, returns no set, and takes only types that a batch sends.
std::optional<BatchFunction> batchFunction(Session &session, const QString &name, int inputs);

// The statement that calls the function once per element of its parameter arrays.
QString batchText(const BatchFunction &function);

} // namespace zarn::dal::pg
