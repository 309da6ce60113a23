#include "platform/dal/Provider.h"

namespace zarn::dal {

void ProcedureCall::queue(const std::vector<Parameter> &parameters)
{
    if (m_queuedInputs.empty())
        m_queuedDeclarations = parameters;
    std::vector<Value> inputs;
    inputs.reserve(parameters.size());
    for (const Parameter &parameter : parameters)
        inputs.push_back(parameter.direction == adParamInput ? parameter.value : Value());
    m_queuedInputs.push_back(std::move(inputs));
}

void ProcedureCall::flush()
{
    std::vector<std::vector<Value>> calls;
    calls.swap(m_queuedInputs);
    std::vector<Parameter> parameters = m_queuedDeclarations;
    for (std::size_t done = 0; done < calls.size(); ++done) {
        for (std::size_t i = 0; i < parameters.size(); ++i)
            parameters[i].value = calls[done][i];
        try {
            execute(parameters);
        } catch (const DatabaseError &e) {
            throw BatchError(e.description(), done);
        }
    }
}

void ProcedureCall::flushCommitAndBegin(Provider &provider)
{
    flush();
    provider.commit();
    provider.beginTransaction();
}

} // namespace zarn::dal
