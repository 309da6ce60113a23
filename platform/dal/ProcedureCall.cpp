#include "platform/dal/Provider.h"

#include <utility>

namespace zarn::dal {

namespace {

// Keeps a call's declared parameters with the first call, and each call's inputs.
template <typename Calls> void keepCall(Calls &calls, const std::vector<Parameter> &parameters)
{
    if (calls.inputs.empty())
        calls.declarations = parameters;
    std::vector<Value> inputs;
    inputs.reserve(parameters.size());
    for (const Parameter &parameter : parameters)
        inputs.push_back(parameter.direction == adParamInput ? parameter.value : Value());
    calls.inputs.push_back(std::move(inputs));
}

} // namespace

void ProcedureCall::queue(const std::vector<Parameter> &parameters)
{
    keepCall(m_queued, parameters);
}

void ProcedureCall::queueRead(const std::vector<Parameter> &parameters)
{
    keepCall(m_queuedReads, parameters);
}

std::vector<std::vector<Value>> ProcedureCall::fetchRead()
{
    return readEach(takeQueuedReads(), [this](std::vector<Parameter> &p) { execute(p); });
}

std::vector<std::vector<Value>>
ProcedureCall::readEach(const QueuedCalls &calls,
                        const std::function<void(std::vector<Parameter> &)> &call)
{
    std::vector<Parameter> parameters = calls.declarations;
    std::vector<std::vector<Value>> results;
    results.reserve(calls.inputs.size());
    for (const std::vector<Value> &inputs : calls.inputs) {
        for (std::size_t i = 0; i < parameters.size(); ++i)
            parameters[i].value = inputs[i];
        call(parameters);
        std::vector<Value> &values = results.emplace_back();
        values.reserve(parameters.size());
        for (const Parameter &parameter : parameters)
            values.push_back(parameter.value);
    }
    return results;
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

ProcedureCall::QueuedCalls ProcedureCall::takeQueuedReads()
{
    return std::exchange(m_queuedReads, {});
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
