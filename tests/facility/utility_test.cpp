#include "facility/Utility.h"
#include "platform/Error.h"
#include "platform/dal/Recordset.h"
#include "support/ScratchDatabase.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

class FirstValueTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        scratch.open(conn);
        conn.Execute(QStringLiteral("CREATE TABLE places (id INTEGER, ud1 VARCHAR(10), "
                                    "name VARCHAR(20))"));
        conn.Execute(QStringLiteral("INSERT INTO places VALUES (7, '01', 'first'), "
                                    "(8, '01', 'second'), (9, '02', NULL)"));
    }

    test::ScratchDatabase scratch;
    dal::Connection conn;
};

TEST_F(FirstValueTest, GivesTheFirstFieldOfTheFirstRowInItsOwnKind)
{
    const Value v = GetFirstValue(conn, QStringLiteral("SELECT name, id FROM places ORDER BY id"));
    EXPECT_EQ(v.kind(), Value::Kind::Text);
    EXPECT_EQ(v.toText(), QStringLiteral("first"));
    EXPECT_EQ(
        GetFirstValue(conn, QStringLiteral("SELECT id FROM places ORDER BY id DESC")).toInt32(), 9);
}

TEST_F(FirstValueTest, BindsTheParametersAndTakesTheFirstOfSeveralMatches)
{
    EXPECT_EQ(GetFirstValue(conn, QStringLiteral("SELECT id FROM places WHERE ud1=? ORDER BY id"),
                            {Value(QStringLiteral("01"))})
                  .toInt32(),
              7);
    // A quote in a bound value is data, not SQL.
    EXPECT_TRUE(GetFirstValue(conn, QStringLiteral("SELECT id FROM places WHERE ud1=?"),
                              {Value(QStringLiteral("01' OR '1'='1"))})
                    .isNull());
}

TEST_F(FirstValueTest, NoRowANullFieldAndAFailingQueryAllGiveNull)
{
    EXPECT_TRUE(
        GetFirstValue(conn, QStringLiteral("SELECT id FROM places WHERE ud1='99'")).isNull());
    EXPECT_TRUE(GetFirstValue(conn, QStringLiteral("SELECT name FROM places WHERE id=9")).isNull());
    EXPECT_TRUE(GetFirstValue(conn, QStringLiteral("SELECT id FROM no_such_table")).isNull());
    EXPECT_TRUE(GetFirstValue(conn, QStringLiteral("SELEKT nonsense")).isNull());
    // The connection is still usable after the failures.
    EXPECT_EQ(GetFirstValue(conn, QStringLiteral("SELECT COUNT(*) FROM places")).toInt32(), 3);
}

TEST_F(FirstValueTest, AClosedConnectionGivesNull)
{
    conn.Close();
    EXPECT_TRUE(GetFirstValue(conn, QStringLiteral("SELECT 1")).isNull());
}

TEST(DecodePasswordTest, KeepsOnlyTheMiddleReversedAndShifted)
{
    // "ABC" walked from the end: C+1, B+2, A+3 (plus the fixed offset) are the same code.
    const QString decoded = DecodePassword(QStringLiteral("xxABCyyy"));
    ASSERT_EQ(decoded.size(), 3);
    EXPECT_EQ(decoded.at(0), decoded.at(1));
    EXPECT_EQ(decoded.at(1), decoded.at(2));
    EXPECT_GT(decoded.at(0).unicode(), QChar(u'C').unicode());
    EXPECT_NE(DecodePassword(QStringLiteral("xxABCyyy")),
              DecodePassword(QStringLiteral("xxCBAyyy")));
}

TEST(DecodePasswordTest, TheFirstTwoAndLastThreeCharactersTakeNoPart)
{
    EXPECT_EQ(DecodePassword(QStringLiteral("abSECRETxyz")),
              DecodePassword(QStringLiteral("zzSECRET123")));
    EXPECT_NE(DecodePassword(QStringLiteral("abSECRETxyz")),
              DecodePassword(QStringLiteral("abSECRETSxyz")));
}

TEST(DecodePasswordTest, FiveCharactersGiveAnEmptyTextAndFewerFail)
{
    EXPECT_EQ(DecodePassword(QStringLiteral("12345")), QString());
    for (const QString &tooShort : {QStringLiteral("1234"), QStringLiteral("12"), QString()}) {
        try {
            DecodePassword(tooShort);
            ADD_FAILURE() << "no error for " << tooShort.toStdString();
        } catch (const Error &e) {
            EXPECT_EQ(e.number(), errc::InvalidProcedureCall);
        }
    }
}

TEST(DecodePasswordTest, PrintableCharactersStayInRangeAndHighCodesFail)
{
    // Every printable character of a long password stays within the single-byte range.
    QString printable;
    for (char16_t c = u' '; c <= u'~'; ++c)
        printable += QChar(c);
    const QString decoded =
        DecodePassword(QStringLiteral("ab") + printable + QStringLiteral("xyz"));
    EXPECT_EQ(decoded.size(), printable.size());
    for (QChar c : decoded)
        EXPECT_LE(c.unicode(), 0xFF);

    try {
        DecodePassword(QStringLiteral("ab") + QChar(0xFF) + QStringLiteral("xyz"));
        ADD_FAILURE() << "a code beyond 255 was accepted";
    } catch (const Error &e) {
        EXPECT_EQ(e.number(), errc::InvalidProcedureCall);
    }
}

} // namespace
} // namespace zarn
