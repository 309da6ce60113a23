#include "platform/dal/Provider.h"

#include <utility>

namespace zarn::dal {

void ProcedureCall::queue(const std::vector<Parameter> &parameters)
{
    if (m_queued.inputs.empty())
        m_queued.declarations = parameters;
    std::vector<Value> inputs;
    inputs.reserve(parameters.size());
    for (const Parameter &parameter : parameters)
        inputs.push_back(parameter.direction == adParamInput ? parameter.value : Value());
    m_queued.inputs.push_back(std::move(inputs));
}

void ProcedureCall::flush()
{
    const QueuedCalls calls = takeQueued();
    executeEach(calls, 0, calls.inputs.size());
}

ProcedureCall::QueuedCalls ProcedureCall::takeQueued()
{
    return std::exchange(m_queued, {});
}

void ProcedureCall::executeEach(const QueuedCalls &calls, std::size_t from, std::size_t to)
{
    std::vector<Parameter> parameters = calls.declarations;
    for (std::size_t done = from; done < to; ++done) {
        for (std::size_t i = 0; i < parameters.size(); ++i)
            parameters[i].value = calls.inputs[done][i];
        try {
            execute(parameters);
        } catch (const ConnectionLostError &) {
            throw;
        } catch (const DatabaseError &e) {
            throw BatchError(e, done);
        }
    }
}

void ProcedureCall::flushAndCommit(Provider &provider)
{
    flush();
    provider.commit();
}

} // namespace zarn::dal
