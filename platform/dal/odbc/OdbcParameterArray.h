#pragma once

#include "platform/Value.h"
#include "platform/dal/Types.h"
#include "platform/dal/odbc/OdbcSession.h"
#include "platform/dal/odbc/OdbcValues.h"

#include <QString>
#include <cstddef>
#include <optional>
#include <vector>

namespace zarn::dal::odbc {

// The inputs of many calls of one procedure for one execution of a parameter array: each
// parameter's values side by side in a buffer of its own (bound column-wise), converted to the
// parameter's declared type as a single call converts them.
class ParameterArray
{
public:
    // The calls [from, to) of inputs, stopping before the first call with a value that does not
    // fit its parameter.
    ParameterArray(const std::vector<Parameter> &declarations,
                   const std::vector<std::vector<Value>> &inputs, std::size_t from, std::size_t to);
    ParameterArray(const ParameterArray &) = delete;
    ParameterArray &operator=(const ParameterArray &) = delete;

    // How many calls were converted, the first of them the call `from`.
    std::size_t size() const { return m_size; }
    // Why the call after the converted ones does not fit, where one does not.
    const std::optional<QString> &conversionFailure() const { return m_conversionFailure; }

    // Binds the arrays and their size on the statement; they stay bound until its reset.
    void bind(const StatementHandle &statement);
    // After an execution: whether the driver ran every call and reported none as failed.
    bool everyCallSucceeded() const;

private:
    struct Column
    {
        SqlType type;
        SqlLength elementBytes;
        std::vector<char> bytes;
        std::vector<SqlLength> indicators;
    };

    static Column columnOf(const std::vector<ParameterBuffer> &values);

    std::vector<Column> m_columns;
    std::size_t m_size = 0;
    std::optional<QString> m_conversionFailure;
    std::vector<unsigned short> m_statuses;
    SqlULength m_processed = 0;
};

} // namespace zarn::dal::odbc
