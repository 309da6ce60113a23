#include "platform/dal/odbc/OdbcParameterArray.h"

#include "platform/Error.h"

#include <algorithm>
#include <cstring>
#include <sql.h>
#include <sqlext.h>

namespace zarn::dal::odbc {
namespace {

// The size of one element of a fixed-size C type, which the driver steps by whatever buffer
// length is given; 0 for a text, whose elements are as long as the array's longest.
SqlLength fixedElementBytes(short cType)
{
    switch (cType) {
    case SQL_C_SSHORT:
        return sizeof(SQLSMALLINT);
    case SQL_C_SLONG:
        return sizeof(SQLINTEGER);
    case SQL_C_SBIGINT:
        return sizeof(SQLBIGINT);
    case SQL_C_DOUBLE:
        return sizeof(SQLDOUBLE);
    case SQL_C_BIT:
        return sizeof(SQLCHAR);
    case SQL_C_TYPE_TIMESTAMP:
        return sizeof(SQL_TIMESTAMP_STRUCT);
    default:
        return 0;
    }
}

void setPointerAttribute(const StatementHandle &statement, SQLINTEGER attribute, void *value)
{
    statement.check(SQLSetStmtAttr(statement.get(), attribute, value, 0));
}

void setNumberAttribute(const StatementHandle &statement, SQLINTEGER attribute, SQLULEN value)
{
    setPointerAttribute(statement, attribute, reinterpret_cast<SQLPOINTER>(value));
}

} // namespace

ParameterArray::ParameterArray(const std::vector<Parameter> &declarations,
                               const std::vector<std::vector<Value>> &inputs, std::size_t from,
                               std::size_t to)
{
    std::vector<std::vector<ParameterBuffer>> values(declarations.size());
    Parameter parameter;
    for (std::size_t call = from; call < to && !m_conversionFailure; ++call) {
        try {
            std::vector<ParameterBuffer> converted;
            converted.reserve(declarations.size());
            for (std::size_t i = 0; i < declarations.size(); ++i) {
                parameter = declarations[i];
                parameter.value = inputs[call][i];
                converted.push_back(ParameterBuffer::forDeclared(parameter));
            }
            for (std::size_t i = 0; i < declarations.size(); ++i)
                values[i].push_back(std::move(converted[i]));
            ++m_size;
        } catch (const DatabaseError &e) {
            m_conversionFailure = e.description();
        }
    }
    if (m_size == 0)
        return;
    for (const std::vector<ParameterBuffer> &column : values)
        m_columns.push_back(columnOf(column));
}

// A text column takes the widest of its texts; its values' own types differ only in length.
ParameterArray::Column ParameterArray::columnOf(const std::vector<ParameterBuffer> &values)
{
    Column column{values.front().type(), fixedElementBytes(values.front().type().cType), {}, {}};
    if (column.elementBytes == 0) {
        for (const ParameterBuffer &value : values) {
            column.type.columnSize = std::max(column.type.columnSize, value.type().columnSize);
            if (value.type().sqlType == SQL_WLONGVARCHAR)
                column.type.sqlType = SQL_WLONGVARCHAR;
            column.elementBytes =
                std::max(column.elementBytes, static_cast<SqlLength>(value.bytes().size()));
        }
    }
    const auto element = static_cast<std::size_t>(column.elementBytes);
    column.bytes.assign(element * values.size(), 0);
    column.indicators.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::vector<char> &bytes = values[i].bytes();
        std::memcpy(column.bytes.data() + i * element, bytes.data(),
                    std::min(element, bytes.size()));
        column.indicators.push_back(values[i].indicator());
    }
    return column;
}

void ParameterArray::bind(const StatementHandle &statement)
{
    m_statuses.assign(m_size, SQL_PARAM_UNUSED);
    m_processed = 0;
    setNumberAttribute(statement, SQL_ATTR_PARAM_BIND_TYPE, SQL_PARAM_BIND_BY_COLUMN);
    setNumberAttribute(statement, SQL_ATTR_PARAMSET_SIZE, m_size);
    setPointerAttribute(statement, SQL_ATTR_PARAM_STATUS_PTR, m_statuses.data());
    setPointerAttribute(statement, SQL_ATTR_PARAMS_PROCESSED_PTR, &m_processed);
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        Column &column = m_columns[i];
        statement.check(SQLBindParameter(
            statement.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, column.type.cType,
            column.type.sqlType, column.type.columnSize, column.type.decimalDigits,
            column.bytes.data(), column.elementBytes, column.indicators.data()));
    }
}

bool ParameterArray::everyCallSucceeded() const
{
    return m_processed == m_size &&
           std::all_of(m_statuses.begin(), m_statuses.end(), [](unsigned short status) {
               return status == SQL_PARAM_SUCCESS || status == SQL_PARAM_SUCCESS_WITH_INFO;
           });
}

} // namespace zarn::dal::odbc
