#pragma once

#include "platform/Value.h"
#include "platform/dal/Types.h"
#include "platform/dal/odbc/OdbcSession.h"

#include <QString>
#include <vector>

// Values on their way to and from the driver: parameters bound from buffers, columns read by
// their SQL type.
namespace zarn::dal::odbc {

// How a value is bound: its buffer's C type, its SQL type and their size and digits.
struct SqlType
{
    short cType;
    short sqlType;
    SqlULength columnSize;
    short decimalDigits;
};

// One parameter's value in a buffer of its own, which stays in place until the execution that
// uses it has ended.
class ParameterBuffer
{
public:
    // A value bound as its own kind; Null and Empty go as a Null text.
    static ParameterBuffer forValue(const Value &value);
    // An input converted to its declared type (a Null of that type for Null and Empty), or
    // room for an output as text. Throws DatabaseError for a value that does not fit.
    static ParameterBuffer forDeclared(const Parameter &parameter);

    void bind(const StatementHandle &statement, int position, short direction);
    // The output that the driver left in the buffer, as text or Null.
    Value outputText(const QString &name) const;

    const SqlType &type() const { return m_type; }
    const std::vector<char> &bytes() const { return m_bytes; }
    // The value's length in bytes, or the driver's mark for Null.
    SqlLength indicator() const { return m_indicator; }

private:
    static SqlType declaredType(const Parameter &parameter);
    void storeConverted(const Parameter &parameter);
    template <typename T> void store(const SqlType &type, const T &data);
    void storeText(const QString &text);
    void storeNull(const SqlType &type);
    void reserveOutput(const Parameter &parameter);

    SqlType m_type;
    std::vector<char> m_bytes;
    SqlLength m_indicator;

    ParameterBuffer();
};

// The columns of a statement's current result and its rows, read one at a time.
class ResultRows
{
public:
    // Takes the result that the statement has now; none when the execution gave no rows.
    void describe(const StatementHandle &statement);
    void clear();

    // Moves to the next row; at the end the statement's cursor is closed, so that it holds
    // nothing on the server.
    bool next(const StatementHandle &statement);

    int columnCount() const { return static_cast<int>(m_columns.size()); }
    QString columnName(int column) const;
    Value value(int column) const;

private:
    struct Column
    {
        QString name;
        short type;
    };

    static Column describeColumn(const StatementHandle &statement, unsigned short column);
    void checkColumn(int column) const;

    std::vector<Column> m_columns;
    std::vector<Value> m_row;
    bool m_open = false;
    bool m_onRow = false;
};

} // namespace zarn::dal::odbc
