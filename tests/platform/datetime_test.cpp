// Dates as the operator types them into the date boxes or gives them to --start and --end.

#include "platform/DateTime.h"

#include <QDate>
#include <QLocale>
#include <gtest/gtest.h>
#include <ostream>

namespace zarn {
void PrintTo(const DateTime &dateTime, std::ostream *os)
{
    *os << dateTime.toIsoText().toStdString();
}
} // namespace zarn

using namespace zarn;

namespace {

class LocaleGuard
{
public:
    explicit LocaleGuard(const QLocale &locale) { QLocale::setDefault(locale); }
    ~LocaleGuard() { QLocale::setDefault(m_old); }
    LocaleGuard(const LocaleGuard &) = delete;
    LocaleGuard &operator=(const LocaleGuard &) = delete;

private:
    QLocale m_old;
};

const QLocale american(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);

DateTime at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return DateTime::fromParts(year, month, day, hour, minute, second);
}

TEST(TypedDates, IsoDatesWithShortNumbersAndAnyTimeSeparator)
{
    const LocaleGuard locale(american);
    EXPECT_EQ(DateTime::parse("2024-3-5"), at(2024, 3, 5));
    EXPECT_EQ(DateTime::parse("2024-03-5"), at(2024, 3, 5));
    EXPECT_EQ(DateTime::parse("2024-03-05 9:30"), at(2024, 3, 5, 9, 30));
    EXPECT_EQ(DateTime::parse("2024-3-5 9:30:15"), at(2024, 3, 5, 9, 30, 15));
    EXPECT_EQ(DateTime::parse("2024-03-05T09:30"), at(2024, 3, 5, 9, 30));
    EXPECT_EQ(DateTime::parse("2024-3-5T9:30"), at(2024, 3, 5, 9, 30));
    EXPECT_EQ(DateTime::parse("2024-03-05   10:15"), at(2024, 3, 5, 10, 15));
    EXPECT_EQ(DateTime::parse(" \t2024-3-5 9:30  "), at(2024, 3, 5, 9, 30));
    EXPECT_EQ(DateTime::parse("2024-03-05 2:30 PM"), at(2024, 3, 5, 14, 30));
    EXPECT_EQ(DateTime::parse("2024-03-05 10:15:30,5"),
              DateTime::fromParts(2024, 3, 5, 10, 15, 30, 500));
}

TEST(TypedDates, TheLocalesShortAndLongForms)
{
    {
        const LocaleGuard locale(american);
        EXPECT_EQ(DateTime::parse("3/5/24"), at(2024, 3, 5));
        EXPECT_EQ(DateTime::parse(" 03/05/2024 9:30 AM "), at(2024, 3, 5, 9, 30));
        EXPECT_EQ(DateTime::parse("March 5, 2024"), at(2024, 3, 5));
        EXPECT_EQ(DateTime::parse("march 5, 2024 9:30 pm"), at(2024, 3, 5, 21, 30));
        EXPECT_EQ(DateTime::parse("Tuesday, March 5, 2024"), at(2024, 3, 5));
        EXPECT_EQ(DateTime::parse("Tuesday, March 5, 2024 10:15:30"), at(2024, 3, 5, 10, 15, 30));
        // A weekday that the date does not fall on is a typing error.
        EXPECT_FALSE(DateTime::parse("Monday, March 5, 2024"));
        // A German date is not an American one.
        EXPECT_FALSE(DateTime::parse("5. März 2024"));
    }
    const LocaleGuard locale(german);
    EXPECT_EQ(DateTime::parse("05.03.24 14:07"), at(2024, 3, 5, 14, 7));
    EXPECT_EQ(DateTime::parse("5. März 2024"), at(2024, 3, 5));
    EXPECT_EQ(DateTime::parse("5. märz 2024 9:30"), at(2024, 3, 5, 9, 30));
    EXPECT_EQ(DateTime::parse("Dienstag, 5. März 2024"), at(2024, 3, 5));
    EXPECT_EQ(DateTime::parse("2024-3-5 9:30"), at(2024, 3, 5, 9, 30));
}

TEST(TypedDates, WrongDatesAndTimesAreRefused)
{
    for (const QLocale &chosen : {american, german}) {
        const LocaleGuard locale(chosen);
        for (const char *text : {"2024-02-30",
                                 "2024-2-30",
                                 "2023-02-29",
                                 "2024-13-01",
                                 "2024-0-1",
                                 "2024-03-05 24:00",
                                 "2024-03-05 9:60",
                                 "2024-03-05 9:30:60",
                                 "2024-03-05 9",
                                 "2024-03-05 9:5",
                                 "2024-03-05 10:15 junk",
                                 "2024-03-05x",
                                 "2024-03-05 10:15x",
                                 "2024-03-05T",
                                 "2024-03-05 T09:30",
                                 "10:15",
                                 "9:30 AM",
                                 "T09:30",
                                 "2024-03",
                                 "24-03-05",
                                 "20240305",
                                 "2024/03/05 10:15 10:15",
                                 "",
                                 "   ",
                                 "yesterday"})
            EXPECT_FALSE(DateTime::parse(QString::fromUtf8(text)))
                << text << " in " << chosen.name().toStdString();
    }
    const LocaleGuard locale(american);
    EXPECT_FALSE(DateTime::parse("2/30/2024"));
    EXPECT_FALSE(DateTime::parse("3/5/2024 13:30 PM"));
    EXPECT_FALSE(DateTime::parse("3/5/2024 0:30 AM"));
    EXPECT_FALSE(DateTime::parse("February 30, 2024"));
}

// The calendar the program keeps runs from 100-01-01 to 9999-12-31 23:59:59; a fraction that
// would round into the year 10000 is outside it too.
TEST(TypedDates, TheCalendarsEdges)
{
    const LocaleGuard locale(american);
    EXPECT_EQ(DateTime::parse("0100-01-01"), at(100, 1, 1));
    EXPECT_EQ(DateTime::parse("100-1-1"), at(100, 1, 1));
    EXPECT_EQ(DateTime::parse("9999-12-31 23:59:59"), at(9999, 12, 31, 23, 59, 59));
    EXPECT_EQ(DateTime::parse("9999-12-31T23:59"), at(9999, 12, 31, 23, 59));
    for (const char *text :
         {"0099-12-31", "0099-12-31 23:59:59", "99-12-31", "9999-12-31 23:59:59.9999",
          "9999-12-31 23:59:59.5", "9999-12-31 23:59:59,9999", "10000-01-01",
          "12/31/9999 11:59:59.9999 PM"})
        EXPECT_FALSE(DateTime::parse(QString::fromUtf8(text))) << text;
    // Elsewhere a fraction still carries into the next second, as it always has.
    EXPECT_EQ(DateTime::parse("2024-03-05 23:59:59.9999"), at(2024, 3, 6));
}

TEST(TypedDates, TheHintShowsFormsThatAreAccepted)
{
    for (const QLocale &chosen : {american, german}) {
        const LocaleGuard locale(chosen);
        const QString hint = DateTime::typedFormsHint();
        const QString shortForm = chosen.toString(QDate(2024, 3, 5), QLocale::ShortFormat);
        EXPECT_TRUE(hint.contains(shortForm)) << hint.toStdString();
        EXPECT_EQ(DateTime::parse(shortForm), at(2024, 3, 5));
    }
    const LocaleGuard locale(german);
    EXPECT_TRUE(DateTime::typedFormsHint().contains("5. März 2024"));
}

} // namespace
