#include "platform/Value.h"

#include "platform/Error.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <limits>

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
// large or very small, where the exponent form stays readable.
QString doubleText(double v)
{
    if (std::isnan(v))
        return QStringLiteral("NaN");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (v == 0.0)
        return QStringLiteral("0");

    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.14e", v);
    const QString scientific = QString::fromLatin1(buffer);
    const qsizetype e = scientific.indexOf(QLatin1Char('e'));
    const int exponent = scientific.mid(e + 1).toInt();
    const bool negative = v < 0;
    QString digits = scientific.left(e).remove(QLatin1Char('-')).remove(QLatin1Char('.'));
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);

    QString text;
    if (exponent >= 15 || exponent < -5) {
        text = digits.left(1);
        if (digits.size() > 1)
            text += QLatin1Char('.') + digits.mid(1);
        text += QStringLiteral("E%1%2")
                    .arg(exponent < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                    .arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
    } else if (exponent < 0) {
        text = QStringLiteral("0.") + QString(-exponent - 1, QLatin1Char('0')) + digits;
    } else if (digits.size() <= exponent + 1) {
        text = digits + QString(exponent + 1 - digits.size(), QLatin1Char('0'));
    } else {
        text = digits.left(exponent + 1) + QLatin1Char('.') + digits.mid(exponent + 1);
    }
    return negative ? QLatin1Char('-') + text : text;
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
    static const QRegularExpression numberPattern(
        QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$)"));
    if (!numberPattern.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
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
