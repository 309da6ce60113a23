#include "platform/Value.h"

#include "platform/Error.h"

#include <QStringView>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace zarn {

namespace {

template <class... F> struct Overloaded : F...
{
    using F::operator()...;
};
template <class... F> Overloaded(F...) -> Overloaded<F...>;

template <class Integer> Integer toInteger(double v)
{
    const double rounded = roundHalfEven(v);
    if (std::isnan(rounded) || rounded < static_cast<double>(std::numeric_limits<Integer>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Integer>::max()))
        throw overflow();
    return static_cast<Integer>(rounded);
}

// Up to 15 significant digits without trailing zeros; plain decimal unless the number is very
// large or very small, where the exponent form stays readable. The digits are those of
// printf's "%.14e" (correctly rounded), which std::to_chars gives without printf's cost.
QString doubleText(double v)
{
    if (std::isnan(v))
        return QStringLiteral("NaN");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (v == 0.0)
        return QStringLiteral("0");

    // "d.dddddddddddddde[+-]x..." for the magnitude: 15 digits, then the exponent.
    char scientific[32];
    char *const end = std::to_chars(scientific, scientific + sizeof scientific, std::abs(v),
                                    std::chars_format::scientific, 14)
                          .ptr;
    char *const e = std::find(scientific, end, 'e');
    int exponent = 0;
    std::from_chars(e + 2, end, exponent);
    if (e[1] == '-')
        exponent = -exponent;
    std::string digits;
    digits.reserve(15);
    digits += scientific[0];
    digits.append(scientific + 2, e);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const auto digitCount = static_cast<int>(digits.size());

    std::string text;
    text.reserve(32);
    if (v < 0)
        text += '-';
    if (exponent >= 15 || exponent < -5) {
        text += digits[0];
        if (digitCount > 1)
            text.append(".").append(digits, 1);
        text += exponent < 0 ? "E-" : "E+";
        if (std::abs(exponent) < 10)
            text += '0';
        text += std::to_string(std::abs(exponent));
    } else if (exponent < 0) {
        text.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
    } else if (digitCount <= exponent + 1) {
        text.append(digits).append(static_cast<std::size_t>(exponent + 1 - digitCount), '0');
    } else {
        const auto integerDigits = static_cast<std::size_t>(exponent + 1);
        text.append(digits, 0, integerDigits).append(".").append(digits, integerDigits);
    }
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The blanks that may stand around a number: space, tab, line feed, vertical tab, form feed and
// carriage return.
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || (c >= QLatin1Char('\t') && c <= QLatin1Char('\r'));
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The text of a plain decimal number without its blanks and without a plus sign, in the form
// std::from_chars reads: [-](digits[.[digits]] | .digits)[(e|E)[+|-]digits]. Nothing when the
// text has another form. One pass over the text.
std::optional<std::string> plainDecimalForm(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    std::string form;
    form.reserve(static_cast<std::size_t>(last - first));
    qsizetype i = first;
    const auto takeDigits = [&] {
        const qsizetype start = i;
        for (; i < last && isDigit(text[i]); ++i)
            form += static_cast<char>(text[i].unicode());
        return i - start;
    };
    const auto take = [&](char wanted) {
        if (i == last || text[i] != QLatin1Char(wanted))
            return false;
        form += wanted;
        ++i;
        return true;
    };
    if (!take('-') && i < last && text[i] == QLatin1Char('+'))
        ++i;
    const qsizetype integerDigits = takeDigits();
    const qsizetype fractionDigits = take('.') ? takeDigits() : 0;
    if (integerDigits == 0 && fractionDigits == 0)
        return std::nullopt;
    if (take('e') || take('E')) {
        if (!take('-') && i < last && text[i] == QLatin1Char('+'))
            ++i;
        if (takeDigits() == 0)
            return std::nullopt;
    }
    if (i != last)
        return std::nullopt;
    return form;
}

// The range of calendar days a date-time can hold: 100-01-01 to the end of 9999-12-31.
bool isInDateRange(double days)
{
    constexpr double firstDay = -657434.0;
    constexpr double endOfLastDay = 2958466.0;
    return days >= firstDay && days < endOfLastDay;
}

} // namespace

Value Value::null()
{
    Value v;
    v.m_data = NullTag{};
    return v;
}

Value::Kind Value::kind() const
{
    return static_cast<Kind>(m_data.index());
}

double Value::toDouble() const
{
    return std::visit(Overloaded{
                          [](std::monostate) { return 0.0; },
                          [](NullTag) -> double { throw invalidUseOfNull(); },
                          [](std::int16_t v) { return static_cast<double>(v); },
                          [](std::int32_t v) { return static_cast<double>(v); },
                          [](std::int64_t v) { return static_cast<double>(v); },
                          [](double v) { return v; },
                          [](bool v) { return v ? 1.0 : 0.0; },
                          [](const QString &v) {
                              const std::optional<double> number = parseNumber(v);
                              if (!number)
                                  throw typeMismatch();
                              return *number;
                          },
                          [](const DateTime &) -> double { throw typeMismatch(); },
                      },
                      m_data);
}

std::int16_t Value::toInt16() const
{
    if (const auto *v = std::get_if<std::int64_t>(&m_data)) {
        if (*v < std::numeric_limits<std::int16_t>::min() ||
            *v > std::numeric_limits<std::int16_t>::max())
            throw overflow();
        return static_cast<std::int16_t>(*v);
    }
    return toInteger<std::int16_t>(toDouble());
}

std::int32_t Value::toInt32() const
{
    if (const auto *v = std::get_if<std::int64_t>(&m_data)) {
        if (*v < std::numeric_limits<std::int32_t>::min() ||
            *v > std::numeric_limits<std::int32_t>::max())
            throw overflow();
        return static_cast<std::int32_t>(*v);
    }
    return toInteger<std::int32_t>(toDouble());
}

bool Value::toBool() const
{
    if (const auto *text = std::get_if<QString>(&m_data)) {
        const QString trimmed = text->trimmed();
        if (trimmed.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
            return true;
        if (trimmed.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
            return false;
    }
    if (const auto *flag = std::get_if<bool>(&m_data))
        return *flag;
    return toDouble() != 0.0;
}

QString Value::toText() const
{
    return std::visit(
        Overloaded{
            [](std::monostate) { return QString(); },
            [](NullTag) -> QString { throw invalidUseOfNull(); },
            [](std::int16_t v) { return QString::number(v); },
            [](std::int32_t v) { return QString::number(v); },
            [](std::int64_t v) { return QString::number(v); },
            [](double v) { return doubleText(v); },
            [](bool v) { return v ? QStringLiteral("True") : QStringLiteral("False"); },
            [](const QString &v) { return v; },
            [](const DateTime &v) { return v.toText(); },
        },
        m_data);
}

QString Value::toTextOrEmpty() const
{
    return isNull() ? QString() : toText();
}

DateTime Value::toDateTime() const
{
    if (isNull())
        throw invalidUseOfNull();
    if (const auto *v = std::get_if<DateTime>(&m_data))
        return *v;
    if (const auto *text = std::get_if<QString>(&m_data)) {
        if (const std::optional<DateTime> parsed = DateTime::parse(*text))
            return *parsed;
        throw typeMismatch();
    }
    const double days = toDouble();
    if (!isInDateRange(days))
        throw overflow();
    return DateTime(days);
}

bool Value::isNumeric() const
{
    switch (kind()) {
    case Kind::Int16:
    case Kind::Int32:
    case Kind::Int64:
    case Kind::Double:
    case Kind::Bool:
        return true;
    case Kind::Text:
        return parseNumber(std::get<QString>(m_data)).has_value();
    default:
        return false;
    }
}

bool Value::isDate() const
{
    if (kind() == Kind::DateTime)
        return true;
    if (const auto *text = std::get_if<QString>(&m_data))
        return DateTime::parse(*text).has_value();
    return false;
}

double roundHalfEven(double v)
{
    const double below = std::floor(v);
    const double diff = v - below;
    if (diff < 0.5)
        return below;
    if (diff > 0.5)
        return below + 1.0;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

std::optional<double> parseNumber(const QString &text)
{
    const std::optional<std::string> form = plainDecimalForm(text);
    if (!form)
        return std::nullopt;
    // Correctly rounded; a number too large for a double, or one that is not zero but too small
    // to be told from zero, is out of range and no number.
    double value = 0.0;
    const std::from_chars_result read =
        std::from_chars(form->data(), form->data() + form->size(), value);
    if (read.ec != std::errc() || read.ptr != form->data() + form->size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString trimSpaces(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

} // namespace zarn
