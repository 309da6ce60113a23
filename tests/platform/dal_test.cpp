#include "platform/Error.h"
#include "platform/dal/Command.h"
#include "platform/dal/Connection.h"
#include "platform/dal/ConnectionString.h"
#include "platform/dal/Recordset.h"
#include "platform/dal/SqlText.h"
#include "platform/dal/Transaction.h"
#include "support/ScratchDatabase.h"

#include <functional>
#include <gtest/gtest.h>

using namespace zarn;
using namespace zarn::dal;
using zarn::test::ScratchDatabase;

namespace zarn {
// Shows values readably in failure messages.
void PrintTo(const Value &value, std::ostream *out)
{
    *out << "kind " << static_cast<int>(value.kind()) << " \""
         << value.toTextOrEmpty().toStdString() << "\"";
}
} // namespace zarn

namespace {

// Every test runs in a zone with daylight-saving changes, so that a date-time that the zone
// skips or repeats would show any shift on its way to and from the database.
[[maybe_unused]] const bool inBerlinTime = [] { return qputenv("TZ", "Europe/Berlin"); }();

long errorNumberOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const Error &error) {
        return error.number();
    }
    return 0;
}

// The description of the DatabaseError that the operation throws; a failure when it throws none.
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

constexpr long closedNumber = 3704;
constexpr long noCurrentRecordNumber = 3021;
constexpr long notUpdatableNumber = 3251;

// ---------------------------------------------------------------------------------------------
// Connection strings and SQL texts (no database)

TEST(ConnectionString, KeywordsIgnoreCaseAndBlanksAndValuesAreTrimmed)
{
    const auto keywords =
        parseConnectionString(QStringLiteral(" Provider = SQLite ;DATA SOURCE= /tmp/a b.db ;;"
                                             "user id=Ab;"));
    EXPECT_EQ(keywords.size(), 3);
    EXPECT_EQ(keywords.value(QStringLiteral("provider")), QStringLiteral("SQLite"));
    EXPECT_EQ(keywords.value(QStringLiteral("data source")), QStringLiteral("/tmp/a b.db"));
    EXPECT_EQ(keywords.value(QStringLiteral("user id")), QStringLiteral("Ab"));
}

TEST(ConnectionString, QuotedValuesKeepSemicolonsEqualSignsAndDoubledQuotes)
{
    const auto keywords = parseConnectionString(
        QStringLiteral("Password=\"a;b=c\" ; Name='it''s'; Say = \"\"\"hi\"\"\"; Eq=x=y"));
    EXPECT_EQ(keywords.value(QStringLiteral("password")), QStringLiteral("a;b=c"));
    EXPECT_EQ(keywords.value(QStringLiteral("name")), QStringLiteral("it's"));
    EXPECT_EQ(keywords.value(QStringLiteral("say")), QStringLiteral("\"hi\""));
    EXPECT_EQ(keywords.value(QStringLiteral("eq")), QStringLiteral("x=y"));
}

TEST(ConnectionString, MalformedStringsFailWithoutRepeatingAnyValue)
{
    for (const char *text :
         {"Provider=SQLite;Sec9ret", "=Sec9ret", "Password=\"Sec9ret;Provider=SQLite",
          "Password=\"Sec9\"ret;Provider=SQLite", "Password=Sec;9ret;Provider=SQLite"}) {
        const QString message =
            databaseErrorOf([&] { parseConnectionString(QString::fromUtf8(text)); });
        EXPECT_FALSE(message.isEmpty()) << text;
        EXPECT_FALSE(message.contains(QStringLiteral("Sec")))
            << text << ": " << message.toStdString();
        EXPECT_FALSE(message.contains(QStringLiteral("9ret")))
            << text << ": " << message.toStdString();
    }
}

TEST(SqlText, StatementsSplitOutsideQuotesAndComments)
{
    const QStringList statements = sqltext::splitStatements(
        QStringLiteral("INSERT INTO t VALUES ('a;b', \"c;d\", [e;f]); -- one; two\n"
                       "SELECT 1 /* x; y */ ;;  \n-- only a comment;\n  "),
        SqlDialect());
    ASSERT_EQ(statements.size(), 2);
    EXPECT_EQ(statements[0], QStringLiteral("INSERT INTO t VALUES ('a;b', \"c;d\", [e;f])"));
    EXPECT_EQ(statements[1], QStringLiteral("-- one; two\nSELECT 1 /* x; y */"));
}

// Each rule of a dialect keeps a ";" inside what it quotes or comments from ending a statement,
// and none of them does so in a dialect without it.
TEST(SqlText, StatementsSplitByTheRulesOfTheirDialect)
{
    SqlDialect postgres;
    postgres.backtickNames = false;
    postgres.escapeStrings = true;
    postgres.dollarQuotes = true;
    postgres.nestedComments = true;
    SqlDialect backslashes;
    backslashes.doubleQuotedNames = false;
    backslashes.backslashEscapes = true;
    backslashes.hashComments = true;
    const SqlDialect plain;
    struct Case
    {
        const SqlDialect &dialect;
        const char *script;
        QStringList statements;
    };
    const Case cases[] = {
        {postgres, "SELECT $$a;b$$; SELECT $f$ $$; $f$", {"SELECT $$a;b$$", "SELECT $f$ $$; $f$"}},
        {plain, "SELECT $$a;b$$", {"SELECT $$a", "b$$"}},
        {postgres, "SELECT $1; SELECT 2", {"SELECT $1", "SELECT 2"}},
        {postgres,
         "SELECT E'\\';'; SELECT 'x\\'; SELECT 3",
         {"SELECT E'\\';'", "SELECT 'x\\'", "SELECT 3"}},
        {postgres,
         "SELECT 1 /* a /* b */ ; */; SELECT 2",
         {"SELECT 1 /* a /* b */ ; */", "SELECT 2"}},
        {plain, "SELECT 1 /* a /* b */ ; */", {"SELECT 1 /* a /* b */", "*/"}},
        {backslashes,
         "SELECT 'a\\';b'; SELECT \"c\\\";d\"",
         {"SELECT 'a\\';b'", "SELECT \"c\\\";d\""}},
        {backslashes, "SELECT 1 # a;b\n; SELECT `x;y`", {"SELECT 1 # a;b", "SELECT `x;y`"}},
        {plain, "SELECT 1 # a;b", {"SELECT 1 # a", "b"}},
        {postgres, "SELECT `x;y`", {"SELECT `x", "y`"}},
    };
    for (const Case &c : cases) {
        const QString script = QString::fromUtf8(c.script);
        EXPECT_EQ(sqltext::splitStatements(script, c.dialect), c.statements) << c.script;
    }
}

TEST(SqlText, SingleTableIsFoundOnlyForQueriesOfOneTable)
{
    EXPECT_EQ(sqltext::singleTableOf(
                  QStringLiteral("select * from action_history_trans where id =-1"), SqlDialect()),
              QStringLiteral("action_history_trans"));
    EXPECT_EQ(sqltext::singleTableOf(QStringLiteral("SELECT a, (SELECT 1 FROM x) FROM [Group] AS g "
                                                    "ORDER BY a"),
                                     SqlDialect()),
              QStringLiteral("[Group]"));
    EXPECT_EQ(sqltext::singleTableOf(QStringLiteral("SELECT * FROM dbo.VARDESC v WHERE x='from y'"),
                                     SqlDialect()),
              QStringLiteral("dbo.VARDESC"));
    for (const char *query :
         {"SELECT * FROM a JOIN b ON a.id = b.id", "SELECT * FROM a, b", "SELECT * FROM a x, b y",
          "SELECT * FROM (SELECT * FROM a) q", "SELECT * FROM a UNION SELECT * FROM b",
          "SELECT k, COUNT(*) FROM a GROUP BY k", "DELETE FROM a", "SELECT 1"})
        EXPECT_FALSE(sqltext::singleTableOf(QString::fromUtf8(query), SqlDialect())) << query;
    EXPECT_EQ(sqltext::unquotedName(QStringLiteral("[dbo].\"a\"\"b\""), SqlDialect()),
              QStringLiteral("dbo.a\"b"));
}

// ---------------------------------------------------------------------------------------------
// Opening connections

class Dal : public ::testing::Test
{
protected:
    void SetUp() override { db.open(conn); }

    void run(const QString &sql) { conn.provider().executeScript(sql); }

    long countOf(Connection &connection, const QString &table)
    {
        Recordset rows = connection.Execute(QStringLiteral("SELECT COUNT(*) FROM ") + table);
        return rows.Fields(0).Value().toInt32();
    }

    // items: a, b, c with quantities 1, 2, 3 and keys in that order.
    void createItems()
    {
        run(QStringLiteral("CREATE TABLE items (id %1, name VARCHAR(50), qty INTEGER, "
                           "note VARCHAR(20) DEFAULT 'none')")
                .arg(db.autoKeyColumn()));
        run(QStringLiteral("INSERT INTO items (name, qty) VALUES ('a', 1), ('b', 2), ('c', 3)"));
    }

    QStringList namesOf(Connection &connection, const QString &query)
    {
        Recordset rows = connection.Execute(query);
        QStringList names;
        for (; !rows.Eof(); rows.MoveNext())
            names.append(rows.Fields(0).Value().toTextOrEmpty());
        return names;
    }

    // name:qty of an item, as one text.
    static QString nameAndQty()
    {
        return test::serverContext().concatenated({"name", "':'", "qty"});
    }

    void openItemsTable(Recordset &rows)
    {
        rows.Open(QStringLiteral("items"), conn, adOpenStatic, adLockOptimistic, adCmdTable);
    }

    ScratchDatabase db;
    Connection conn;
};

TEST_F(Dal, UnknownOrUnavailableProvidersFailNamingThem)
{
    Connection connection;
    connection.setConnectionString(QStringLiteral("Provider=FancyDB;Data Source=x"));
    EXPECT_TRUE(databaseErrorOf([&] { connection.Open(); }).contains(QStringLiteral("FancyDB")));
    EXPECT_FALSE(connection.isOpen());
    connection.setConnectionString(QStringLiteral("Provider=MSDASQL;Data Source=x"));
    EXPECT_TRUE(databaseErrorOf([&] { connection.Open(); }).contains(QStringLiteral("MSDASQL")));
    connection.setConnectionString(QStringLiteral("Data Source=x"));
    EXPECT_TRUE(databaseErrorOf([&] { connection.Open(); }).contains(QStringLiteral("Provider")));
}

TEST_F(Dal, MissingDatabaseFailsNamingItAndNeverThePassword)
{
    Connection connection;
    connection.setConnectionString(db.missingDatabaseConnectionString(QStringLiteral("Pw-77-x")));
    const QString message = databaseErrorOf([&] { connection.Open(); });
    EXPECT_TRUE(message.contains(QStringLiteral("missing"))) << message.toStdString();
    EXPECT_FALSE(message.contains(QStringLiteral("Pw-77-x"))) << message.toStdString();
    EXPECT_FALSE(connection.isOpen());
}

TEST_F(Dal, OpenTwiceIsRefusedAndClosedConnectionRefusesWork)
{
    EXPECT_EQ(errorNumberOf([&] { conn.Open(); }), 3705);
    conn.Close();
    conn.Close();
    EXPECT_FALSE(databaseErrorOf([&] { conn.Execute(QStringLiteral("SELECT 1")); }).isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Static record sets

TEST_F(Dal, QueryGivesExactCountMovesAndFieldsByNameInAnyCase)
{
    createItems();
    Recordset rows;
    rows.Open(QStringLiteral("SELECT id, name, qty FROM items WHERE qty >= ? ORDER BY id"), conn,
              adOpenStatic, adLockReadOnly, adCmdText, {Value(std::int32_t(2))});
    EXPECT_EQ(rows.RecordCount(), 2);
    EXPECT_FALSE(rows.Bof());
    EXPECT_FALSE(rows.Eof());
    EXPECT_EQ(rows.FieldCount(), 3);
    EXPECT_EQ(rows.Fields(QStringLiteral("NAME")).Value(), Value("b"));
    EXPECT_EQ(rows.Fields(2).Value(), Value(std::int32_t(2)));
    EXPECT_EQ(rows.Fields(1).Name().toLower(), QStringLiteral("name"));
    rows.MoveLast();
    EXPECT_EQ(rows.Fields(QStringLiteral("Name")).Value(), Value("c"));
    rows.MoveNext();
    EXPECT_TRUE(rows.Eof());
    EXPECT_FALSE(rows.Bof());
    EXPECT_EQ(errorNumberOf([&] { rows.MoveNext(); }), noCurrentRecordNumber);
    EXPECT_EQ(errorNumberOf([&] { rows.Fields(0).Value(); }), noCurrentRecordNumber);
    rows.MoveFirst();
    EXPECT_EQ(rows.Fields(QStringLiteral("name")).Value(), Value("b"));
    EXPECT_EQ(errorNumberOf([&] { rows.Fields(QStringLiteral("nope")); }), 3265);
    EXPECT_EQ(errorNumberOf([&] { rows.Fields(3); }), 3265);
}

TEST_F(Dal, EmptyRecordsetHasBofAndEof)
{
    createItems();
    Recordset rows;
    rows.Open(QStringLiteral("SELECT * FROM items WHERE id = -1"), conn, adOpenStatic,
              adLockReadOnly, adCmdText);
    EXPECT_EQ(rows.RecordCount(), 0);
    EXPECT_TRUE(rows.Bof());
    EXPECT_TRUE(rows.Eof());
    EXPECT_EQ(errorNumberOf([&] { rows.MoveNext(); }), noCurrentRecordNumber);
    EXPECT_EQ(errorNumberOf([&] { rows.MoveFirst(); }), noCurrentRecordNumber);
}

TEST_F(Dal, ClosedRecordsetRefusesEveryOperation)
{
    createItems();
    Recordset rows;
    EXPECT_EQ(errorNumberOf([&] { rows.RecordCount(); }), closedNumber);
    openItemsTable(rows);
    Field &name = rows.Fields(QStringLiteral("name"));
    rows.Close();
    rows.Close();
    const std::vector<std::function<void()>> operations = {
        [&] { rows.Bof(); },         [&] { rows.Eof(); },
        [&] { rows.RecordCount(); }, [&] { rows.MoveFirst(); },
        [&] { rows.MoveLast(); },    [&] { rows.MoveNext(); },
        [&] { rows.FieldCount(); },  [&] { rows.Fields(0); },
        [&] { rows.AddNew(); },      [&] { rows.Update(); },
        [&] { rows.Delete(); },      [&] { rows.Resync(); },
        [&] { name.Value(); },       [&] { name.SetValue(Value("x")); }};
    for (const auto &operation : operations)
        EXPECT_EQ(errorNumberOf(operation), closedNumber);
    Recordset moved = std::move(rows);
    EXPECT_EQ(errorNumberOf([&] { rows.Eof(); }), closedNumber);
}

TEST_F(Dal, MovedRecordsetKeepsItsFieldsWorking)
{
    createItems();
    Recordset moved = conn.Execute(QStringLiteral("SELECT name FROM items ORDER BY id"));
    Recordset rows = std::move(moved);
    rows.MoveNext();
    EXPECT_EQ(rows.Fields(0).Value(), Value("b"));
}

TEST_F(Dal, ExecuteOfAStatementWithoutRowsGivesAnEmptyOpenRecordset)
{
    createItems();
    Recordset none = conn.Execute(QStringLiteral("UPDATE items SET qty = ? WHERE name = ?"),
                                  {Value(std::int32_t(7)), Value("a")});
    EXPECT_TRUE(none.isOpen());
    EXPECT_EQ(none.RecordCount(), 0);
    EXPECT_EQ(namesOf(conn, QStringLiteral("SELECT qty FROM items ORDER BY id")),
              QStringList({"7", "2", "3"}));
}

TEST_F(Dal, AddNewOnTableMakesTheStoredRowCurrentWithItsKeyAndDefaults)
{
    createItems();
    Recordset rows;
    openItemsTable(rows);
    rows.AddNew();
    EXPECT_TRUE(rows.Fields(QStringLiteral("id")).Value().isNull());
    rows.Fields(QStringLiteral("Name")).SetValue(Value("d"));
    rows.Fields(QStringLiteral("QTY")).SetValue(Value(std::int16_t(-32768)));
    rows.Update();
    EXPECT_EQ(rows.RecordCount(), 4);
    EXPECT_FALSE(rows.Eof());
    EXPECT_EQ(rows.Fields(QStringLiteral("id")).Value(), Value(std::int32_t(4)));
    EXPECT_EQ(rows.Fields(QStringLiteral("note")).Value(), Value("none"));
    EXPECT_EQ(rows.Fields(QStringLiteral("qty")).Value(), Value(std::int32_t(-32768)));

    rows.AddNew(); // nothing assigned: every column takes its default
    rows.Update();
    EXPECT_EQ(rows.Fields(QStringLiteral("id")).Value(), Value(std::int32_t(5)));
    EXPECT_TRUE(rows.Fields(QStringLiteral("name")).Value().isNull());
    rows.MoveNext();
    EXPECT_TRUE(rows.Eof());

    Connection other;
    db.open(other);
    EXPECT_EQ(namesOf(other, QStringLiteral("SELECT qty FROM items WHERE id = 4")),
              QStringList({"-32768"}));
    EXPECT_EQ(countOf(other, QStringLiteral("items")), 5);
}

TEST_F(Dal, AddNewOnAnEmptyQueryThenResyncReadsTheNewRowByItsKey)
{
    createItems();
    Recordset rows;
    rows.Open(QStringLiteral("select * from items where id =-1"), conn, adOpenStatic,
              adLockPessimistic, adCmdText);
    ASSERT_TRUE(rows.Eof());
    rows.AddNew();
    EXPECT_FALSE(rows.Bof());
    EXPECT_FALSE(rows.Eof());
    rows.Fields(QStringLiteral("name")).SetValue(Value("z"));
    rows.Update();
    rows.Resync(adAffectCurrent, adResyncAllValues);
    EXPECT_EQ(rows.Fields(QStringLiteral("id")).Value().toInt32(), 4);
    EXPECT_EQ(rows.Fields(QStringLiteral("name")).Value(), Value("z"));
    EXPECT_EQ(rows.RecordCount(), 1);
}

TEST_F(Dal, UpdateWritesOnlyTheAssignedColumnsOfTheCurrentRow)
{
    createItems();
    Recordset rows;
    openItemsTable(rows);
    rows.MoveFirst();
    rows.MoveNext();
    Connection other;
    db.open(other);
    other.Execute(QStringLiteral("UPDATE items SET qty = 99 WHERE name = 'b'"));

    rows.Fields(QStringLiteral("name")).SetValue(Value("B2"));
    EXPECT_EQ(rows.Fields(QStringLiteral("name")).Value(), Value("B2"));
    rows.Update();
    EXPECT_EQ(namesOf(other, QStringLiteral("SELECT %1 FROM items ORDER BY id").arg(nameAndQty())),
              QStringList({"a:1", "B2:99", "c:3"}));
    // The row as stored, also the column that someone else changed.
    EXPECT_EQ(rows.Fields(QStringLiteral("qty")).Value(), Value(std::int32_t(99)));
}

TEST_F(Dal, MovingSavesPendingChanges)
{
    createItems();
    Recordset rows;
    openItemsTable(rows);
    rows.Fields(QStringLiteral("qty")).SetValue(Value(std::int32_t(10)));
    rows.MoveNext();
    rows.AddNew();
    rows.Fields(QStringLiteral("name")).SetValue(Value("d"));
    rows.MoveFirst();
    EXPECT_EQ(namesOf(conn, QStringLiteral("SELECT %1 FROM items ORDER BY id").arg(nameAndQty())),
              QStringList({"a:10", "b:2", "c:3"}) << QString());
    EXPECT_EQ(countOf(conn, QStringLiteral("items")), 4);
}

TEST_F(Dal, TableWithoutKeyIsUpdatedByAllOriginalValues)
{
    run(QStringLiteral("CREATE TABLE loose (a INTEGER, b VARCHAR(10))"));
    run(QStringLiteral("INSERT INTO loose (a, b) VALUES (1, 'x'), (NULL, 'y'), (3, 'x')"));
    Recordset rows;
    rows.Open(QStringLiteral("SELECT * FROM loose ORDER BY b, a"), conn, adOpenStatic,
              adLockOptimistic, adCmdText);
    rows.MoveLast(); // (NULL, 'y')
    rows.Fields(QStringLiteral("b")).SetValue(Value("z"));
    rows.Update();
    rows.MoveFirst(); // (1, 'x')
    rows.Delete();
    EXPECT_EQ(namesOf(conn, QStringLiteral("SELECT %1 FROM loose ORDER BY b")
                                .arg(test::serverContext().concatenated({"coalesce(a, 0)", "b"}))),
              QStringList({"3x", "0z"}));
}

TEST_F(Dal, TableWithoutKeyRefusesToChangeOneOfTwoEqualRows)
{
    run(QStringLiteral("CREATE TABLE loose (a INTEGER, b VARCHAR(10))"));
    run(QStringLiteral("INSERT INTO loose (a, b) VALUES (1, 'x'), (1, 'x')"));
    Recordset rows;
    rows.Open(QStringLiteral("loose"), conn, adOpenStatic, adLockOptimistic, adCmdTable);
    rows.Fields(QStringLiteral("b")).SetValue(Value("z"));
    EXPECT_FALSE(databaseErrorOf([&] { rows.Update(); }).isEmpty());
    EXPECT_FALSE(databaseErrorOf([&] { rows.Delete(); }).isEmpty());
    EXPECT_EQ(namesOf(conn, QStringLiteral("SELECT b FROM loose")), QStringList({"x", "x"}));
}

TEST_F(Dal, DeleteRemovesTheRowAndMoveNextGoesToTheFollowingOne)
{
    createItems();
    Recordset rows;
    openItemsTable(rows);
    rows.MoveNext();
    rows.Delete(adAffectCurrent);
    EXPECT_EQ(rows.RecordCount(), 2);
    EXPECT_FALSE(rows.Eof());
    EXPECT_EQ(errorNumberOf([&] { rows.Fields(QStringLiteral("name")).Value(); }),
              noCurrentRecordNumber);
    EXPECT_EQ(errorNumberOf([&] { rows.Delete(); }), noCurrentRecordNumber);
    rows.MoveNext();
    EXPECT_EQ(rows.Fields(QStringLiteral("name")).Value(), Value("c"));
    rows.Delete();
    rows.MoveNext();
    EXPECT_TRUE(rows.Eof());
    EXPECT_EQ(namesOf(conn, QStringLiteral("SELECT name FROM items")), QStringList({"a"}));
}

TEST_F(Dal, DeleteAndMoveNextWhileRowsRemainEmptiesTheTable)
{
    createItems();
    run(QStringLiteral("INSERT INTO items (name, qty) VALUES ('d', 4), ('e', 5)"));
    Recordset rows;
    openItemsTable(rows);
    while (rows.RecordCount() > 0) {
        rows.Delete(adAffectCurrent);
        rows.MoveNext();
    }
    EXPECT_TRUE(rows.Bof());
    EXPECT_TRUE(rows.Eof());
    EXPECT_EQ(countOf(conn, QStringLiteral("items")), 0);
    rows.AddNew();
    rows.Fields(QStringLiteral("name")).SetValue(Value("f"));
    rows.Update();
    EXPECT_EQ(rows.RecordCount(), 1);
    EXPECT_EQ(namesOf(conn, QStringLiteral("SELECT name FROM items")), QStringList({"f"}));
}

TEST_F(Dal, ResyncRereadsTheCurrentRowAndFailsWhenItIsGone)
{
    createItems();
    Recordset rows;
    rows.Open(QStringLiteral("SELECT name, id FROM items AS i WHERE qty > 1 ORDER BY id"), conn,
              adOpenStatic, adLockReadOnly, adCmdText);
    Connection other;
    db.open(other);
    other.Execute(QStringLiteral("UPDATE items SET name = 'b2' WHERE id = 2"));
    rows.Resync();
    EXPECT_EQ(rows.Fields(QStringLiteral("name")).Value(), Value("b2"));
    other.Execute(QStringLiteral("DELETE FROM items WHERE id = 2"));
    EXPECT_FALSE(databaseErrorOf([&] { rows.Resync(); }).isEmpty());
}

TEST_F(Dal, ReadOnlyAndJoinedRecordsetsRefuseChanges)
{
    createItems();
    Recordset readOnly;
    readOnly.Open(QStringLiteral("items"), conn, adOpenStatic, adLockReadOnly, adCmdTable);
    EXPECT_EQ(errorNumberOf([&] { readOnly.AddNew(); }), notUpdatableNumber);
    EXPECT_EQ(errorNumberOf([&] { readOnly.Fields(1).SetValue(Value("x")); }), notUpdatableNumber);
    EXPECT_EQ(errorNumberOf([&] { readOnly.Delete(); }), notUpdatableNumber);

    Recordset joined;
    joined.Open(QStringLiteral("SELECT i.id, j.name FROM items i JOIN items j ON i.id = j.id"),
                conn, adOpenStatic, adLockOptimistic, adCmdText);
    EXPECT_EQ(joined.RecordCount(), 3);
    EXPECT_FALSE(databaseErrorOf([&] { joined.AddNew(); }).isEmpty());
    EXPECT_EQ(countOf(conn, QStringLiteral("items")), 3);
}

TEST_F(Dal, NullsAndEmptiesAreStoredAsNull)
{
    createItems();
    Command insert;
    insert.setActiveConnection(conn);
    insert.setCommandText(QStringLiteral("INSERT INTO items (name, qty, note) VALUES (?, ?, ?)"));
    for (int i = 0; i < 3; ++i)
        insert.AppendParameter(Command::CreateParameter(QString(), adVarWChar, adParamInput));
    insert.Parameters(0).value = Value::null();
    insert.Parameters(1).value = Value();
    insert.Parameters(2).value = Value("n");
    insert.Execute();
    Recordset rows;
    rows.Open(QStringLiteral("SELECT * FROM items WHERE name IS NULL"), conn, adOpenStatic,
              adLockOptimistic, adCmdText);
    ASSERT_EQ(rows.RecordCount(), 1);
    EXPECT_TRUE(rows.Fields(QStringLiteral("qty")).Value().isNull());
    rows.Fields(QStringLiteral("note")).SetValue(Value::null());
    rows.Update();
    EXPECT_EQ(countOf(conn, QStringLiteral("items WHERE note IS NULL")), 1);
}

// ---------------------------------------------------------------------------------------------
// Transactions

TEST_F(Dal, TransactionRollsBackUnlessCommitted)
{
    createItems();
    {
        Transaction transaction(conn);
        conn.Execute(QStringLiteral("DELETE FROM items"));
    }
    EXPECT_EQ(countOf(conn, QStringLiteral("items")), 3);
    {
        Transaction transaction(conn);
        conn.Execute(QStringLiteral("DELETE FROM items WHERE id = 1"));
        transaction.commit();
    }
    Connection other;
    db.open(other);
    EXPECT_EQ(countOf(other, QStringLiteral("items")), 2);
}

// A refused statement's error carries the server's own code: a SQLSTATE of the class of
// integrity constraint violations where the server gives SQLSTATEs, the library's extended
// result code where it does not.
TEST_F(Dal, ARefusedStatementCarriesTheServersCode)
{
    createItems();
    try {
        conn.Execute(QStringLiteral("INSERT INTO items (id, name) VALUES (1, 'again')"));
        ADD_FAILURE() << "a duplicate key was taken";
    } catch (const DatabaseError &error) {
        if (error.sqlState().isEmpty())
            EXPECT_EQ(error.nativeCode(), 1555) << error.what(); // SQLITE_CONSTRAINT_PRIMARYKEY
        else
            EXPECT_TRUE(error.sqlState().startsWith(QStringLiteral("23"))) << error.what();
    }
}

// ---------------------------------------------------------------------------------------------
// Forward-only record sets

TEST_F(Dal, ForwardOnlyStreamsTheRowsAndCountOfOneSnapshot)
{
    createItems();
    Recordset rows;
    rows.Open(QStringLiteral("SELECT name FROM items WHERE qty > ? ORDER BY id -- last line"), conn,
              adOpenForwardOnly, adLockReadOnly, adCmdText, {Value(std::int32_t(0))});
    EXPECT_EQ(rows.RecordCount(), 3);
    Connection other;
    db.open(other);
    other.Execute(QStringLiteral("INSERT INTO items (name, qty) VALUES ('late', 9)"));
    // Other statements run on the same connection while the rows are being read.
    EXPECT_EQ(countOf(conn, QStringLiteral("items")), 3);

    QStringList names;
    for (; !rows.Eof(); rows.MoveNext())
        names.append(rows.Fields(QStringLiteral("NAME")).Value().toText());
    EXPECT_EQ(names, QStringList({"a", "b", "c"}));
    EXPECT_EQ(rows.RecordCount(), 3);
    EXPECT_EQ(errorNumberOf([&] { rows.MoveNext(); }), noCurrentRecordNumber);
    rows.Close();

    // The snapshot ended with the record set: a transaction can start and sees the new row.
    Transaction transaction(conn);
    EXPECT_EQ(countOf(conn, QStringLiteral("items")), 4);
}

TEST_F(Dal, ForwardOnlyIsReadOnlyAndMovesOnlyForward)
{
    createItems();
    Recordset rows;
    rows.Open(QStringLiteral("items"), conn, adOpenForwardOnly, adLockOptimistic, adCmdTable);
    EXPECT_FALSE(rows.Bof());
    rows.MoveNext();
    EXPECT_NE(errorNumberOf([&] { rows.MoveFirst(); }), 0);
    EXPECT_NE(errorNumberOf([&] { rows.MoveLast(); }), 0);
    EXPECT_EQ(errorNumberOf([&] { rows.AddNew(); }), notUpdatableNumber);
    EXPECT_EQ(errorNumberOf([&] { rows.Delete(); }), notUpdatableNumber);
    rows.Close();

    Recordset empty;
    empty.Open(QStringLiteral("SELECT * FROM items WHERE qty > 100"), conn, adOpenForwardOnly,
               adLockReadOnly, adCmdText);
    EXPECT_TRUE(empty.Bof());
    EXPECT_TRUE(empty.Eof());
    EXPECT_EQ(empty.RecordCount(), 0);
}

// ---------------------------------------------------------------------------------------------
// Commands

TEST_F(Dal, TextCommandRunsManyTimesAndSurvivesChangesAndReopening)
{
    createItems();
    Command insert;
    EXPECT_NE(errorNumberOf([&] { insert.Execute(); }), 0);
    insert.setActiveConnection(conn);
    insert.setCommandType(adCmdText);
    insert.setCommandText(QStringLiteral("INSERT INTO items (name, qty) VALUES (?, ?)"));
    insert.AppendParameter(
        Command::CreateParameter(QStringLiteral("name"), adVarWChar, adParamInput, 50));
    insert.AppendParameter(
        Command::CreateParameter(QStringLiteral("qty"), adInteger, adParamInput));
    EXPECT_EQ(errorNumberOf([&] { insert.Parameters(2); }), 3265);
    for (int i = 0; i < 200; ++i) {
        insert.Parameters(0).value = Value(QStringLiteral("n%1").arg(i));
        insert.Parameters(1).value = Value(std::int32_t(i));
        insert.Execute();
    }
    EXPECT_EQ(namesOf(conn, QStringLiteral("SELECT SUM(qty) FROM items WHERE name LIKE 'n%'")),
              QStringList({"19900"}));

    conn.Close();
    db.open(conn);
    insert.Execute(); // prepared anew on the reopened connection
    EXPECT_EQ(countOf(conn, QStringLiteral("items")), 204);
    insert.setCommandText(QStringLiteral("DELETE FROM items WHERE name = ? OR qty = ?"));
    insert.Parameters(0).value = Value("a");
    insert.Parameters(1).value = Value(std::int32_t(199));
    insert.Execute();
    EXPECT_EQ(countOf(conn, QStringLiteral("items")), 201);
}

TEST_F(Dal, TextCommandReturningRowsLeavesNoStaleSnapshot)
{
    createItems();
    Command select;
    select.setActiveConnection(conn);
    select.setCommandText(QStringLiteral("SELECT * FROM items"));
    select.Execute();
    Connection other;
    db.open(other);
    other.Execute(QStringLiteral("INSERT INTO items (name) VALUES ('new')"));
    EXPECT_EQ(countOf(conn, QStringLiteral("items")), 4);
}

// ---------------------------------------------------------------------------------------------
// Stored procedures

class Procedures : public Dal
{
protected:
    // twice(a IN, total OUT, label IN, echo OUT): 2a and label + "!", Nulls when a is Null.
    void createTwice()
    {
        db.createProcedure(
            conn, QStringLiteral("zarn_twice"),
            {QStringLiteral("SELECT :a * 2 AS total, :label || '!' AS echo WHERE :a IS NOT NULL"),
             QStringLiteral("CREATE FUNCTION zarn_twice(a integer, OUT total integer, label text, "
                            "OUT echo text) AS $$ BEGIN IF a IS NOT NULL THEN total := a * 2; "
                            "echo := label || '!'; END IF; END $$ LANGUAGE plpgsql"),
             QStringLiteral("CREATE PROCEDURE zarn_twice(IN a INTEGER, OUT total INTEGER, "
                            "IN label VARCHAR(20), OUT echo VARCHAR(20)) BEGIN IF a IS NOT NULL "
                            "THEN SET total = a * 2; SET echo = CONCAT(label, '!'); END IF; "
                            "END")});
    }

    void prepareTwice(Command &command)
    {
        command.setActiveConnection(conn);
        command.setCommandType(adCmdStoredProc);
        command.setCommandText(QStringLiteral("zarn_twice"));
        command.AppendParameter(
            Command::CreateParameter(QStringLiteral("a"), adInteger, adParamInput));
        command.AppendParameter(
            Command::CreateParameter(QStringLiteral("total"), adInteger, adParamOutput));
        command.AppendParameter(
            Command::CreateParameter(QStringLiteral("label"), adVarWChar, adParamInput, 20));
        command.AppendParameter(
            Command::CreateParameter(QStringLiteral("echo"), adVarWChar, adParamOutput, 20));
    }

    // log_twice(key_in, note_in, rows_out OUT): two rows, key and key + 1000, then the count.
    void createLogTwice()
    {
        run(QStringLiteral("CREATE TABLE log (k INTEGER PRIMARY KEY, note VARCHAR(20))"));
        db.createProcedure(
            conn, QStringLiteral("zarn_log_twice"),
            {QStringLiteral("INSERT INTO log (k, note) VALUES (:key_in, :note_in);\n"
                            "INSERT INTO log (k, note) VALUES (:key_in + 1000, ':note_in;');\n"
                            "SELECT COUNT(*) AS rows_out FROM log"),
             QStringLiteral("CREATE FUNCTION zarn_log_twice(key_in integer, note_in text, "
                            "OUT rows_out integer) AS $$ BEGIN "
                            "INSERT INTO log (k, note) VALUES (key_in, note_in); "
                            "INSERT INTO log (k, note) VALUES (key_in + 1000, ':note_in;'); "
                            "SELECT COUNT(*) INTO rows_out FROM log; END $$ LANGUAGE plpgsql"),
             // Both rows in one statement, which the server stores whole or not at all.
             QStringLiteral("CREATE PROCEDURE zarn_log_twice(IN key_in INTEGER, "
                            "IN note_in VARCHAR(20), OUT rows_out INTEGER) BEGIN "
                            "INSERT INTO log (k, note) VALUES (key_in, note_in), "
                            "(key_in + 1000, ':note_in;'); "
                            "SELECT COUNT(*) INTO rows_out FROM log; END")});
    }

    void prepareLogTwice(Command &command)
    {
        command.setActiveConnection(conn);
        command.setCommandType(adCmdStoredProc);
        command.setCommandText(QStringLiteral("zarn_log_twice"));
        command.AppendParameter(
            Command::CreateParameter(QStringLiteral("key_in"), adInteger, adParamInput));
        command.AppendParameter(
            Command::CreateParameter(QStringLiteral("note_in"), adVarWChar, adParamInput, 20));
        command.AppendParameter(
            Command::CreateParameter(QStringLiteral("rows_out"), adInteger, adParamOutput));
    }

    long logCalls(Command &command, int key)
    {
        command.Parameters(0).value = Value(std::int32_t(key));
        command.Parameters(1).value = Value("n");
        command.Execute();
        return command.Parameters(2).value.toInt32();
    }
};

TEST_F(Procedures, InterleavedInputsAndOutputsAreAssignedByPosition)
{
    createTwice();
    Command twice;
    prepareTwice(twice);
    for (int a : {21, -5}) {
        twice.Parameters(0).value = Value(std::int32_t(a));
        twice.Parameters(2).value = Value("hi");
        twice.Execute();
        EXPECT_EQ(twice.Parameters(1).value, Value(std::int32_t(2 * a)));
        EXPECT_EQ(twice.Parameters(3).value, Value("hi!"));
    }
    twice.Parameters(0).value = Value::null();
    twice.Execute();
    EXPECT_TRUE(twice.Parameters(1).value.isNull());
    EXPECT_TRUE(twice.Parameters(3).value.isNull());

    // A reopened connection gets the procedure prepared anew.
    conn.Close();
    db.open(conn);
    twice.Parameters(0).value = Value(std::int32_t(4));
    twice.Execute();
    EXPECT_EQ(twice.Parameters(1).value, Value(std::int32_t(8)));
}

TEST_F(Procedures, FailedCallLeavesNothingBehindAndLaterCallsWork)
{
    createLogTwice();
    Command logTwice;
    prepareLogTwice(logTwice);
    EXPECT_EQ(logCalls(logTwice, 1), 2);
    conn.Execute(QStringLiteral("INSERT INTO log (k, note) VALUES (1002, 'x')"));
    EXPECT_FALSE(databaseErrorOf([&] { logCalls(logTwice, 2); }).isEmpty());
    EXPECT_EQ(namesOf(conn, QStringLiteral("SELECT k FROM log ORDER BY k")),
              QStringList({"1", "1001", "1002"}));
    EXPECT_EQ(logCalls(logTwice, 3), 5);
    EXPECT_EQ(namesOf(conn, QStringLiteral("SELECT note FROM log WHERE k = 1003")),
              QStringList({":note_in;"}));
    {
        Transaction transaction(conn);
        EXPECT_EQ(logCalls(logTwice, 4), 7);
    }
    EXPECT_EQ(countOf(conn, QStringLiteral("log")), 5);
}

TEST_F(Procedures, MissingProcedureFailsAtExecutionNamingIt)
{
    Command missing;
    missing.setActiveConnection(conn);
    missing.setCommandType(adCmdStoredProc);
    missing.setCommandText(QStringLiteral("zarn_nothing"));
    missing.AppendParameter(Command::CreateParameter(QStringLiteral("a"), adInteger, adParamInput));
    missing.Parameters(0).value = Value(std::int32_t(1));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QString message = databaseErrorOf([&] { missing.Execute(); });
        EXPECT_TRUE(message.contains(QStringLiteral("zarn_nothing"))) << message.toStdString();
        EXPECT_TRUE(message.contains(QStringLiteral("does not exist"))) << message.toStdString();
        if (attempt == 0)
            createTwice(); // the second attempt with other procedures present
    }
}

// ---------------------------------------------------------------------------------------------
// Date-times and 16-bit integers

TEST_F(Procedures, DateTimesRoundTripToTheMillisecondInSkippedAndRepeatedHours)
{
    run(QStringLiteral("CREATE TABLE stamps (id %1, t %2, n SMALLINT)")
            .arg(db.autoKeyColumn(), db.dateTimeColumn()));
    const DateTime skipped = DateTime::fromParts(2024, 3, 31, 2, 30, 10, 600);
    const DateTime repeated = DateTime::fromParts(2024, 10, 27, 2, 59, 59, 999);

    Command insert;
    insert.setActiveConnection(conn);
    insert.setCommandText(QStringLiteral("INSERT INTO stamps (t, n) VALUES (?, ?)"));
    insert.AppendParameter(Command::CreateParameter(QStringLiteral("t"), adDate, adParamInput));
    insert.AppendParameter(Command::CreateParameter(QStringLiteral("n"), adSmallInt, adParamInput));
    insert.Parameters(0).value = Value(skipped);
    insert.Parameters(1).value = Value(std::int16_t(32767));
    insert.Execute();

    Recordset rows;
    rows.Open(QStringLiteral("stamps"), conn, adOpenStatic, adLockOptimistic, adCmdTable);
    rows.AddNew();
    rows.Fields(QStringLiteral("t")).SetValue(Value(repeated));
    rows.Update();
    EXPECT_EQ(rows.Fields(QStringLiteral("t")).Value(), Value(repeated));
    rows.Close();

    Recordset found;
    found.Open(QStringLiteral("SELECT t, n FROM stamps WHERE t = ?"), conn, adOpenStatic,
               adLockReadOnly, adCmdText, {Value(skipped)});
    ASSERT_EQ(found.RecordCount(), 1);
    EXPECT_EQ(found.Fields(0).Value(), Value(skipped));
    EXPECT_EQ(found.Fields(0).Value().toDateTime().parts().millisecond, 600);
    EXPECT_EQ(found.Fields(1).Value().toInt32(), 32767);

    db.createProcedure(
        conn, QStringLiteral("zarn_echo_time"),
        {QStringLiteral("SELECT :t_in AS t_out"),
         QStringLiteral("CREATE FUNCTION zarn_echo_time(t_in timestamp, OUT t_out "
                        "timestamp) AS $$ BEGIN t_out := t_in; END $$ LANGUAGE plpgsql"),
         QStringLiteral("CREATE PROCEDURE zarn_echo_time(IN t_in DATETIME(3), "
                        "OUT t_out DATETIME(3)) SET t_out = t_in")});
    Command echo;
    echo.setActiveConnection(conn);
    echo.setCommandType(adCmdStoredProc);
    echo.setCommandText(QStringLiteral("zarn_echo_time"));
    echo.AppendParameter(Command::CreateParameter(QStringLiteral("t_in"), adDate, adParamInput));
    echo.AppendParameter(Command::CreateParameter(QStringLiteral("t_out"), adDate, adParamOutput));
    echo.Parameters(0).value = Value(skipped);
    echo.Execute();
    EXPECT_EQ(echo.Parameters(1).value, Value(skipped));
}

} // namespace
