#pragma once

// Values to and from the PostgreSQL server, in their text form.

#include "platform/Value.h"
#include "platform/dal/postgresql/PgSession.h"

#include <QByteArray>
#include <optional>
#include <vector>

namespace zarn::dal::pg {

// The text form of a value as a parameter; nothing for Null and Empty.
std::optional<QByteArray> parameterText(const Value &value);

// The parameter values of one execution in the form the client library takes them: every
// parameter goes as text and the server converts it to the type that the statement gives it.
class ParameterTexts
{
public:
    void add(const Value &value) { m_texts.push_back(parameterText(value)); }

    int count() const { return static_cast<int>(m_texts.size()); }
    // Valid until the next add.
    const char *const *values();

private:
    std::vector<std::optional<QByteArray>> m_texts;
    std::vector<const char *> m_pointers;
};

ParameterTexts parameterTexts(const std::vector<Value> &values);

// A column of a result row as a value of the column's own kind.
Value fieldValue(const PGresult *result, int row, int column);

} // namespace zarn::dal::pg
