#include "platform/dal/postgresql/PgValues.h"

#include "platform/Error.h"

#include <charconv>
#include <cmath>
#include <libpq-fe.h>

namespace zarn::dal::pg {

namespace {

// Identifiers of the server's built-in types (pg_type.oid); they never change.
constexpr Oid boolType = 16;
constexpr Oid int8Type = 20;
constexpr Oid int2Type = 21;
constexpr Oid int4Type = 23;
constexpr Oid float4Type = 700;
constexpr Oid float8Type = 701;
constexpr Oid dateType = 1082;
constexpr Oid timestampType = 1114;
constexpr Oid numericType = 1700;

} // namespace

// ---------------------------------------------------------------------------------------------
// Values to the server.

namespace {

QByteArray doubleText(double value)
{
    if (std::isnan(value))
        return QByteArrayLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
    char buffer[32];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, value); // round-trips
    return QByteArray(buffer, converted.ptr - buffer);
}

} // namespace

std::optional<QByteArray> parameterText(const Value &value)
{
    switch (value.kind()) {
    case Value::Kind::Empty:
    case Value::Kind::Null:
        return std::nullopt;
    case Value::Kind::Int16:
    case Value::Kind::Int32:
    case Value::Kind::Int64:
        return value.toText().toLatin1();
    case Value::Kind::Double:
        return doubleText(value.toDouble());
    case Value::Kind::Bool:
        // Read as a boolean by boolean columns and as a number by integer columns.
        return value.toBool() ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
    case Value::Kind::Text:
        return value.toText().toUtf8();
    case Value::Kind::DateTime:
        return value.toDateTime().toIsoText().toLatin1();
    }
    return std::nullopt;
}

// The parameter values of one execution in the form the client library takes them.
const char *const *ParameterTexts::values()
{
    m_pointers.clear();
    for (const std::optional<QByteArray> &text : m_texts)
        m_pointers.push_back(text ? text->constData() : nullptr);
    return m_pointers.data();
}

ParameterTexts parameterTexts(const std::vector<Value> &values)
{
    ParameterTexts texts;
    for (const Value &value : values)
        texts.add(value);
    return texts;
}

// ---------------------------------------------------------------------------------------------
// Values from the server, read from their text form by the column's type.

namespace {

[[noreturn]] void unreadableValue(const char *text, const char *kind)
{
    throw DatabaseError(QStringLiteral("The server sent the %1 value \"%2\", which cannot be read.")
                            .arg(QLatin1String(kind), QString::fromUtf8(text)));
}

long long integerValue(const char *text, int length)
{
    long long value = 0;
    const auto parsed = std::from_chars(text, text + length, value);
    if (parsed.ec != std::errc() || parsed.ptr != text + length)
        unreadableValue(text, "integer");
    return value;
}

double doubleValue(const char *text, int length)
{
    double value = 0;
    const auto parsed = std::from_chars(text, text + length, value); // also reads NaN, Infinity
    if (parsed.ec != std::errc() || parsed.ptr != text + length)
        unreadableValue(text, "number");
    return value;
}

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS[.ffffff]" as the ISO date style writes them; the
// fraction is rounded to the millisecond. Plain calendar arithmetic: no time zone is involved.
DateTime dateTimeValue(const char *text)
{
    if (const std::optional<DateTime> value = DateTime::parseIso(QString::fromLatin1(text)))
        return *value;
    unreadableValue(text, "date-time");
}

} // namespace

Value fieldValue(const PGresult *result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return Value::null();
    const char *text = PQgetvalue(result, row, column);
    const int length = PQgetlength(result, row, column);
    switch (PQftype(result, column)) {
    case int2Type:
        return Value(static_cast<std::int16_t>(integerValue(text, length)));
    case int4Type:
        return Value(static_cast<std::int32_t>(integerValue(text, length)));
    case int8Type:
        return Value(static_cast<std::int64_t>(integerValue(text, length)));
    case float4Type:
    case float8Type:
    case numericType:
        return Value(doubleValue(text, length));
    case boolType:
        return Value(*text == 't');
    case dateType:
    case timestampType:
        return Value(dateTimeValue(text));
    default:
        return Value(QString::fromUtf8(text, length));
    }
}

} // namespace zarn::dal::pg
