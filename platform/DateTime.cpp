#include "platform/DateTime.h"

#include "platform/Error.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

namespace {

constexpr std::int64_t msPerDay = 86'400'000;
constexpr int firstYear = 100;
constexpr int lastYear = 9999;

// Days from 1970-01-01 to the given proleptic Gregorian date (Howard Hinnant's algorithm).
constexpr std::int64_t daysFromCivil(std::int64_t y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct CivilDate
{
    std::int64_t year;
    int month;
    int day;
};

CivilDate civilFromDays(std::int64_t z)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

constexpr std::int64_t epochDay = daysFromCivil(1899, 12, 30);

bool isLeapYear(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m)
{
    static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : lengths[m - 1];
}

bool isValidDate(int y, int m, int d)
{
    return y >= firstYear && y <= lastYear && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m);
}

bool isValidTime(int h, int mi, int s, int ms)
{
    return h >= 0 && h <= 23 && mi >= 0 && mi <= 59 && s >= 0 && s <= 59 && ms >= 0 && ms <= 999;
}

std::int64_t msOfDay(int h, int mi, int s)
{
    return ((std::int64_t{h} * 60 + mi) * 60 + s) * 1000;
}

// One division of an exact millisecond count, so that the stored double is the nearest one to
// the wall-clock time and reads back to the same millisecond.
DateTime fromDayAndMs(int y, int m, int d, std::int64_t ms)
{
    const std::int64_t day = daysFromCivil(y, m, d) - epochDay;
    return DateTime(static_cast<double>(day * msPerDay + ms) / static_cast<double>(msPerDay));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Date-time texts are written digit by digit into a buffer: every date-time bound to a
// database goes through here, millions in one data import.
char *putDigits(char *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

// At least four characters, zeros after any minus sign.
char *putYear(char *out, int year)
{
    if (year >= 0 && year <= 9999)
        return putDigits(out, year, 4);
    if (year < 0 && year > -1000) {
        *out++ = '-';
        return putDigits(out, -year, 3);
    }
    return std::to_chars(out, out + 12, year).ptr;
}

// "YYYY-MM-DD"
char *putDate(char *out, const DateTime::Parts &p)
{
    out = putYear(out, p.year);
    *out++ = '-';
    out = putDigits(out, p.month, 2);
    *out++ = '-';
    return putDigits(out, p.day, 2);
}

// "HH:MM:SS"
char *putTime(char *out, const DateTime::Parts &p)
{
    out = putDigits(out, p.hour, 2);
    *out++ = ':';
    out = putDigits(out, p.minute, 2);
    *out++ = ':';
    return putDigits(out, p.second, 2);
}

QString latin1Text(const char *begin, const char *end)
{
    return QString::fromLatin1(begin, end - begin);
}

// A fraction of a second given as digits after the decimal point, in whole milliseconds.
int fractionToMs(QStringView digits)
{
    if (digits.isEmpty())
        return 0;
    std::string number = "0.";
    for (const QChar digit : digits)
        number += static_cast<char>(digit.unicode());
    double fraction = 0;
    std::from_chars(number.data(), number.data() + number.size(), fraction);
    return static_cast<int>(std::lround(fraction * 1000.0));
}

struct TimeOfDay
{
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

std::optional<DateTime> combine(int y, int m, int d, const TimeOfDay &t)
{
    // The fraction may round up to 1000 ms; the carry simply moves into the next second.
    if (!isValidDate(y, m, d) || !isValidTime(t.hour, t.minute, t.second, 0) ||
        t.millisecond > 1000)
        return std::nullopt;
    return fromDayAndMs(y, m, d, msOfDay(t.hour, t.minute, t.second) + t.millisecond);
}

// Reads "YYYY-MM-DD[( |T)HH:MM[:SS[.fff]]]" between blanks (ASCII digits and white space)
// without a regular expression: every date-time read from a database goes through here.
class IsoReader
{
public:
    explicit IsoReader(QStringView text) : m_text(text) {}

    qsizetype position() const { return m_position; }
    void setPosition(qsizetype position) { m_position = position; }

    // Exactly `digits` digits.
    bool number(int digits, int &value)
    {
        if (m_position + digits > m_text.size())
            return false;
        int result = 0;
        for (int i = 0; i < digits; ++i) {
            const char16_t c = m_text[m_position + i].unicode();
            if (c < u'0' || c > u'9')
                return false;
            result = result * 10 + (c - u'0');
        }
        value = result;
        m_position += digits;
        return true;
    }
    // One or more digits, or none.
    QStringView digits()
    {
        const qsizetype start = m_position;
        while (m_position < m_text.size() && m_text[m_position] >= u'0' &&
               m_text[m_position] <= u'9')
            ++m_position;
        return m_text.mid(start, m_position - start);
    }
    bool literal(char16_t c)
    {
        if (m_position >= m_text.size() || m_text[m_position] != c)
            return false;
        ++m_position;
        return true;
    }
    void skipBlanks()
    {
        static constexpr std::u16string_view blanks = u" \t\n\v\f\r";
        while (m_position < m_text.size() &&
               blanks.find(m_text[m_position].unicode()) != std::u16string_view::npos)
            ++m_position;
    }
    bool restIsBlank()
    {
        skipBlanks();
        return m_position == m_text.size();
    }

private:
    QStringView m_text;
    qsizetype m_position = 0;
};

// The time after an ISO date: " " or "T", then "HH:MM", optionally ":SS" and ".fff".
bool readIsoTime(IsoReader &reader, TimeOfDay &t)
{
    if (!(reader.literal(u' ') || reader.literal(u'T')))
        return false;
    if (!(reader.number(2, t.hour) && reader.literal(u':') && reader.number(2, t.minute)))
        return false;
    const qsizetype afterMinutes = reader.position();
    if (!(reader.literal(u':') && reader.number(2, t.second))) {
        t.second = 0;
        reader.setPosition(afterMinutes);
        return true;
    }
    const qsizetype afterSeconds = reader.position();
    if (!reader.literal(u'.'))
        return true;
    const QStringView fraction = reader.digits();
    if (fraction.isEmpty())
        reader.setPosition(afterSeconds);
    else
        t.millisecond = fractionToMs(fraction);
    return true;
}

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
    t.millisecond = fractionToMs(match.captured(5));
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
    return combine(date->year(), date->month(), date->day(), split.time.value_or(TimeOfDay{}));
}

// The calendar's last second; what lies beyond it (a fraction that rounds up into the year
// 10000) has no four-digit year and would sort before every other date as text.
DateTime lastTypedDateTime()
{
    return DateTime::fromParts(lastYear, 12, 31, 23, 59, 59);
}

} // namespace

DateTime DateTime::fromParts(const Parts &p)
{
    if (!isValidDate(p.year, p.month, p.day) ||
        !isValidTime(p.hour, p.minute, p.second, p.millisecond))
        throw invalidProcedureCall();
    return fromDayAndMs(p.year, p.month, p.day,
                        msOfDay(p.hour, p.minute, p.second) + p.millisecond);
}

DateTime DateTime::fromParts(int year, int month, int day, int hour, int minute, int second,
                             int millisecond)
{
    return fromParts(Parts{year, month, day, hour, minute, second, millisecond});
}

std::optional<DateTime> DateTime::fromDateAndMilliseconds(int year, int month, int day,
                                                          long long milliseconds)
{
    if (!isValidDate(year, month, day) || milliseconds < 0)
        return std::nullopt;
    return fromDayAndMs(year, month, day, milliseconds);
}

DateTime DateTime::now()
{
    // The wall-clock fields as the machine shows them; no conversion through a time zone.
    const QDateTime current = QDateTime::currentDateTime();
    const QDate date = current.date();
    const QTime time = current.time();
    return fromParts(date.year(), date.month(), date.day(), time.hour(), time.minute(),
                     time.second(), time.msec());
}

DateTime::Parts DateTime::parts() const
{
    const auto total = static_cast<std::int64_t>(std::llround(m_days * msPerDay));
    const std::int64_t day = floorDiv(total, msPerDay);
    std::int64_t ms = total - day * msPerDay;
    const CivilDate date = civilFromDays(day + epochDay);
    Parts p;
    p.year = static_cast<int>(date.year);
    p.month = date.month;
    p.day = date.day;
    p.millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    p.second = static_cast<int>(ms % 60);
    ms /= 60;
    p.minute = static_cast<int>(ms % 60);
    p.hour = static_cast<int>(ms / 60);
    return p;
}

QString DateTime::toIsoText() const
{
    const Parts p = parts();
    char text[40];
    char *end = putDate(text, p);
    *end++ = ' ';
    end = putTime(end, p);
    if (p.millisecond != 0) {
        *end++ = '.';
        end = putDigits(end, p.millisecond, 3);
    }
    return latin1Text(text, end);
}

QString DateTime::toText() const
{
    const Parts p = parts();
    const bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0 && p.millisecond == 0;
    char text[40];
    char *end = putDate(text, p);
    if (!midnight) {
        *end++ = ' ';
        end = putTime(end, p);
    }
    return latin1Text(text, end);
}

std::optional<DateTime> DateTime::parseIso(const QString &text)
{
    IsoReader reader(text);
    reader.skipBlanks();
    int year = 0, month = 0, day = 0;
    if (!(reader.number(4, year) && reader.literal('-') && reader.number(2, month) &&
          reader.literal('-') && reader.number(2, day)))
        return std::nullopt;
    const qsizetype afterDate = reader.position();
    TimeOfDay t;
    if (!readIsoTime(reader, t) || !reader.restIsBlank()) {
        t = TimeOfDay{};
        reader.setPosition(afterDate);
        if (!reader.restIsBlank())
            return std::nullopt;
    }
    return combine(year, month, day, t);
}

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
