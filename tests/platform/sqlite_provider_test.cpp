#include "platform/Error.h"
#include "platform/dal/Command.h"
#include "platform/dal/Connection.h"
#include "platform/dal/Recordset.h"
#include "platform/dal/Transaction.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

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

TEST_F(SqliteDatabase, NumbersInDateTimeColumnsAreJulianDayNumbers)
{
    run(QStringLiteral("CREATE TABLE stamps (t DATETIME, r REAL)"));
    conn.Execute(QStringLiteral("INSERT INTO stamps VALUES (julianday('2024-03-05 10:15:30.250'), "
                                "julianday('2024-03-05'))"));
    conn.Execute(QStringLiteral("INSERT INTO stamps VALUES (2460000, 1.0)"));
    conn.Execute(QStringLiteral("INSERT INTO stamps VALUES (1757584.5, 5373484.5)"));
    conn.Execute(QStringLiteral("INSERT INTO stamps VALUES (5373484.5, 0)"));
    conn.Execute(QStringLiteral("INSERT INTO stamps VALUES (1700000000, 0)"));
    Recordset rows = conn.Execute(QStringLiteral("SELECT t, r FROM stamps ORDER BY rowid"));
    EXPECT_EQ(rows.Fields(0).Value(), Value(DateTime::fromParts(2024, 3, 5, 10, 15, 30, 250)));
    EXPECT_EQ(rows.Fields(1).Value(), Value(2460374.5)); // no date-time column: a number
    rows.MoveNext();
    EXPECT_EQ(rows.Fields(0).Value(), Value(DateTime::fromParts(2023, 2, 24, 12)));
    rows.MoveNext();
    EXPECT_EQ(rows.Fields(0).Value(), Value(DateTime::fromParts(100, 1, 1)));
    // Past the days a date-time holds, a number stays the number it is.
    rows.MoveNext();
    EXPECT_EQ(rows.Fields(0).Value(), Value(5373484.5));
    rows.MoveNext();
    EXPECT_EQ(rows.Fields(0).Value(), Value(std::int32_t(1700000000)));
}

// Readings whose time stamps are ISO texts and Julian day numbers side by side, selected by the
// provider's condition as the data import selects them.
class SqliteReadings : public SqliteDatabase
{
protected:
    void SetUp() override
    {
        SqliteDatabase::SetUp();
        run(QStringLiteral("CREATE TABLE readings (Data REAL, TimeDate DATETIME); "
                           "CREATE INDEX readings_TimeDate ON readings (TimeDate)"));
    }

    void addText(double data, const char *at)
    {
        conn.Execute(QStringLiteral("INSERT INTO readings VALUES (?, ?)"), {Value(data), at});
    }
    void addJulian(double data, const char *at)
    {
        conn.Execute(QStringLiteral("INSERT INTO readings VALUES (?, julianday(?))"),
                     {Value(data), at});
    }

    // Data and time stamp of the readings strictly between the two date-times, by their data.
    std::vector<std::pair<double, DateTime>> between(DateTime from, DateTime to)
    {
        Recordset rows;
        rows.Open(QStringLiteral("SELECT Data, TimeDate FROM readings WHERE %1 ORDER BY Data")
                      .arg(conn.provider().dateTimeBetween(QStringLiteral("TimeDate"))),
                  conn, adOpenForwardOnly, adLockReadOnly, adCmdText, {Value(from), Value(to)});
        std::vector<std::pair<double, DateTime>> found;
        for (; !rows.Eof(); rows.MoveNext())
            found.emplace_back(rows.Fields(0).Value().toDouble(),
                               rows.Fields(1).Value().toDateTime());
        return found;
    }
};

TEST_F(SqliteReadings, JulianDayNumbersAreSelectedBetweenTheDatesLikeTexts)
{
    addText(1, "2024-03-05 00:00:00"); // on the bounds: never selected
    addJulian(2, "2024-03-05 00:00:00");
    addText(3, "2024-03-06 00:00:00");
    addJulian(4, "2024-03-06 00:00:00");
    addText(5, "2024-03-05 10:15:00");
    addJulian(6, "2024-03-05 10:16:00");
    addJulian(7, "2024-03-05 00:00:00.001");
    addJulian(8, "2024-03-05 23:59:59.999");
    addJulian(9, "2024-03-07 10:00:00");
    addText(10, "2024-03-04 10:00:00");
    conn.Execute(QStringLiteral("INSERT INTO readings VALUES (11, 2460374)")); // 03-04 12:00
    conn.Execute(QStringLiteral("INSERT INTO readings VALUES (12, 2460375)")); // 03-05 12:00
    conn.Execute(QStringLiteral("INSERT INTO readings VALUES (13, NULL)"));
    const auto found = between(DateTime::fromParts(2024, 3, 5), DateTime::fromParts(2024, 3, 6));
    const std::vector<std::pair<double, DateTime>> expected = {
        {5, DateTime::fromParts(2024, 3, 5, 10, 15)},
        {6, DateTime::fromParts(2024, 3, 5, 10, 16)},
        {7, DateTime::fromParts(2024, 3, 5, 0, 0, 0, 1)},
        {8, DateTime::fromParts(2024, 3, 5, 23, 59, 59, 999)},
        {12, DateTime::fromParts(2024, 3, 5, 12)}};
    EXPECT_EQ(found, expected);
}

TEST_F(SqliteReadings, NumbersThatAreNoJulianDayFailNamingTheColumn)
{
    addText(1, "2024-03-05 10:15:00");
    for (const char *number : {"1709633700", "-1", "0", "1757584.4"}) {
        SCOPED_TRACE(number);
        run(QStringLiteral("DELETE FROM readings WHERE Data = 2; "
                           "INSERT INTO readings VALUES (2, %1)")
                .arg(QLatin1String(number)));
        try {
            between(DateTime::fromParts(2024, 3, 5), DateTime::fromParts(2024, 3, 6));
            ADD_FAILURE() << "the number was passed over";
        } catch (const DatabaseError &error) {
            EXPECT_TRUE(error.description().contains(QStringLiteral("Column TimeDate")))
                << error.description().toStdString();
            EXPECT_TRUE(error.description().contains(QLatin1String(number)))
                << error.description().toStdString();
        }
    }
    run(QStringLiteral("DELETE FROM readings WHERE Data = 2"));
    EXPECT_EQ(between(DateTime::fromParts(2024, 3, 5), DateTime::fromParts(2024, 3, 6)).size(), 1u);
}

// A second connection to the file that holds the write lock from another thread until it is
// told to let go, or at the latest after a bound.
class WriteLockHolder
{
public:
    WriteLockHolder(const QString &connectionString, std::chrono::milliseconds bound)
    {
        m_thread = std::thread([this, connectionString, bound] {
            try {
                Connection other;
                other.setConnectionString(connectionString);
                other.Open();
                other.provider().executeScript(QStringLiteral("BEGIN IMMEDIATE"));
                other.Execute(QStringLiteral("INSERT INTO t VALUES ('other')"));
                std::unique_lock lock(m_mutex);
                m_locked = true;
                m_changed.notify_all();
                m_changed.wait_for(lock, bound, [this] { return m_release; });
                lock.unlock();
                other.provider().executeScript(QStringLiteral("COMMIT"));
            } catch (const DatabaseError &error) {
                std::lock_guard lock(m_mutex);
                m_failure = error.description();
                m_locked = true;
                m_changed.notify_all();
            }
        });
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_locked; });
        EXPECT_TRUE(m_failure.isEmpty()) << m_failure.toStdString();
    }
    ~WriteLockHolder() { release(); }

    void release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_release = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_locked = false;
    bool m_release = false;
    QString m_failure;
    std::thread m_thread;
};

class SqliteBusyFile : public SqliteFiles
{
protected:
    void SetUp() override
    {
        connectionString = QStringLiteral("Provider=SQLite;Data Source=%1")
                               .arg(createEmptyFile(QStringLiteral("busy.db")));
        open(conn, connectionString);
        conn.provider().executeScript(
            QStringLiteral("CREATE TABLE t (who TEXT);"
                           "CREATE TABLE stored_procedures (name TEXT PRIMARY KEY, body TEXT);"
                           "INSERT INTO stored_procedures VALUES ('ReadThenWrite', "
                           "'SELECT COUNT(*) FROM t; INSERT INTO t VALUES (:who)')"));
    }

    // A transaction that reads before it writes, as the import steps' transactions do.
    void readThenWrite(const QString &who)
    {
        Transaction transaction(conn);
        conn.Execute(QStringLiteral("SELECT COUNT(*) FROM t"));
        conn.Execute(QStringLiteral("INSERT INTO t VALUES (?)"), {Value(who)});
        transaction.commit();
    }

    void callReadThenWrite(const QString &who)
    {
        Command command;
        command.setActiveConnection(conn);
        command.setCommandType(adCmdStoredProc);
        command.setCommandText(QStringLiteral("ReadThenWrite"));
        command.AppendParameter(
            Command::CreateParameter(QStringLiteral("who"), adVarChar, adParamInput));
        command.Parameters(0).value = Value(who);
        command.Execute();
    }

    QStringList writers()
    {
        QStringList who;
        for (Recordset rows = conn.Execute(QStringLiteral("SELECT who FROM t ORDER BY rowid"));
             !rows.Eof(); rows.MoveNext())
            who.append(rows.Fields(0).Value().toText());
        return who;
    }

    QString connectionString;
    Connection conn;
};

TEST_F(SqliteBusyFile, AWriterWaitsForALockShorterThanTheTimeOut)
{
    ASSERT_EQ(conn.commandTimeout(), 30);
    {
        WriteLockHolder holder(connectionString, std::chrono::milliseconds(300));
        EXPECT_NO_THROW(readThenWrite(QStringLiteral("transaction")));
    }
    {
        WriteLockHolder holder(connectionString, std::chrono::milliseconds(300));
        EXPECT_NO_THROW(callReadThenWrite(QStringLiteral("procedure")));
    }
    EXPECT_EQ(writers(), QStringList({"other", "transaction", "other", "procedure"}));
}

TEST_F(SqliteBusyFile, AWriterFailsWhenTheLockOutlastsTheTimeOut)
{
    conn.setCommandTimeout(1);
    conn.Close();
    open(conn, connectionString);
    {
        // Held until the writer has given up, at most far longer than the time-out.
        WriteLockHolder holder(connectionString, std::chrono::seconds(60));
        EXPECT_THROW(readThenWrite(QStringLiteral("transaction")), DatabaseError);
        EXPECT_THROW(callReadThenWrite(QStringLiteral("procedure")), DatabaseError);
        holder.release();
    }
    EXPECT_EQ(writers(), QStringList({"other"}));
    EXPECT_NO_THROW(readThenWrite(QStringLiteral("after")));
}

} // namespace
