#include "import/ReadingValue.h"

#include "facility/SlotArithmetic.h"
#include "platform/Error.h"

#include <QRegularExpression>
#include <cmath>

namespace zarn {

namespace {

// The texts by which servers and programs write NaN and the infinities.
bool namesNoFiniteNumber(const QString &text)
{
    static const QRegularExpression nonFinite(QStringLiteral("^\\s*[+-]?(nan|inf|infinity)\\s*$"),
                                              QRegularExpression::CaseInsensitiveOption);
    return nonFinite.match(text).hasMatch();
}

Error noFiniteNumber()
{
    return Error(errc::Overflow, QStringLiteral("the value is not a finite number (NaN and "
                                                "Infinity cannot be stored)"));
}

DateTime stampOf(const Value &timeDate)
{
    try {
        return timeDate.toDateTime();
    } catch (const Error &e) {
        if (e.number() == errc::InvalidUseOfNull)
            throw Error(e.number(), QStringLiteral("the time stamp is Null"));
        if (e.number() == errc::Overflow)
            throw Error(e.number(), QStringLiteral("the time stamp is out of the range of dates"));
        throw Error(e.number(), QStringLiteral("the time stamp is not a date"));
    }
}

double numberOf(const Value &data)
{
    if (data.isNull())
        throw Error(errc::InvalidUseOfNull, QStringLiteral("the value is Null"));
    double number = 0;
    try {
        number = data.toDouble();
    } catch (const Error &e) {
        if (data.kind() == Value::Kind::Text && namesNoFiniteNumber(data.toText()))
            throw noFiniteNumber();
        throw Error(e.number(), QStringLiteral("the value is not a number"));
    }
    if (!std::isfinite(number))
        throw noFiniteNumber();
    return number;
}

// A number's text as the store receives it: the blanks that a numeric text may have around it
// carry nothing, and the store's own seek gives its texts back without them.
QString textOf(const Value &data)
{
    const QString text = data.toText().trimmed();
    if (text.size() > textValueLength)
        throw Error(errc::Overflow,
                    QStringLiteral("the value's text is longer than the %1 characters the store "
                                   "keeps")
                        .arg(textValueLength));
    return text;
}

} // namespace

PendingWrite writeOfReading(std::int32_t varId, const Value &data, const Value &timeDate)
{
    const DateTime stamp = stampOf(timeDate);
    const double number = numberOf(data);
    return PendingWrite{slot::slotStart(stamp, readingSlotsPerDay), stamp, varId, number,
                        textOf(data)};
}

std::int64_t slotNumber(DateTime slotStart)
{
    return std::llround(slotStart.days() * readingSlotsPerDay);
}

std::optional<DateTime> stampOfReading(const Value &timeDate)
{
    try {
        return timeDate.toDateTime();
    } catch (const Error &) {
        return std::nullopt;
    }
}

} // namespace zarn
