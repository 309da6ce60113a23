#include "platform/Error.h"
#include "platform/dal/Command.h"
#include "platform/dal/Connection.h"
#include "platform/dal/Recordset.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zarn;
using namespace zarn::dal;

namespace {

// SQLite databases in a folder of their own: the files, the folder as a server of catalogs.
class SqliteFiles : public ::testing::Test
{
protected:
    QString createEmptyFile(const QString &name, const QByteArray &content = {})
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    QString openError(const QString &connectionString)
    {
        Connection connection;
        connection.setConnectionString(connectionString);
        try {
            connection.Open();
        } catch (const DatabaseError &error) {
            EXPECT_FALSE(connection.isOpen());
            return error.description();
        }
        ADD_FAILURE() << "the connection opened";
        return {};
    }

    void open(Connection &connection, const QString &connectionString)
    {
        connection.setConnectionString(connectionString);
        connection.Open();
    }

    static QString firstValue(Connection &connection, const QString &query)
    {
        Recordset rows = connection.Execute(query);
        return rows.Fields(0).Value().toText();
    }

    QTemporaryDir folder;
};

TEST_F(SqliteFiles, FolderDataSourceOpensTheCatalogOrTheUsersFile)
{
    createEmptyFile(QStringLiteral("CAT1.db"));
    createEmptyFile(QStringLiteral("USER7.db"));
    Connection byCatalog;
    open(byCatalog, QStringLiteral("Provider=SQLite;Data Source=%1;Initial Catalog=CAT1;"
                                   "User ID=USER7;Password=x")
                        .arg(folder.path()));
    EXPECT_TRUE(firstValue(byCatalog, QStringLiteral("SELECT file FROM pragma_database_list"))
                    .endsWith(QStringLiteral("CAT1.db")));
    Connection byUser;
    open(byUser,
         QStringLiteral("provider=sqlite; data source='%1'; user id=USER7").arg(folder.path()));
    EXPECT_TRUE(firstValue(byUser, QStringLiteral("SELECT file FROM pragma_database_list"))
                    .endsWith(QStringLiteral("USER7.db")));
    EXPECT_EQ(firstValue(byUser, QStringLiteral("PRAGMA journal_mode")), QStringLiteral("wal"));
}

TEST_F(SqliteFiles, MissingFilesAreNamedAndNeverCreated)
{
    const QString missingFile = folder.filePath(QStringLiteral("nope.db"));
    EXPECT_TRUE(openError(QStringLiteral("Provider=SQLite;Data Source=%1").arg(missingFile))
                    .contains(QDir::toNativeSeparators(missingFile)));
    EXPECT_TRUE(openError(QStringLiteral("Provider=SQLite;Data Source=%1;Initial Catalog=GONE")
                              .arg(folder.path()))
                    .contains(QStringLiteral("GONE.db")));
    EXPECT_FALSE(QFile::exists(missingFile));
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("GONE.db"))));
    // A catalog name cannot lead out of the folder.
    QDir(folder.path()).mkdir(QStringLiteral("sub"));
    createEmptyFile(QStringLiteral("OUT.db"));
    EXPECT_FALSE(openError(QStringLiteral("Provider=SQLite;Data Source=%1;Initial Catalog=../OUT")
                               .arg(folder.filePath(QStringLiteral("sub"))))
                     .isEmpty());
    EXPECT_FALSE(
        openError(QStringLiteral("Provider=SQLite;Data Source=%1").arg(folder.path())).isEmpty());
    EXPECT_FALSE(openError(QStringLiteral("Provider=SQLite")).isEmpty());
}

TEST_F(SqliteFiles, AFileThatIsNoDatabaseIsRefusedNamingIt)
{
    const QString path = createEmptyFile(QStringLiteral("text.db"), QByteArray(4096, 'x'));
    EXPECT_TRUE(openError(QStringLiteral("Provider=SQLite;Data Source=%1").arg(path))
                    .contains(QDir::toNativeSeparators(path)));
}

TEST_F(SqliteFiles, PasswordIsMaskedEvenWhereTheMessageWouldQuoteIt)
{
    const QString message =
        openError(QStringLiteral("Provider=SQLite;Data Source=%1;Password=Hush42")
                      .arg(folder.filePath("Hush42.db")));
    EXPECT_FALSE(message.contains(QStringLiteral("Hush42"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("****"))) << message.toStdString();
}

class SqliteDatabase : public SqliteFiles
{
protected:
    void SetUp() override
    {
        open(conn, QStringLiteral("Provider=SQLite;Data Source=%1")
                       .arg(createEmptyFile(QStringLiteral("scratch.db"))));
    }

    void run(const QString &sql) { conn.provider().executeScript(sql); }

    void callProcedure(Command &command, const QString &name)
    {
        command.setActiveConnection(conn);
        command.setCommandType(adCmdStoredProc);
        command.setCommandText(name);
    }

    Connection conn;
};

TEST_F(SqliteDatabase, ColumnValuesFollowTheDeclaredTypes)
{
    run(QStringLiteral("CREATE TABLE kinds (d DATE, ts DATETIME, t TEXT, i INTEGER, r REAL, "
                       "b BOOLEAN, odd TIMESTAMP)"));
    conn.Execute(QStringLiteral("INSERT INTO kinds VALUES ('2024-03-05', '2024-03-05T10:15:30.25', "
                                "'2024-03-05', 5000000000, 1.5, ?, 'n/a')"),
                 {Value(true)});
    Recordset rows = conn.Execute(QStringLiteral("SELECT * FROM kinds"));
    EXPECT_EQ(rows.Fields(QStringLiteral("d")).Value(), Value(DateTime::fromParts(2024, 3, 5)));
    EXPECT_EQ(rows.Fields(QStringLiteral("ts")).Value(),
              Value(DateTime::fromParts(2024, 3, 5, 10, 15, 30, 250)));
    EXPECT_EQ(rows.Fields(QStringLiteral("t")).Value(), Value("2024-03-05"));
    EXPECT_EQ(rows.Fields(QStringLiteral("i")).Value(), Value(std::int64_t(5000000000)));
    EXPECT_EQ(rows.Fields(QStringLiteral("r")).Value(), Value(1.5));
    EXPECT_EQ(rows.Fields(QStringLiteral("b")).Value(), Value(std::int32_t(1)));
    // A text that is no date-time is kept as it is rather than lost.
    EXPECT_EQ(rows.Fields(QStringLiteral("odd")).Value(), Value("n/a"));
}

TEST_F(SqliteDatabase, DateTimesAreStoredAsOrderedIsoText)
{
    run(QStringLiteral("CREATE TABLE stamps (t DATETIME)"));
    for (const DateTime &t :
         {DateTime::fromParts(2024, 1, 2, 3, 4, 5), DateTime::fromParts(2024, 1, 2, 3, 4, 5, 70)})
        conn.Execute(QStringLiteral("INSERT INTO stamps VALUES (?)"), {Value(t)});
    Recordset rows = conn.Execute(QStringLiteral("SELECT CAST(t AS TEXT) FROM stamps ORDER BY t"));
    EXPECT_EQ(rows.Fields(0).Value(), Value("2024-01-02 03:04:05"));
    rows.MoveNext();
    EXPECT_EQ(rows.Fields(0).Value(), Value("2024-01-02 03:04:05.070"));
}

TEST_F(SqliteDatabase, KeysAndQuotedNames)
{
    run(QStringLiteral("CREATE TABLE pair (x TEXT, b INTEGER, a INTEGER, PRIMARY KEY (b, a))"));
    EXPECT_EQ(conn.provider().primaryKey(QStringLiteral("PAIR")), QStringList({"b", "a"}));
    EXPECT_TRUE(conn.provider().primaryKey(QStringLiteral("sqlite_master")).isEmpty());
    EXPECT_EQ(conn.quoteIdentifier(QStringLiteral("we\"ird")), QStringLiteral("\"we\"\"ird\""));
}

TEST_F(SqliteDatabase, OneStatementPerPreparedText)
{
    EXPECT_THROW(conn.Execute(QStringLiteral("SELECT 1; SELECT 2")), DatabaseError);
    EXPECT_NO_THROW(conn.Execute(QStringLiteral("SELECT 1; -- done")));
    EXPECT_THROW(conn.Execute(QStringLiteral("SELECT ?"), {}), DatabaseError);
}

TEST_F(SqliteDatabase, ProcedureBodiesAreCheckedAgainstTheirParameters)
{
    run(QStringLiteral("CREATE TABLE stored_procedures (name TEXT PRIMARY KEY, body TEXT NOT NULL);"
                       "INSERT INTO stored_procedures VALUES ('Unknown', 'SELECT :nothere AS x');"
                       "INSERT INTO stored_procedures VALUES ('NoColumn', 'SELECT :a AS y');"
                       "INSERT INTO stored_procedures VALUES ('Typed', "
                       "'SELECT 1; SELECT :a + 0.6 AS n, ''2024-05-06T07:08'' AS t')"));
    Command unknown;
    callProcedure(unknown, QStringLiteral("unknown"));
    unknown.AppendParameter(Command::CreateParameter(QStringLiteral("a"), adInteger, adParamInput));
    try {
        unknown.Execute();
        ADD_FAILURE() << "no error";
    } catch (const DatabaseError &error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("nothere")));
    }

    Command noColumn;
    callProcedure(noColumn, QStringLiteral("NoColumn"));
    noColumn.AppendParameter(
        Command::CreateParameter(QStringLiteral("A"), adInteger, adParamInput));
    noColumn.AppendParameter(
        Command::CreateParameter(QStringLiteral("x"), adInteger, adParamOutput));
    EXPECT_THROW(noColumn.Execute(), DatabaseError);

    // Outputs take the declared types: the last statement's computed columns have none.
    Command typed;
    callProcedure(typed, QStringLiteral("Typed"));
    typed.AppendParameter(Command::CreateParameter(QStringLiteral("t"), adDate, adParamOutput));
    typed.AppendParameter(Command::CreateParameter(QStringLiteral("a"), adInteger, adParamInput));
    typed.AppendParameter(Command::CreateParameter(QStringLiteral("n"), adSmallInt, adParamOutput));
    typed.Parameters(1).value = Value(std::int32_t(2));
    typed.Execute();
    EXPECT_EQ(typed.Parameters(0).value, Value(DateTime::fromParts(2024, 5, 6, 7, 8)));
    EXPECT_EQ(typed.Parameters(2).value, Value(std::int16_t(3)));
}

TEST_F(SqliteDatabase, ProcedureThatFailedToPrepareIsPreparedWholeNextTime)
{
    run(QStringLiteral("CREATE TABLE stored_procedures (name TEXT PRIMARY KEY, body TEXT NOT NULL);"
                       "INSERT INTO stored_procedures VALUES ('Both', "
                       "'INSERT INTO t1 VALUES (:a); INSERT INTO t2 VALUES (:a)');"
                       "CREATE TABLE t1 (a INTEGER)"));
    Command both;
    callProcedure(both, QStringLiteral("Both"));
    both.AppendParameter(Command::CreateParameter(QStringLiteral("a"), adInteger, adParamInput));
    both.Parameters(0).value = Value(std::int32_t(5));
    EXPECT_THROW(both.Execute(), DatabaseError);
    run(QStringLiteral("CREATE TABLE t2 (a INTEGER)"));
    both.Execute();
    Recordset rows = conn.Execute(
        QStringLiteral("SELECT (SELECT COUNT(*) FROM t1) || '/' || (SELECT COUNT(*) FROM t2)"));
    EXPECT_EQ(rows.Fields(0).Value(), Value("1/1"));
}

} // namespace
