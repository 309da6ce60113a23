#include "platform/dal/postgresql/PgBinary.h"

#include "platform/dal/postgresql/PgValues.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <libpq-fe.h>
#include <limits>

namespace zarn::dal::pg {

namespace {

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar (H. Hinnant's algorithm).
long long civilDays(long long year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

const long long epoch2000 = civilDays(2000, 1, 1);

template <typename T> void appendBigEndian(QByteArray &out, T value)
{
    using U = std::make_unsigned_t<T>;
    U bits = static_cast<U>(value);
    char bytes[sizeof(T)];
    for (int i = static_cast<int>(sizeof(T)) - 1; i >= 0; --i) {
        bytes[i] = static_cast<char>(bits & 0xFF);
        bits >>= 8;
    }
    out.append(bytes, sizeof(T));
}

void appendLength(QByteArray &out, qsizetype length)
{
    appendBigEndian(out, static_cast<std::int32_t>(length));
}

bool isInteger(const Value &value)
{
    switch (value.kind()) {
    case Value::Kind::Int16:
    case Value::Kind::Int32:
    case Value::Kind::Int64:
        return true;
    default:
        return false;
    }
}

long long integerOf(const Value &value)
{
    // Int64 has no accessor of its own; its text form is exact.
    if (value.kind() == Value::Kind::Int64)
        return value.toText().toLongLong();
    return value.toInt32();
}

// An integer value, or a double of an integral value, as the text form reads into an
// integer of the given range; nothing otherwise (the server is left to refuse it).
std::optional<long long> integerWithin(const Value &value, long long lowest, long long highest)
{
    long long number = 0;
    if (isInteger(value)) {
        number = integerOf(value);
    } else if (value.kind() == Value::Kind::Bool) {
        number = value.toBool() ? 1 : 0;
    } else if (value.kind() == Value::Kind::Double) {
        const double d = value.toDouble();
        // The text form of an integral double below 2^53 is its digits alone.
        if (!(std::abs(d) < 9007199254740992.0) || d != std::trunc(d))
            return std::nullopt;
        number = static_cast<long long>(d);
    } else {
        return std::nullopt;
    }
    if (number < lowest || number > highest)
        return std::nullopt;
    return number;
}

} // namespace

std::optional<ElementKind> elementKind(Oid type)
{
    switch (type) {
    case 16:
        return ElementKind::Bool;
    case 21:
        return ElementKind::Int2;
    case 23:
        return ElementKind::Int4;
    case 20:
        return ElementKind::Int8;
    case 701:
        return ElementKind::Float8;
    case 25:   // text
    case 1043: // varchar
        return ElementKind::Text;
    case 1082:
        return ElementKind::Date;
    case 1114:
        return ElementKind::Timestamp;
    default:
        return std::nullopt;
    }
}

std::int64_t timestampMicroseconds(DateTime value)
{
    const DateTime::Parts p = value.parts();
    const long long days =
        civilDays(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) - epoch2000;
    const long long milliseconds =
        ((p.hour * 60LL + p.minute) * 60LL + p.second) * 1000LL + p.millisecond;
    return days * 86400000000LL + milliseconds * 1000LL;
}

std::int32_t dateDays(DateTime value)
{
    const DateTime::Parts p = value.parts();
    return static_cast<std::int32_t>(
        civilDays(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) -
        epoch2000);
}

bool BinaryArray::canAdd(const Value &value) const
{
    if (value.isNull() || value.isEmpty())
        return true;
    switch (m_kind) {
    case ElementKind::Bool:
        return value.kind() == Value::Kind::Bool;
    case ElementKind::Int2:
        return integerWithin(value, std::numeric_limits<std::int16_t>::min(),
                             std::numeric_limits<std::int16_t>::max())
            .has_value();
    case ElementKind::Int4:
        return integerWithin(value, std::numeric_limits<std::int32_t>::min(),
                             std::numeric_limits<std::int32_t>::max())
            .has_value();
    case ElementKind::Int8:
        return integerWithin(value, std::numeric_limits<std::int64_t>::min(),
                             std::numeric_limits<std::int64_t>::max())
            .has_value();
    case ElementKind::Float8:
        return value.kind() == Value::Kind::Double || value.kind() == Value::Kind::Bool ||
               isInteger(value);
    case ElementKind::Text: {
        // The text form ends at a zero character; such a value is left to the one-by-one call.
        const std::optional<QByteArray> text = parameterText(value);
        return text && !text->contains('\0');
    }
    case ElementKind::Date:
    case ElementKind::Timestamp:
        return value.kind() == Value::Kind::DateTime;
    }
    return false;
}

void BinaryArray::add(const Value &value)
{
    ++m_count;
    if (value.isNull() || value.isEmpty()) {
        m_hasNull = true;
        appendLength(m_elements, -1);
        return;
    }
    switch (m_kind) {
    case ElementKind::Bool:
        appendLength(m_elements, 1);
        m_elements.append(value.toBool() ? '\1' : '\0');
        break;
    case ElementKind::Int2:
        appendLength(m_elements, 2);
        appendBigEndian(m_elements,
                        static_cast<std::int16_t>(*integerWithin(value, -32768, 32767)));
        break;
    case ElementKind::Int4:
        appendLength(m_elements, 4);
        appendBigEndian(m_elements, static_cast<std::int32_t>(*integerWithin(
                                        value, std::numeric_limits<std::int32_t>::min(),
                                        std::numeric_limits<std::int32_t>::max())));
        break;
    case ElementKind::Int8:
        appendLength(m_elements, 8);
        appendBigEndian(m_elements, static_cast<std::int64_t>(*integerWithin(
                                        value, std::numeric_limits<std::int64_t>::min(),
                                        std::numeric_limits<std::int64_t>::max())));
        break;
    case ElementKind::Float8: {
        const double d = value.kind() == Value::Kind::Double ? value.toDouble()
                         : value.kind() == Value::Kind::Bool
                             ? (value.toBool() ? 1.0 : 0.0)
                             : static_cast<double>(integerOf(value));
        appendLength(m_elements, 8);
        appendBigEndian(m_elements, std::bit_cast<std::uint64_t>(d));
        break;
    }
    case ElementKind::Text: {
        const QByteArray text = *parameterText(value);
        appendLength(m_elements, text.size());
        m_elements.append(text);
        break;
    }
    case ElementKind::Date:
        appendLength(m_elements, 4);
        appendBigEndian(m_elements, dateDays(value.toDateTime()));
        break;
    case ElementKind::Timestamp:
        appendLength(m_elements, 8);
        appendBigEndian(m_elements, timestampMicroseconds(value.toDateTime()));
        break;
    }
}

QByteArray BinaryArray::take()
{
    QByteArray out;
    out.reserve(20 + m_elements.size());
    appendBigEndian(out, std::int32_t{1}); // dimensions
    appendBigEndian(out, std::int32_t{m_hasNull ? 1 : 0});
    appendBigEndian(out, static_cast<std::uint32_t>(m_type));
    appendBigEndian(out, std::int32_t{m_count});
    appendBigEndian(out, std::int32_t{1}); // lower bound
    out.append(m_elements);
    m_elements.clear();
    m_count = 0;
    m_hasNull = false;
    return out;
}

} // namespace zarn::dal::pg
