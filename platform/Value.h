#pragma once

#include "platform/DateTime.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <variant>

namespace zarn {

// A variant value as the database access layer and the import steps pass it around: Empty (no
// value assigned), Null (the database's missing value), integers of 16, 32 and 64 bits, a
// double, a boolean, a text or a date-time.
class Value
{
public:
    enum class Kind { Empty, Null, Int16, Int32, Int64, Double, Bool, Text, DateTime };

    Value() = default; // Empty
    static Value null();
    Value(std::int16_t v) : m_data(v) {}
    Value(std::int32_t v) : m_data(v) {}
    Value(std::int64_t v) : m_data(v) {}
    Value(double v) : m_data(v) {}
    Value(bool v) : m_data(v) {}
    Value(const QString &v) : m_data(v) {}
    Value(const char *v) : m_data(QString::fromUtf8(v)) {}
    Value(zarn::DateTime v) : m_data(v) {}

    Kind kind() const;
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNull() const { return kind() == Kind::Null; }

    // Conversions as the import steps use them. Numbers round to the nearest integer with a half
    // going to the even neighbour; out of range throws zarn::Error 6 (Overflow); a text that is
    // not a number, or a date-time where a number is asked, throws 13 (Type mismatch); Null
    // throws 94 (Invalid use of Null). Empty converts as 0 or empty text.
    std::int16_t toInt16() const;
    std::int32_t toInt32() const;
    double toDouble() const;
    bool toBool() const;
    // The text form: integers and doubles in plain decimal text (doubles with up to 15
    // significant digits, no trailing zeros), booleans "True"/"False", date-times by
    // DateTime::toText. Null throws 94.
    QString toText() const;
    // The text of the value joined with an empty text: Null and Empty give "".
    QString toTextOrEmpty() const;
    // A date-time, or a text that parses as one (DateTime::parse); numbers are taken as days.
    zarn::DateTime toDateTime() const;

    // True for numbers, booleans, and texts that read as a plain decimal number (optional sign,
    // decimal point, exponent, blanks around).
    bool isNumeric() const;
    // True for date-times and texts that DateTime::parse accepts.
    bool isDate() const;

    // Same kind and same content (Null equals Null).
    friend bool operator==(const Value &a, const Value &b) { return a.m_data == b.m_data; }

private:
    struct NullTag
    {
        friend bool operator==(NullTag, NullTag) { return true; }
    };
    std::variant<std::monostate, NullTag, std::int16_t, std::int32_t, std::int64_t, double, bool,
                 QString, zarn::DateTime>
        m_data;
};

// Rounds to the nearest whole number, a half going to the even neighbour.
double roundHalfEven(double v);
// Reads a plain decimal number (optional sign, digits, decimal point, exponent, blanks around).
std::optional<double> parseNumber(const QString &text);
// Removes leading and trailing spaces only; tabs and other white space stay.
QString trimSpaces(const QString &text);

} // namespace zarn
