#include "platform/DateTime.h"
#include "platform/Error.h"
#include "platform/Value.h"

#include <QLocale>
#include <QRegularExpression>
#include <QtGlobal>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <random>

using zarn::DateTime;
using zarn::Value;

namespace {

long errorNumberOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const zarn::Error &e) {
        return e.number();
    }
    return 0;
}

// Sets the process time zone for one test and restores it after.
class TimeZoneGuard
{
public:
    explicit TimeZoneGuard(const char *zone)
        : m_old(qgetenv("TZ")), m_hadOld(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        resetZone();
    }
    ~TimeZoneGuard()
    {
        if (m_hadOld)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        resetZone();
    }

private:
    static void resetZone()
    {
#ifdef _WIN32
        _tzset();
#else
        tzset();
#endif
    }
    QByteArray m_old;
    bool m_hadOld;
};

class LocaleGuard
{
public:
    explicit LocaleGuard(const QLocale &locale) { QLocale::setDefault(locale); }
    ~LocaleGuard() { QLocale::setDefault(m_old); }

private:
    QLocale m_old;
};

void expectParts(const DateTime::Parts &p, int y, int mo, int d, int h, int mi, int s, int ms)
{
    EXPECT_EQ(p.year, y);
    EXPECT_EQ(p.month, mo);
    EXPECT_EQ(p.day, d);
    EXPECT_EQ(p.hour, h);
    EXPECT_EQ(p.minute, mi);
    EXPECT_EQ(p.second, s);
    EXPECT_EQ(p.millisecond, ms);
}

} // namespace

// --- Date-time calendar arithmetic -----------------------------------------------------------

TEST(DateTimeCalendar, KnownDayNumbers)
{
    EXPECT_EQ(DateTime::fromParts(1899, 12, 30).days(), 0.0);
    EXPECT_EQ(DateTime::fromParts(1900, 1, 1).days(), 2.0);
    EXPECT_EQ(DateTime::fromParts(1900, 3, 1).days(), 61.0); // 1900 is no leap year
    EXPECT_EQ(DateTime::fromParts(2000, 1, 1).days(), 36526.0);
    EXPECT_EQ(DateTime::fromParts(1899, 12, 29).days(), -1.0);
    EXPECT_EQ(DateTime::fromParts(2024, 3, 5, 12).days(), 45356.5);
    EXPECT_EQ(DateTime::fromParts(100, 1, 1).days(), -657434.0);
    EXPECT_EQ(DateTime::fromParts(9999, 12, 31).days(), 2958465.0);
}

TEST(DateTimeCalendar, PartsRoundTripAcrossCenturiesAndLeapDays)
{
    const int samples[][7] = {{2024, 2, 29, 23, 59, 59, 999}, {2000, 2, 29, 0, 0, 0, 1},
                              {1899, 12, 30, 0, 0, 0, 0},     {1899, 12, 29, 18, 0, 0, 0},
                              {1600, 3, 1, 6, 7, 8, 9},       {9999, 12, 31, 23, 59, 59, 999},
                              {100, 1, 1, 0, 0, 0, 1},        {2100, 2, 28, 12, 30, 0, 500}};
    for (const auto &s : samples) {
        const DateTime dt = DateTime::fromParts(s[0], s[1], s[2], s[3], s[4], s[5], s[6]);
        expectParts(dt.parts(), s[0], s[1], s[2], s[3], s[4], s[5], s[6]);
    }
}

TEST(DateTimeCalendar, DatesBeforeTheEpochCountLinearly)
{
    // Six in the morning of the day before the epoch lies a quarter day after its midnight.
    EXPECT_DOUBLE_EQ(DateTime::fromParts(1899, 12, 29, 6).days(), -0.75);
    EXPECT_LT(DateTime::fromParts(1899, 12, 29, 6), DateTime::fromParts(1899, 12, 29, 18));
}

TEST(DateTimeCalendar, InvalidPartsRaiseInvalidProcedureCall)
{
    using zarn::errc::InvalidProcedureCall;
    EXPECT_EQ(errorNumberOf([] { DateTime::fromParts(2023, 2, 29); }), InvalidProcedureCall);
    EXPECT_EQ(errorNumberOf([] { DateTime::fromParts(1900, 2, 29); }), InvalidProcedureCall);
    EXPECT_EQ(errorNumberOf([] { DateTime::fromParts(2024, 13, 1); }), InvalidProcedureCall);
    EXPECT_EQ(errorNumberOf([] { DateTime::fromParts(2024, 4, 31); }), InvalidProcedureCall);
    EXPECT_EQ(errorNumberOf([] { DateTime::fromParts(2024, 1, 1, 24); }), InvalidProcedureCall);
    EXPECT_EQ(errorNumberOf([] { DateTime::fromParts(2024, 1, 1, 0, 60); }), InvalidProcedureCall);
    EXPECT_EQ(errorNumberOf([] { DateTime::fromParts(2024, 1, 1, 0, 0, 0, 1000); }),
              InvalidProcedureCall);
    EXPECT_EQ(errorNumberOf([] { DateTime::fromParts(10000, 1, 1); }), InvalidProcedureCall);
}

TEST(DateTimeCalendar, PartsRoundToTheNearestMillisecond)
{
    const double day = DateTime::fromParts(2024, 3, 5).days();
    expectParts(DateTime(day + 0.4 / 86'400'000).parts(), 2024, 3, 5, 0, 0, 0, 0);
    expectParts(DateTime(day + 0.6 / 86'400'000).parts(), 2024, 3, 5, 0, 0, 0, 1);
    // Just before midnight rounds into the next day, carrying through every field.
    expectParts(DateTime(day - 0.3 / 86'400'000).parts(), 2024, 3, 5, 0, 0, 0, 0);
    expectParts(DateTime(DateTime::fromParts(2024, 12, 31).days() + 1 - 0.2 / 86'400'000).parts(),
                2025, 1, 1, 0, 0, 0, 0);
}

// --- Date-time text forms --------------------------------------------------------------------

TEST(DateTimeText, IsoTextShowsMillisecondsOnlyWhenPresent)
{
    EXPECT_EQ(DateTime::fromParts(2024, 3, 5).toIsoText(), "2024-03-05 00:00:00");
    EXPECT_EQ(DateTime::fromParts(2024, 3, 5, 7, 8, 9, 60).toIsoText(), "2024-03-05 07:08:09.060");
    EXPECT_EQ(DateTime::fromParts(812, 1, 2).toIsoText(), "0812-01-02 00:00:00");
}

TEST(DateTimeText, IsoTextOrdersAsTime)
{
    const DateTime a = DateTime::fromParts(2024, 3, 5, 9, 59, 59, 999);
    const DateTime b = DateTime::fromParts(2024, 3, 5, 10, 0, 0);
    EXPECT_LT(a.toIsoText(), b.toIsoText());
    EXPECT_LT(a, b);
}

TEST(DateTimeText, TextLeavesOutMidnight)
{
    EXPECT_EQ(DateTime::fromParts(2024, 3, 5).toText(), "2024-03-05");
    EXPECT_EQ(DateTime::fromParts(2024, 3, 5, 0, 0, 1).toText(), "2024-03-05 00:00:01");
    EXPECT_EQ(DateTime::fromParts(2024, 3, 5, 13, 4, 5).toText(), "2024-03-05 13:04:05");
}

TEST(DateTimeText, ParseIsoAcceptsItsForms)
{
    EXPECT_EQ(DateTime::parseIso("2024-03-05"), DateTime::fromParts(2024, 3, 5));
    EXPECT_EQ(DateTime::parseIso(" 2024-03-05 10:15 "), DateTime::fromParts(2024, 3, 5, 10, 15));
    EXPECT_EQ(DateTime::parseIso("2024-03-05T10:15:30"),
              DateTime::fromParts(2024, 3, 5, 10, 15, 30));
    EXPECT_EQ(DateTime::parseIso("2024-03-05 10:15:30.6"),
              DateTime::fromParts(2024, 3, 5, 10, 15, 30, 600));
    // Microseconds as a server prints them round to the millisecond, carrying over.
    EXPECT_EQ(DateTime::parseIso("2024-03-05 10:15:30.123456"),
              DateTime::fromParts(2024, 3, 5, 10, 15, 30, 123));
    EXPECT_EQ(DateTime::parseIso("2024-03-05 23:59:59.9996"), DateTime::fromParts(2024, 3, 6));
}

TEST(DateTimeText, ParseIsoRejectsEverythingElse)
{
    for (const char *text :
         {"", "2024-3-5", "2024-02-30", "2024-03-05 24:00", "2024-03-05 10", "2024-03-05 10:60",
          "2024-03-05x", "05.03.2024", "2024-03-05  10:15", "0099-12-31"})
        EXPECT_FALSE(DateTime::parseIso(QString::fromUtf8(text))) << text;
}

TEST(DateTimeText, IsoTextParsesBackExactly)
{
    const DateTime dt = DateTime::fromParts(2031, 7, 14, 21, 3, 58, 7);
    EXPECT_EQ(DateTime::parseIso(dt.toIsoText()), dt);
    EXPECT_EQ(DateTime::parse(dt.toText()), DateTime::fromParts(2031, 7, 14, 21, 3, 58));
}

TEST(DateTimeText, ParseReadsTheLocaleShortDate)
{
    const LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(DateTime::parse("05.03.2024"), DateTime::fromParts(2024, 3, 5));
    EXPECT_EQ(DateTime::parse("5.3.24"), DateTime::fromParts(2024, 3, 5));
    EXPECT_EQ(DateTime::parse("05.03.2024 14:07"), DateTime::fromParts(2024, 3, 5, 14, 7));
    EXPECT_EQ(DateTime::parse("05.03.2024 14:07:09"), DateTime::fromParts(2024, 3, 5, 14, 7, 9));
    EXPECT_EQ(DateTime::parse("5.3.99"), DateTime::fromParts(1999, 3, 5));
    EXPECT_FALSE(DateTime::parse("31.02.2024"));
    EXPECT_FALSE(DateTime::parse("05.03.2024 25:00"));
    EXPECT_FALSE(DateTime::parse("yesterday"));
    EXPECT_FALSE(DateTime::parse(""));
}

TEST(DateTimeText, ParseReadsTwelveHourTimes)
{
    const LocaleGuard american(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(DateTime::parse("3/5/2024"), DateTime::fromParts(2024, 3, 5));
    EXPECT_EQ(DateTime::parse("3/5/24 2:07 PM"), DateTime::fromParts(2024, 3, 5, 14, 7));
    EXPECT_EQ(DateTime::parse("3/5/2024 12:30 am"), DateTime::fromParts(2024, 3, 5, 0, 30));
    EXPECT_EQ(DateTime::parse("3/5/2024 12:30 PM"), DateTime::fromParts(2024, 3, 5, 12, 30));
    EXPECT_FALSE(DateTime::parse("3/5/2024 13:30 PM"));
    EXPECT_FALSE(DateTime::parse("3/5/2024 1:30 XY"));
}

// A wall-clock time that the process's zone skips or repeats must keep its value.
TEST(DateTimeText, DaylightSavingChangesDoNotMoveWallClockTimes)
{
    const TimeZoneGuard berlin("Europe/Berlin");
    const DateTime skipped = DateTime::fromParts(2024, 3, 31, 2, 30, 10, 600);
    const DateTime repeated = DateTime::fromParts(2024, 10, 27, 2, 30);
    expectParts(skipped.parts(), 2024, 3, 31, 2, 30, 10, 600);
    expectParts(repeated.parts(), 2024, 10, 27, 2, 30, 0, 0);
    EXPECT_EQ(skipped.toIsoText(), "2024-03-31 02:30:10.600");
    EXPECT_EQ(repeated.toIsoText(), "2024-10-27 02:30:00");
    EXPECT_EQ(DateTime::parseIso("2024-03-31 02:30:10.600"), skipped);
    EXPECT_EQ(DateTime::parse(repeated.toText()), repeated);
    EXPECT_EQ(Value(skipped.toIsoText()).toDateTime(), skipped);

    const LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(DateTime::parse("31.03.2024 02:30:10"), DateTime::fromParts(2024, 3, 31, 2, 30, 10));
    EXPECT_EQ(DateTime::parse("27.10.2024 02:30"), repeated);
}

// --- Values ----------------------------------------------------------------------------------

TEST(ValueKinds, EachConstructorGivesItsKind)
{
    EXPECT_EQ(Value().kind(), Value::Kind::Empty);
    EXPECT_EQ(Value::null().kind(), Value::Kind::Null);
    EXPECT_EQ(Value(std::int16_t{1}).kind(), Value::Kind::Int16);
    EXPECT_EQ(Value(1).kind(), Value::Kind::Int32);
    EXPECT_EQ(Value(std::int64_t{1}).kind(), Value::Kind::Int64);
    EXPECT_EQ(Value(1.0).kind(), Value::Kind::Double);
    EXPECT_EQ(Value(true).kind(), Value::Kind::Bool);
    EXPECT_EQ(Value("x").kind(), Value::Kind::Text);
    EXPECT_EQ(Value(DateTime(1.0)).kind(), Value::Kind::DateTime);
    EXPECT_EQ(Value::null(), Value::null());
    EXPECT_FALSE(Value() == Value::null());
    EXPECT_FALSE(Value(1) == Value(std::int64_t{1}));
}

TEST(ValueIntegers, RoundHalfToEven)
{
    EXPECT_EQ(Value(2.5).toInt16(), 2);
    EXPECT_EQ(Value(3.5).toInt16(), 4);
    EXPECT_EQ(Value(-2.5).toInt16(), -2);
    EXPECT_EQ(Value(-3.5).toInt16(), -4);
    EXPECT_EQ(Value(7.5).toInt32(), 8);
    EXPECT_EQ(Value(6.5).toInt32(), 6);
    EXPECT_EQ(Value(6.500001).toInt32(), 7);
    EXPECT_EQ(Value(-0.4).toInt32(), 0);
    EXPECT_EQ(Value(" 2.5 ").toInt16(), 2);
    EXPECT_EQ(Value("-20").toInt32(), -20);
    EXPECT_EQ(Value("1e3").toInt32(), 1000);
    EXPECT_EQ(zarn::roundHalfEven(0.5), 0.0);
    EXPECT_EQ(zarn::roundHalfEven(1.5), 2.0);
    EXPECT_EQ(zarn::roundHalfEven(-0.5), 0.0);
    EXPECT_EQ(zarn::roundHalfEven(22.5), 22.0);
    EXPECT_EQ(zarn::roundHalfEven(4503599627370497.0), 4503599627370497.0);
}

TEST(ValueIntegers, OutOfRangeIsOverflow)
{
    using zarn::errc::Overflow;
    EXPECT_EQ(Value(32767.4).toInt16(), 32767);
    EXPECT_EQ(Value(-32768.5).toInt16(), -32768);
    EXPECT_EQ(errorNumberOf([] { Value(32767.5).toInt16(); }), Overflow);
    EXPECT_EQ(errorNumberOf([] { Value(-32768.6).toInt16(); }), Overflow);
    EXPECT_EQ(errorNumberOf([] { Value(40000).toInt16(); }), Overflow);
    EXPECT_EQ(errorNumberOf([] { Value("40000").toInt16(); }), Overflow);
    EXPECT_EQ(errorNumberOf([] { Value(std::int64_t{1} << 40).toInt32(); }), Overflow);
    EXPECT_EQ(errorNumberOf([] { Value(2147483647.5).toInt32(); }), Overflow);
    EXPECT_EQ(Value(-2147483648.0).toInt32(), -2147483647 - 1);
    EXPECT_EQ(Value(std::int64_t{-32768}).toInt16(), -32768);
}

TEST(ValueConversions, WrongKindsRaiseTheirErrors)
{
    using namespace zarn::errc;
    EXPECT_EQ(errorNumberOf([] { Value("abc").toInt16(); }), TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { Value("").toDouble(); }), TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { Value("1,5").toDouble(); }), TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { Value(DateTime(2.0)).toInt32(); }), TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { Value("maybe").toBool(); }), TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { Value("not a date").toDateTime(); }), TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { Value::null().toInt16(); }), InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([] { Value::null().toInt32(); }), InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([] { Value::null().toDouble(); }), InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([] { Value::null().toBool(); }), InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([] { Value::null().toText(); }), InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([] { Value::null().toDateTime(); }), InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([] { Value(1e7).toDateTime(); }), Overflow);
}

TEST(ValueConversions, EmptyIsZeroAndEmptyText)
{
    EXPECT_EQ(Value().toInt16(), 0);
    EXPECT_EQ(Value().toDouble(), 0.0);
    EXPECT_FALSE(Value().toBool());
    EXPECT_EQ(Value().toText(), "");
    EXPECT_EQ(Value().toDateTime(), DateTime(0.0));
}

TEST(ValueConversions, Booleans)
{
    EXPECT_TRUE(Value(-3).toBool());
    EXPECT_TRUE(Value(0.1).toBool());
    EXPECT_FALSE(Value(std::int16_t{0}).toBool());
    EXPECT_TRUE(Value(" true ").toBool());
    EXPECT_FALSE(Value("FALSE").toBool());
    EXPECT_TRUE(Value("2").toBool());
    EXPECT_FALSE(Value("0.0").toBool());
    EXPECT_EQ(Value(true).toText(), "True");
    EXPECT_EQ(Value(false).toText(), "False");
}

TEST(ValueConversions, DateTimes)
{
    EXPECT_EQ(Value(45356.5).toDateTime(), DateTime::fromParts(2024, 3, 5, 12));
    EXPECT_EQ(Value("2024-03-05 12:00").toDateTime(), DateTime::fromParts(2024, 3, 5, 12));
    EXPECT_EQ(Value(DateTime::fromParts(2024, 3, 5, 12)).toText(), "2024-03-05 12:00:00");
    EXPECT_TRUE(Value("2024-03-05").isDate());
    EXPECT_TRUE(Value(DateTime(1.0)).isDate());
    EXPECT_FALSE(Value("2024-02-30").isDate());
    EXPECT_FALSE(Value(45356.5).isDate());
    EXPECT_FALSE(Value::null().isDate());
}

TEST(ValueText, IntegersAndTextsAsTheyStand)
{
    EXPECT_EQ(Value(std::int16_t{-7}).toText(), "-7");
    EXPECT_EQ(Value(1234567).toText(), "1234567");
    EXPECT_EQ(Value(std::int64_t{-9007199254740993}).toText(), "-9007199254740993");
    EXPECT_EQ(Value(" a b ").toText(), " a b ");
    EXPECT_EQ(Value::null().toTextOrEmpty(), "");
    EXPECT_EQ(Value().toTextOrEmpty(), "");
    EXPECT_EQ(Value(5).toTextOrEmpty(), "5");
}

TEST(ValueText, DoublesInPlainDecimalWithFifteenDigits)
{
    EXPECT_EQ(Value(0.0).toText(), "0");
    EXPECT_EQ(Value(-0.0).toText(), "0");
    EXPECT_EQ(Value(12.0).toText(), "12");
    EXPECT_EQ(Value(1.5).toText(), "1.5");
    EXPECT_EQ(Value(-1.25).toText(), "-1.25");
    EXPECT_EQ(Value(0.1 + 0.2).toText(), "0.3");
    EXPECT_EQ(Value(1.0 / 3.0).toText(), "0.333333333333333");
    EXPECT_EQ(Value(2.0 / 3.0).toText(), "0.666666666666667");
    EXPECT_EQ(Value(123456789012345.0).toText(), "123456789012345");
    EXPECT_EQ(Value(100.0).toText(), "100");
    EXPECT_EQ(Value(0.0001).toText(), "0.0001");
    EXPECT_EQ(Value(0.00001234).toText(), "0.00001234");
    EXPECT_EQ(Value(1e15).toText(), "1E+15");
    EXPECT_EQ(Value(-2.5e20).toText(), "-2.5E+20");
    EXPECT_EQ(Value(1.5e-7).toText(), "1.5E-07");
    // Rounding to 15 digits may carry into a new leading digit.
    EXPECT_EQ(Value(0.99999999999999989).toText(), "1");
    EXPECT_EQ(Value(999999999999999.9).toText(), "1E+15");
}

// The text form of a double as it was first written, through printf: the text that is stored,
// which the faster formatting must reproduce exactly.
QString referenceDoubleText(double v)
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
    return v < 0 ? QLatin1Char('-') + text : text;
}

void expectSameText(double v)
{
    ASSERT_EQ(Value(v).toText(), referenceDoubleText(v)) << std::hexfloat << v;
}

TEST(ValueText, DoublesGiveTheReferenceTextOverASweep)
{
    for (const double v :
         {0.0, -0.0, std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
          std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
          -std::numeric_limits<double>::max(), 9007199254740993.0, 1e15, 1e-5, 9.99999999999999e-6,
          999999999999999.4, 999999999999999.5})
        expectSameText(v);
    std::mt19937_64 random(4711);
    for (int i = 0; i < 200000; ++i) {
        // Any bit pattern: subnormals, huge and tiny magnitudes, both signs.
        const std::uint64_t bits = random();
        double any = 0;
        std::memcpy(&any, &bits, sizeof any);
        expectSameText(any);
        // Whole numbers, within and beyond a double's exact integers.
        expectSameText(static_cast<double>(static_cast<std::int64_t>(random()) >> (random() % 64)));
        // Near a rounding boundary at the 15th digit: a decimal tie and its neighbours, at every
        // magnitude where the form changes and far beyond.
        const auto mantissa = static_cast<double>(random() % 900000000000000 + 100000000000000);
        const int exponent = static_cast<int>(random() % 60) - 30;
        const double tie = (mantissa + 0.5) * std::pow(10.0, exponent - 14);
        expectSameText(tie);
        expectSameText(std::nextafter(tie, 0.0));
        expectSameText(-std::nextafter(tie, std::numeric_limits<double>::infinity()));
    }
}

TEST(ValueNumeric, WhatCountsAsANumber)
{
    for (const char *text : {"0", "-20", "+7.5", " 7.5 ", "7.", ".5", "1e3", "1.5E-2", "\t3 ",
                             "1.e5", "-0", "\r\n\v\f 4 \n", "4.9e-324", "0e999999"})
        EXPECT_TRUE(Value(text).isNumeric()) << text;
    for (const char *text : {"",
                             " ",
                             "abc",
                             "1,5",
                             "1.2.3",
                             "- 5",
                             "e5",
                             "1e",
                             "0x10",
                             "1e999",
                             "inf",
                             "nan",
                             "5 5",
                             ".",
                             "+",
                             "-.",
                             ".e1",
                             "1e+",
                             "++1",
                             "1e1.5",
                             "2e-324",
                             "1e-400",
                             "\xc2\xa0"
                             "5",
                             "5\xc2\xa0",
                             "\xd9\xa3"})
        EXPECT_FALSE(Value(text).isNumeric()) << text;
    EXPECT_TRUE(Value(1).isNumeric());
    EXPECT_TRUE(Value(true).isNumeric());
    EXPECT_FALSE(Value::null().isNumeric());
    EXPECT_FALSE(Value(DateTime(1.0)).isNumeric());
    EXPECT_EQ(zarn::parseNumber(" -20 "), -20.0);
    EXPECT_TRUE(std::signbit(*zarn::parseNumber("-0")));
}

// The number check as it was first written, a regular expression and Qt's conversion, kept as
// the reference whose answers the one-pass check must give.
std::optional<double> referenceNumber(const QString &text)
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

void expectSameNumber(const QString &text)
{
    const std::optional<double> expected = referenceNumber(text);
    const std::optional<double> actual = zarn::parseNumber(text);
    ASSERT_EQ(actual.has_value(), expected.has_value()) << text.toStdString();
    if (expected) {
        ASSERT_EQ(std::memcmp(&*actual, &*expected, sizeof(double)), 0)
            << text.toStdString() << ": " << *actual << " for " << *expected;
    }
}

TEST(ValueNumeric, AgreesWithTheReferenceOverMixedTexts)
{
    // Digits, signs, points, exponents, every blank of the reference and blanks it refuses
    // (no-break space, em space), a digit of another script, a zero character.
    const QString alphabet = QStringLiteral("0159.eE+- \t\n\v\f\rx,") + QChar(0xA0) +
                             QChar(0x2003) + QChar(0x663) + QChar(0);
    std::mt19937 random(20240305);
    for (int i = 0; i < 100000; ++i) {
        QString text;
        for (int length = static_cast<int>(random() % 13); length > 0; --length)
            text += alphabet[static_cast<qsizetype>(random() % alphabet.size())];
        expectSameNumber(text);
    }
}

TEST(ValueNumeric, AgreesWithTheReferenceAtTheEdgesOfTheDoubles)
{
    for (const char *text :
         {"1.7976931348623157e308", "1.7976931348623158e308", "1.797693134862315807e308",
          "1.79769313486231581e308", "2.4703282292062327e-324", "2.4703282292062328e-324",
          "2.2250738585072011e-308", "2.2250738585072014e-308", "9007199254740993",
          "0.1000000000000000055511151231257827", "0.00000000000000000000000000000000001e35",
          "123456789012345678901234567890e-30", "-0.0e-5", ".0000000000000000000000001e25"})
        expectSameNumber(QString::fromLatin1(text));
    // Correctly rounded both: random mantissas of up to 25 digits over the whole exponent range.
    std::mt19937_64 random(77);
    for (int i = 0; i < 50000; ++i) {
        QString mantissa = QString::number(random() % 10);
        for (int digits = static_cast<int>(random() % 25); digits > 0; --digits)
            mantissa += QChar(u'0' + static_cast<char16_t>(random() % 10));
        const auto point = static_cast<qsizetype>(random() % (mantissa.size() + 1));
        mantissa.insert(point, QLatin1Char('.'));
        const int exponent = static_cast<int>(random() % 680) - 345;
        expectSameNumber(mantissa + QStringLiteral("e%1").arg(exponent));
    }
}

// Long texts are read in one pass: each of these took seconds or minutes with a backtracking
// pattern.
TEST(ValueNumeric, LongTextsAreAnsweredInOnePass)
{
    const QString digits(80000, QLatin1Char('7'));
    EXPECT_FALSE(zarn::parseNumber(digits).has_value()); // too large for a double
    EXPECT_FALSE(zarn::parseNumber(digits + QLatin1Char('x')).has_value());
    EXPECT_FALSE(zarn::parseNumber(QStringLiteral("1.") + digits + QLatin1Char('.')).has_value());
    EXPECT_EQ(zarn::parseNumber(QString(80000, QLatin1Char('0')) + QStringLiteral("42.5")), 42.5);
    EXPECT_EQ(zarn::parseNumber(QStringLiteral("0.") + QString(80000, QLatin1Char('0')) +
                                QStringLiteral("125e80001")),
              1.25);
    EXPECT_FALSE(zarn::parseNumber(QStringLiteral("0.") + QString(80000, QLatin1Char('0')) + u'1'));

    const qsizetype eightMegabytes = 8 * 1024 * 1024;
    EXPECT_FALSE(zarn::parseNumber(QString(eightMegabytes, QLatin1Char('5'))).has_value());
    EXPECT_FALSE(zarn::parseNumber(QString(eightMegabytes, QLatin1Char('5')) + u'-').has_value());
    EXPECT_EQ(zarn::parseNumber(QString(eightMegabytes, QLatin1Char(' ')) + QStringLiteral("-3") +
                                QString(eightMegabytes, QLatin1Char('\t'))),
              -3.0);
    EXPECT_EQ(zarn::parseNumber(QStringLiteral("2.") + QString(eightMegabytes, QLatin1Char('0'))),
              2.0);
    EXPECT_FALSE(Value(QString(eightMegabytes, QLatin1Char('x'))).isNumeric());
}

TEST(TextTrimming, OnlySpacesAreTrimmed)
{
    EXPECT_EQ(zarn::trimSpaces("  a b  "), "a b");
    EXPECT_EQ(zarn::trimSpaces("\ta\t "), "\ta\t");
    EXPECT_EQ(zarn::trimSpaces("   "), "");
    EXPECT_EQ(zarn::trimSpaces(""), "");
}
