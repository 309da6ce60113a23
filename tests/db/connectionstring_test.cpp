// Connection strings without a database server: values that the connection manager writes
// into them, the parser that reads them back, and the masking of passwords in messages.

#include "db/ConnectionManager.h"
#include "platform/Error.h"
#include "platform/dal/Connection.h"
#include "platform/dal/ConnectionString.h"

#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <random>

using namespace zarn;
using zarn::dal::connectionStringValue;
using zarn::dal::parseConnectionString;
using zarn::dal::passwordsIn;
using zarn::dal::withoutPasswords;

namespace {

const QString zarnPassword = QStringLiteral("Vt2Zr");

// Values the root catalog or the configuration file might hold to take over a connection.
const QStringList hostileValues = {
    QStringLiteral("NORTHPLANT;Data Source=127.0.0.1:45432"),
    QStringLiteral("SOUTHPLANT;Initial Catalog=NORTHPLANT"),
    QStringLiteral("X;Provider=PostgreSQL;User ID=postgres;Password=guess"),
    QStringLiteral("\"NORTH\";Data Source=evil"),
    QStringLiteral("'NORTH';Data Source=evil"),
    QStringLiteral("NORTH\" ;Data Source=evil;x=\""),
    QStringLiteral("NORTH' ;Data Source=evil;x='"),
    QStringLiteral("\"\";Data Source=evil;"),
    QStringLiteral(";;Data Source=evil;;"),
    QStringLiteral("=Data Source=evil"),
    QStringLiteral("  padded  "),
    QStringLiteral("\tTAB;Password=x\t"),
    QStringLiteral("\"unterminated;Data Source=evil"),
};

QString databaseErrorOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const DatabaseError &error) {
        return error.description();
    }
    ADD_FAILURE() << "no DatabaseError was thrown";
    return {};
}

// A text of characters that connection strings treat specially, blanks of several kinds,
// control characters and non-ASCII letters, mixed with plain ones.
QString randomValue(std::mt19937 &random)
{
    static const QString alphabet = QStringLiteral("aZ09 ;=\"'\t\n\r.:/\\{}[]()@#") +
                                    QChar(0x00a0) + QChar(0x3000) + QChar(0x00e9) + QChar(0x4e2d) +
                                    QChar(0) + QChar(0x2028);
    const int length = std::uniform_int_distribution<int>(0, 24)(random);
    QString value;
    for (int i = 0; i < length; ++i)
        value +=
            alphabet.at(std::uniform_int_distribution<qsizetype>(0, alphabet.size() - 1)(random));
    return value;
}

ConnectionManager managerOf(std::int16_t type, const QString &provider, const QString &dataSource)
{
    ConnectionManager manager;
    EXPECT_TRUE(manager.Init(type, provider, dataSource, QString()));
    return manager;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Writing values

TEST(ConnectionStringValue, OrdinaryValuesStandAsTheyAre)
{
    for (const char *value : {"", "TAVROOT", "NORTH PLANT", "/srv/zarn db", "127.0.0.1:5432",
                              "host/db", "Plant-7_(old)", "Zürich"})
        EXPECT_EQ(connectionStringValue(QString::fromUtf8(value)), QString::fromUtf8(value));
}

TEST(ConnectionStringValue, SpecialValuesAreQuotedWithInnerQuotesDoubled)
{
    EXPECT_EQ(connectionStringValue("a;b"), "\"a;b\"");
    EXPECT_EQ(connectionStringValue("a=b"), "\"a=b\"");
    EXPECT_EQ(connectionStringValue("it's"), "\"it's\"");
    EXPECT_EQ(connectionStringValue("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(connectionStringValue(" lead"), "\" lead\"");
    EXPECT_EQ(connectionStringValue("trail\t"), "\"trail\t\"");
}

// For many values, writing one into a string and parsing that string gives the value back,
// and the keywords around it stay as they were.
TEST(ConnectionStringValue, EveryValueReadsBackAsOneValue)
{
    std::mt19937 random(20240305);
    for (int round = 0; round < 20000; ++round) {
        const QString value = randomValue(random);
        const QString text =
            "Provider=P;Data Source=" + connectionStringValue(value) + ";User ID=u;Password=p;";
        QMap<QString, QString> keywords;
        ASSERT_NO_THROW(keywords = parseConnectionString(text)) << text.toStdString();
        ASSERT_EQ(keywords.value("data source"), value) << text.toStdString();
        ASSERT_EQ(keywords.size(), 4) << text.toStdString();
        ASSERT_EQ(keywords.value("provider"), "P");
        ASSERT_EQ(keywords.value("user id"), "u");
        ASSERT_EQ(keywords.value("password"), "p");
    }
}

// ---------------------------------------------------------------------------------------------
// What the connection manager builds

// No value of the root catalog or the settings changes the provider, the data source, the user
// or the password: each reaches the parser as the one value it was.
TEST(ConnectionManagerValues, NoValueAddsAKeyword)
{
    for (const std::int16_t type : {1, 2}) {
        for (const QString &hostile : hostileValues) {
            ConnectionManager manager = managerOf(type, "SQLite", "/srv/zarn");
            const auto keywords = parseConnectionString(manager.BuildConnectionString(hostile));
            EXPECT_EQ(keywords.value("provider"), "SQLite") << hostile.toStdString();
            EXPECT_EQ(keywords.value("data source"), "/srv/zarn") << hostile.toStdString();
            EXPECT_EQ(keywords.value("password"), zarnPassword) << hostile.toStdString();
            EXPECT_FALSE(keywords.contains("pwd"));
            const QString catalog = hostile.toUpper();
            if (type == 2) {
                EXPECT_EQ(keywords.value("initial catalog"), catalog);
                EXPECT_EQ(keywords.value("user id"), "TAVDBA");
            } else {
                EXPECT_EQ(keywords.value("user id"), catalog);
                EXPECT_FALSE(keywords.contains("initial catalog"));
            }
            EXPECT_EQ(keywords.size(), type == 2 ? 8 : 7) << hostile.toStdString();
        }
    }
}

TEST(ConnectionManagerValues, SettingsAreValuesToo)
{
    for (const QString &hostile : hostileValues) {
        if (hostile.trimmed().isEmpty())
            continue;
        ConnectionManager asProvider = managerOf(2, hostile, "/srv/zarn");
        auto keywords = parseConnectionString(asProvider.BuildConnectionString("TAVROOT"));
        EXPECT_EQ(keywords.value("provider"), asProvider.DB_PROVIDER());
        EXPECT_EQ(keywords.value("data source"), "/srv/zarn");
        EXPECT_EQ(keywords.value("initial catalog"), "TAVROOT");

        ConnectionManager asDataSource = managerOf(2, "SQLite", hostile);
        keywords = parseConnectionString(asDataSource.BuildConnectionString("TAVROOT"));
        EXPECT_EQ(keywords.value("provider"), "SQLite");
        EXPECT_EQ(keywords.value("data source"), asDataSource.DB_DATASOURCE());
        EXPECT_EQ(keywords.value("password"), zarnPassword);
        // The template takes the same values.
        const auto templateKeywords = parseConnectionString(asDataSource.TemplateCnnString());
        EXPECT_EQ(templateKeywords.value("data source"), asDataSource.DB_DATASOURCE());
        EXPECT_EQ(templateKeywords.value("password"), "###");
    }
}

// The customization is the operator's own list of keywords and is appended as written.
TEST(ConnectionManagerValues, CustomizationStaysAsWritten)
{
    ConnectionManager manager;
    ASSERT_TRUE(manager.Init(2, "SQLite", "/srv", QString(), "Timeout=5;Extra=\"a;b\""));
    EXPECT_TRUE(manager.BuildConnectionString("A").endsWith(
        "Application Name=ZARN Vantrel Importer;Timeout=5;Extra=\"a;b\""));
}

// ---------------------------------------------------------------------------------------------
// Masking passwords

TEST(PasswordMasking, KeywordValuesInEveryFormAreMasked)
{
    const struct
    {
        const char *text;
        const char *masked;
    } cases[] = {
        {"Provider=P;Password=Sec9ret;User ID=u", "Provider=P;Password=****;User ID=u"},
        {"x; pWd = Sec9ret ;y", "x; pWd = ****;y"},
        {"PASSWORD=\"Se;c=9\"\"ret\";next", "PASSWORD=****;next"},
        {"password='it''s;9';next", "password=****;next"},
        {"Password=\"Sec9ret;Provider=P", "Password=****"},
        {"Password=;User ID=u", "Password=****;User ID=u"},
        {"a Password=one; b PWD=two", "a Password=****; b PWD=****"},
        {"no secrets here; pass=word", "no secrets here; pass=word"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(withoutPasswords(QString::fromUtf8(c.text)), QString::fromUtf8(c.masked))
            << c.text;
    // Blanks of any kind around the "=", as the parser skips them.
    EXPECT_EQ(withoutPasswords(QStringLiteral("Password") + QChar(0x00a0) + "=" + QChar(0x3000) +
                               "Sec9ret"),
              QStringLiteral("Password") + QChar(0x00a0) + "=" + QChar(0x3000) + "****");
}

TEST(PasswordMasking, MaskingTwiceKeepsTheMessage)
{
    const QString once = withoutPasswords("file \"x;Password=Sec9ret.db\" does not exist.");
    EXPECT_EQ(once, "file \"x;Password=****");
    const QString message = "The file \"" + once + "\" does not exist.";
    EXPECT_EQ(withoutPasswords(message), message);
}

TEST(PasswordMasking, KnownPasswordsAreMaskedWhereverTheyStandWithoutRegardToCase)
{
    EXPECT_EQ(withoutPasswords("role \"SEC9RET\" failed; sec9ret again", {"Sec9ret"}),
              "role \"****\" failed; **** again");
    // The longer of two passwords first, so that no part of it is left.
    EXPECT_EQ(withoutPasswords("abcdef abc", {"abc", "abcdef"}), "**** ****");
    EXPECT_EQ(withoutPasswords("unchanged", {QString(), "zzz"}), "unchanged");
}

TEST(PasswordMasking, EveryPasswordOfAStringIsFoundAlsoBeforeAMalformedRest)
{
    EXPECT_EQ(passwordsIn("Password=a;PWD=b;password = \"c;d\";User ID=u"),
              QStringList({"a", "b", "c;d"}));
    EXPECT_EQ(passwordsIn("Password=a;Provider=\"P"), QStringList({"a"}));
    EXPECT_EQ(passwordsIn("no equals sign"), QStringList());
}

// ---------------------------------------------------------------------------------------------
// Messages of a malformed string and of a failed opening

TEST(ConnectionStringMessages, AnUnterminatedQuoteHasItsOwnMessage)
{
    const QString message =
        databaseErrorOf([] { parseConnectionString("Provider=\"PostgreSQL;Password=Sec9ret"); });
    EXPECT_EQ(message, "The connection string is malformed: the value of \"provider\" (part 1) "
                       "opens a quote that is never closed.");
    // A keyword the program does not use may be a password typed without its "=".
    const QString unknown =
        databaseErrorOf([] { parseConnectionString("Provider=P;Password Sec9ret=\"x"); });
    EXPECT_EQ(unknown, "The connection string is malformed: the value of part 2 opens a quote "
                       "that is never closed.");
    const QString trailing =
        databaseErrorOf([] { parseConnectionString("Provider=P;Sec9ret=\"x\"Sec9ret"); });
    EXPECT_EQ(trailing,
              "The connection string is malformed: text follows the closing quote of the value "
              "of part 2.");
}

// However the password is written and whichever provider the string names, the message of a
// failed opening does not show it.
TEST(ConnectionStringMessages, NoOpeningShowsThePassword)
{
    QTemporaryDir folder;
    const QString missingFile = folder.filePath("missing.db");
    const QStringList strings = {
        "Provider=\"Nonesuch;Data Source=x;Password=Sec9ret\"",
        "Provider=Nonesuch Password=Sec9ret;Data Source=x",
        "Provider='Nonesuch PWD=Sec9ret';Password=Sec9ret",
        "Provider=\"SQLite;Data Source=x;Password=Sec9ret",
        "Provider=SQLite;Data Source=\"" + folder.path() + "/Password=Sec9ret/x.db\"",
        "Provider=SQLite;Data Source=" + folder.path() + ";Initial Catalog=\"a:Password=Sec9ret\"",
        "Provider=SQLite;Data Source=" + missingFile + ";Password=Sec9ret",
        "Provider=PostgreSQL;Data Source=127.0.0.1:1;Initial Catalog=x;User ID=Sec9ret;"
        "Password=Sec9ret",
        "Provider=PostgreSQL;Data Source=127.0.0.1:1/Sec9ret;Password=x;Password=Sec9ret",
        "Provider=MSDASQL;Data Source=NoSuchSource_Sec9ret;User ID=u;Password=Sec9ret",
        "Provider=ODBC;Data Source=NoSuchSource;PWD=Sec9ret;Password=\"Sec9ret}\"",
    };
    for (const QString &text : strings) {
        dal::Connection connection;
        connection.setConnectionString(text);
        connection.setConnectionTimeout(2);
        const QString message = databaseErrorOf([&] { connection.Open(); });
        EXPECT_FALSE(message.isEmpty()) << text.toStdString();
        EXPECT_FALSE(message.contains("Sec9ret", Qt::CaseInsensitive))
            << text.toStdString() << "\n  " << message.toStdString();
    }
}

TEST(ConnectionStringMessages, AnUnknownProviderIsNamedWithItsPasswordMasked)
{
    dal::Connection connection;
    connection.setConnectionString("Provider=\"Nonesuch;Password=Sec9ret\";Data Source=x");
    EXPECT_EQ(databaseErrorOf([&] { connection.Open(); }),
              "The database provider \"Nonesuch;Password=****\" is unknown.");
}
