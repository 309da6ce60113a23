#include "platform/DateTime.h"
#include "platform/TimeOfDay.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <vector>

// Dates and times as operators type them into the window or the batch mode's options, in their
// own locale's forms; the machine's ISO texts are read in DateTime.cpp.

namespace zarn {

using datetime_detail::TimeOfDay;

namespace {

// Splits "date time" into the date text and the time of day. The time is a trailing
// "H:MM[:SS[.fff]]" with an optional AM/PM marker; without one the whole text is the date.
struct SplitText
{
    QString date;
    std::optional<TimeOfDay> time;
    bool valid = true;
};

bool isMarker(const QString &marker, const QString &candidate)
{
    return !candidate.isEmpty() && marker.compare(candidate, Qt::CaseInsensitive) == 0;
}

SplitText splitTime(const QString &text, const QLocale &locale)
{
    static const QRegularExpression timePattern(
        QStringLiteral(R"(^(.*\S)\s+(\d{1,2}):(\d{2})(?::(\d{2})(?:[.,](\d+))?)?(?:\s*(\S+))?$)"));
    const QRegularExpressionMatch match = timePattern.match(text);
    if (!match.hasMatch())
        return {text, std::nullopt};
    TimeOfDay t;
    t.hour = match.captured(2).toInt();
    t.minute = match.captured(3).toInt();
    t.second = match.captured(4).toInt();
    t.millisecond = datetime_detail::fractionToMs(match.captured(5));
    const QString marker = match.captured(6);
    if (!marker.isEmpty()) {
        const bool am = isMarker(marker, locale.amText()) || isMarker(marker, QStringLiteral("AM"));
        const bool pm = isMarker(marker, locale.pmText()) || isMarker(marker, QStringLiteral("PM"));
        if ((!am && !pm) || t.hour < 1 || t.hour > 12)
            return {text, std::nullopt, false};
        t.hour = (t.hour % 12) + (pm ? 12 : 0);
    }
    return {match.captured(1), t};
}

// A two-digit year read as such lands in 1930..2029, as users expect of short dates.
int widenTwoDigitYear(int year)
{
    const int yy = year % 100;
    return yy < 30 ? 2000 + yy : 1900 + yy;
}

// A locale's date format as people type it: day and month with one or two digits, the year
// with four or, read as such, two.
struct TypedFormat
{
    QString longYear;
    QString shortYear;
};

TypedFormat typedFormat(QString format)
{
    static const QRegularExpression paddedDay(QStringLiteral("(?<!d)dd(?!d)"));
    static const QRegularExpression paddedMonth(QStringLiteral("(?<!M)MM(?!M)"));
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    static const QRegularExpression fourDigitYear(QStringLiteral("yyyy"));
    format.replace(paddedDay, QStringLiteral("d"));
    format.replace(paddedMonth, QStringLiteral("M"));
    format.replace(twoDigitYear, QStringLiteral("yyyy"));
    QString shortYear = format;
    shortYear.replace(fourDigitYear, QStringLiteral("yy"));
    return {format, shortYear};
}

// The locale's short and long date forms, and the long one without its weekday, since that is
// how a long date is usually typed ("March 5, 2024", "5. März 2024").
QString longFormatWithoutWeekday(const QLocale &locale)
{
    static const QRegularExpression weekday(QStringLiteral(R"(\s*dddd[,\s]*)"));
    QString format = locale.dateFormat(QLocale::LongFormat);
    format.replace(weekday, QString());
    return format.trimmed();
}

std::vector<TypedFormat> localeDateFormats(const QLocale &locale)
{
    return {typedFormat(locale.dateFormat(QLocale::ShortFormat)),
            typedFormat(locale.dateFormat(QLocale::LongFormat)),
            typedFormat(longFormatWithoutWeekday(locale))};
}

std::optional<QDate> parseLocaleDate(const QString &text, const QLocale &locale)
{
    for (const TypedFormat &format : localeDateFormats(locale)) {
        const QDate withLongYear = locale.toDate(text, format.longYear);
        if (withLongYear.isValid())
            return withLongYear;
        const QDate withShortYear = locale.toDate(text, format.shortYear);
        if (withShortYear.isValid())
            return QDate(widenTwoDigitYear(withShortYear.year()), withShortYear.month(),
                         withShortYear.day());
    }
    return std::nullopt;
}

// "2024-3-5": an ISO date whose month and day have one digit or two.
std::optional<QDate> parseLooseIsoDate(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(\d{3,4})-(\d{1,2})-(\d{1,2})$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return QDate(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
}

// A date as the operator types it, with an optional time after a blank (or, after an ISO
// date, a "T").
std::optional<DateTime> parseTyped(const QString &text, const QLocale &locale)
{
    static const QRegularExpression isoDateThenT(QStringLiteral(R"(^(\d{3,4}-\d{1,2}-\d{1,2})T)"));
    QString typed = text.trimmed();
    typed.replace(isoDateThenT, QStringLiteral("\\1 "));
    const SplitText split = splitTime(typed, locale);
    if (!split.valid)
        return std::nullopt;
    std::optional<QDate> date = parseLooseIsoDate(split.date);
    if (!date)
        date = parseLocaleDate(split.date, locale);
    if (!date || !date->isValid())
        return std::nullopt;
    return datetime_detail::combine(date->year(), date->month(), date->day(),
                                    split.time.value_or(TimeOfDay{}));
}

// The calendar's last second; what lies beyond it (a fraction that rounds up into the year
// 10000) has no four-digit year and would sort before every other date as text.
DateTime lastTypedDateTime()
{
    return DateTime::fromParts(9999, 12, 31, 23, 59, 59);
}

} // namespace

std::optional<DateTime> DateTime::parse(const QString &text)
{
    std::optional<DateTime> result = parseIso(text);
    if (!result)
        result = parseTyped(text, QLocale());
    if (!result || *result > lastTypedDateTime())
        return std::nullopt;
    return result;
}

QString DateTime::typedFormsHint()
{
    const QLocale locale;
    const QDate sample(2024, 3, 5);
    return QStringLiteral("A date as 2024-03-05 or 2024-3-5, as %1 or as %2,\n"
                          "with a time after it if wanted: 9:30, 09:30:15 or, after\n"
                          "2024-03-05, T09:30. A date alone means midnight.")
        .arg(locale.toString(sample, QLocale::ShortFormat),
             locale.toString(sample, longFormatWithoutWeekday(locale)));
}

} // namespace zarn
