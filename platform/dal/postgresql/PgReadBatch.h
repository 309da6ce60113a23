#pragma once

// Batches of calls whose outputs are read (seeks): the queued calls of a function go as one
// statement,
//   SELECT r.* FROM unnest($1, ..., $n) WITH ORDINALITY AS c(a1, ..., an, k),
//     LATERAL f(c.a1, ..., c.an) AS r ORDER BY c.k
// over parameter arrays in binary form whose element types are the function's declared
// parameter types (PgBatch.h). The server calls the function once per element; the result has
// one row per call, in call order, holding the call's outputs. One round trip carries a whole
// group of seeks, as one carries a batch of writes.

#include "platform/dal/postgresql/PgBinary.h"
#include "platform/dal/postgresql/PgStatement.h"

#include <memory>
#include <vector>

namespace zarn::dal::pg {

class ReadBatches
{
public:
    ReadBatches(std::shared_ptr<Session> session, QString name, int inputs);

    // Runs the calls, each given with its values at every parameter position of the
    // declarations: the result holds one row per call, in call order, with its outputs. No
    // result, and nothing sent, outside a transaction of the caller's, for a function that a
    // batch cannot call, or when an input cannot go into the arrays exactly as the server would
    // read its text; the caller then runs the calls one by one. Throws DatabaseError.
    Result run(const std::vector<Parameter> &declarations,
               const std::vector<std::vector<Value>> &calls);

private:
    // Prepares the statement once, inside a savepoint of the caller's transaction, so that a
    // refusal leaves the transaction as it was; false where the server cannot call it so.
    bool prepared();
    std::vector<QByteArray> arraysOf(const std::vector<Parameter> &declarations,
                                     const std::vector<std::vector<Value>> &calls);

    std::shared_ptr<Session> m_session;
    QString m_name;
    int m_inputs;
    std::unique_ptr<PreparedStatement> m_statement;
    bool m_refused = false;
    std::vector<BinaryArray> m_arrays;
};

} // namespace zarn::dal::pg
