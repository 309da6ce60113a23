#pragma once

// Stored procedures on the server are functions whose parameters are declared IN and OUT in the
// listed order. A call selects from the function over its inputs; the columns of the row it
// returns are the outputs in order.

#include "platform/dal/postgresql/PgValues.h"

#include <QString>
#include <vector>

namespace zarn::dal::pg {

int inputCount(const std::vector<Parameter> &parameters);
// SELECT * FROM name($1, ...) over the inputs.
QString procedureCallText(const QString &name, int inputs);
ParameterTexts procedureInputs(const std::vector<Parameter> &parameters);
std::vector<Value> inputValues(const std::vector<Parameter> &parameters);
// The output parameters take the columns of the result's row in order, Null without one.
void assignOutputs(const QString &procedure, const PGresult *result,
                   std::vector<Parameter> &parameters, int row = 0);

} // namespace zarn::dal::pg
