#include "platform/DateTime.h"

#include "platform/Error.h"
#include "platform/TimeOfDay.h"

#include <QDateTime>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace zarn {

using datetime_detail::combine;
using datetime_detail::fractionToMs;
using datetime_detail::TimeOfDay;

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

} // namespace

namespace datetime_detail {

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

std::optional<DateTime> combine(int y, int m, int d, const TimeOfDay &t)
{
    // The fraction may round up to 1000 ms; the carry simply moves into the next second.
    if (!isValidDate(y, m, d) || !isValidTime(t.hour, t.minute, t.second, 0) ||
        t.millisecond > 1000)
        return std::nullopt;
    return fromDayAndMs(y, m, d, msOfDay(t.hour, t.minute, t.second) + t.millisecond);
}

} // namespace datetime_detail

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

} // namespace zarn
