#include "platform/dal/postgresql/PgReadBatch.h"

#include "platform/Error.h"
#include "platform/dal/postgresql/PgBatch.h"

#include <QStringList>
#include <libpq-fe.h>
#include <utility>

namespace zarn::dal::pg {

namespace {

QString readBatchText(const BatchFunction &function)
{
    QStringList arrays, columns, arguments;
    for (std::size_t i = 1; i <= function.elementTypes.size(); ++i) {
        arrays << u'$' + QString::number(i);
        columns << u'a' + QString::number(i);
        arguments << QStringLiteral("c.a") + QString::number(i);
    }
    return QStringLiteral("SELECT r.* FROM unnest(%1) WITH ORDINALITY AS c(%2, k), LATERAL %3(%4) "
                          "AS r ORDER BY c.k")
        .arg(arrays.join(QStringLiteral(", ")), columns.join(QStringLiteral(", ")), function.name,
             arguments.join(QStringLiteral(", ")));
}

} // namespace

ReadBatches::ReadBatches(std::shared_ptr<Session> session, QString name, int inputs)
    : m_session(std::move(session)), m_name(std::move(name)), m_inputs(inputs)
{}

Result ReadBatches::run(const std::vector<Parameter> &declarations,
                        const std::vector<std::vector<Value>> &calls)
{
    if (calls.empty() || !m_session->inTransaction() || !prepared())
        return nullptr;
    const std::vector<QByteArray> arrays = arraysOf(declarations, calls);
    if (arrays.empty())
        return nullptr;
    Result result = m_statement->runBinary(arrays);
    if (PQntuples(result.get()) != static_cast<int>(calls.size()))
        throw DatabaseError(QStringLiteral("%1 calls of %2 gave %3 rows of outputs.")
                                .arg(calls.size())
                                .arg(m_name)
                                .arg(PQntuples(result.get())));
    return result;
}

// The inputs of every call, one array per input position; none when an input cannot go in.
std::vector<QByteArray> ReadBatches::arraysOf(const std::vector<Parameter> &declarations,
                                              const std::vector<std::vector<Value>> &calls)
{
    const auto eachInput = [&](const std::vector<Value> &call, auto &&visit) {
        for (std::size_t p = 0, array = 0; p < declarations.size(); ++p) {
            if (declarations[p].direction == adParamInput && !visit(m_arrays[array++], call[p]))
                return false;
        }
        return true;
    };
    for (const std::vector<Value> &call : calls) {
        if (!eachInput(call,
                       [](const BinaryArray &array, const Value &v) { return array.canAdd(v); }))
            return {};
    }
    for (const std::vector<Value> &call : calls)
        eachInput(call, [](BinaryArray &array, const Value &v) {
            array.add(v);
            return true;
        });
    std::vector<QByteArray> arrays;
    for (BinaryArray &array : m_arrays)
        arrays.push_back(array.take());
    return arrays;
}

bool ReadBatches::prepared()
{
    if (m_statement || m_refused)
        return m_statement != nullptr;
    m_refused = true;
    const std::optional<BatchFunction> function = batchFunction(*m_session, m_name, m_inputs);
    if (!function)
        return false;
    m_session->run("SAVEPOINT zarn_prepare");
    try {
        m_statement = std::make_unique<PreparedStatement>(m_session, readBatchText(*function),
                                                          function->arrayTypes);
        m_session->run("RELEASE SAVEPOINT zarn_prepare");
    } catch (const UnavailableError &) {
        throw;
    } catch (const DatabaseError &) {
        m_statement.reset();
        m_session->run("ROLLBACK TO SAVEPOINT zarn_prepare");
        m_session->run("RELEASE SAVEPOINT zarn_prepare");
        return false;
    }
    for (const Oid type : function->elementTypes)
        m_arrays.emplace_back(type, *elementKind(type));
    m_refused = false;
    return true;
}

} // namespace zarn::dal::pg
