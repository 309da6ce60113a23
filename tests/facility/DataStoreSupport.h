#pragma once

#include "platform/Value.h"
#include "platform/dal/Connection.h"
#include "platform/dal/Recordset.h"
#include "support/ServerContext.h"

#include <QString>

// What the daily-data store tests share: reading a value back, and a change to the stand-in
// facility that each server writes in its own SQL.
namespace zarn::test {

// The first field of the first row, Null when there is none; database errors are raised.
inline Value scalar(dal::Connection &connection, const QString &sql,
                    const std::vector<Value> &params = {})
{
    dal::Recordset rs = connection.Execute(sql, params);
    return rs.Eof() ? Value::null() : rs.Fields(0).Value();
}

// Makes the one-minute store refuse to store the given value: the write-value procedure fails
// for it, and for no other.
inline void refuseValue(dal::Connection &facility, double value)
{
    const QString number = QString::number(value);
    serverContext().runOwnScript(
        facility, {QStringLiteral("CREATE TRIGGER refuse_value BEFORE INSERT ON DD1_VALUES "
                                  "WHEN NEW.curvalue = %1 BEGIN "
                                  "SELECT RAISE(ABORT, 'the value %1 is refused'); END")
                       .arg(number),
                   QStringLiteral("ALTER TABLE DD1_VALUES ADD CONSTRAINT refuse_value "
                                  "CHECK (curvalue IS DISTINCT FROM %1)")
                       .arg(number),
                   QStringLiteral("ALTER TABLE DD1_VALUES ADD CONSTRAINT refuse_value "
                                  "CHECK (NOT curvalue <=> %1)")
                       .arg(number)});
}

} // namespace zarn::test
