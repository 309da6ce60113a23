#include "platform/dal/postgresql/PgFunctionCall.h"

#include "platform/Error.h"
#include "platform/dal/postgresql/PgSql.h"

#include <QStringList>
#include <algorithm>
#include <libpq-fe.h>

namespace zarn::dal::pg {

int inputCount(const std::vector<Parameter> &parameters)
{
    return static_cast<int>(
        std::count_if(parameters.begin(), parameters.end(),
                      [](const Parameter &p) { return p.direction == adParamInput; }));
}

QString procedureCallText(const QString &name, int inputs)
{
    QStringList placeholders;
    for (int i = 1; i <= inputs; ++i)
        placeholders << u'$' + QString::number(i);
    return QStringLiteral("SELECT * FROM %1(%2)")
        .arg(quotedQualifiedName(name), placeholders.join(QStringLiteral(", ")));
}

ParameterTexts procedureInputs(const std::vector<Parameter> &parameters)
{
    ParameterTexts texts;
    for (const Parameter &parameter : parameters) {
        if (parameter.direction == adParamInput)
            texts.add(parameter.value);
    }
    return texts;
}

std::vector<Value> inputValues(const std::vector<Parameter> &parameters)
{
    std::vector<Value> values;
    values.reserve(parameters.size());
    for (const Parameter &parameter : parameters) {
        if (parameter.direction == adParamInput)
            values.push_back(parameter.value);
    }
    return values;
}

void assignOutputs(const QString &procedure, const PGresult *result,
                   std::vector<Parameter> &parameters, int row)
{
    const int outputs = static_cast<int>(parameters.size()) - inputCount(parameters);
    if (outputs > 0 && PQnfields(result) < outputs) {
        throw DatabaseError(
            QStringLiteral("The function %1 returns %2 columns for %3 output parameters.")
                .arg(procedure)
                .arg(PQnfields(result))
                .arg(outputs));
    }
    const bool hasRow = PQntuples(result) > row;
    int column = 0;
    for (Parameter &parameter : parameters) {
        if (parameter.direction == adParamInput)
            continue;
        parameter.value = hasRow ? fieldValue(result, row, column) : Value::null();
        ++column;
    }
}

} // namespace zarn::dal::pg
