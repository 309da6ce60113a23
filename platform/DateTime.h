#pragma once

#include <QString>
#include <optional>

namespace zarn {

// A local wall-clock date-time with no time zone: days since 30 December 1899 00:00, the time
// of day as the fraction. All conversions are plain calendar arithmetic, so a time that a
// daylight-saving change skips or repeats keeps its value.
class DateTime
{
public:
    struct Parts
    {
        int year = 1899, month = 12, day = 30;
        int hour = 0, minute = 0, second = 0, millisecond = 0;
    };

    constexpr DateTime() = default;
    constexpr explicit DateTime(double days) : m_days(days) {}

    // Throws zarn::Error (invalid procedure call) for a date outside the calendar.
    static DateTime fromParts(const Parts &parts);
    static DateTime fromParts(int year, int month, int day, int hour = 0, int minute = 0,
                              int second = 0, int millisecond = 0);
    // A calendar date and a count of milliseconds from its midnight (a day or more carries into
    // the following days); nothing for a date outside the calendar or a negative count.
    static std::optional<DateTime> fromDateAndMilliseconds(int year, int month, int day,
                                                           long long milliseconds);
    // The local wall-clock time of the machine now.
    static DateTime now();

    constexpr double days() const { return m_days; }
    // The calendar fields, the time rounded to the nearest millisecond.
    Parts parts() const;

    // "YYYY-MM-DD HH:MM:SS", with ".fff" only when there are milliseconds: the form in which
    // date-times are stored in and bound to databases. Orders as text as it orders in time.
    QString toIsoText() const;
    // The program's own text form of a date-time, used where a value becomes text: the date as
    // "YYYY-MM-DD", followed by a blank and "HH:MM:SS" when the time of day is not midnight.
    QString toText() const;

    // Accepts "YYYY-MM-DD", with " HH:MM[:SS[.fff]]" or "THH:MM[:SS[.fff]]" after it, with
    // blanks around; nothing else.
    static std::optional<DateTime> parseIso(const QString &text);
    // A date-time as people type it, with blanks around: the ISO forms, "2024-3-5" (month and
    // day with one digit or two), and the user's locale short and long date forms (the long one
    // with or without its weekday), each with an optional time "H:MM[:SS[.fff]]" (with AM/PM
    // where the locale has them) after a blank, or after a "T" behind an ISO date. Nothing
    // before 100-01-01 or after 9999-12-31 23:59:59.
    static std::optional<DateTime> parse(const QString &text);
    // For the operator: the forms parse accepts, described with examples in the user's locale.
    static QString typedFormsHint();

    friend constexpr bool operator==(DateTime a, DateTime b) { return a.m_days == b.m_days; }
    friend constexpr auto operator<=>(DateTime a, DateTime b) { return a.m_days <=> b.m_days; }

private:
    double m_days = 0.0;
};

} // namespace zarn
