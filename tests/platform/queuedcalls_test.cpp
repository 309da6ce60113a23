// Queued procedure calls on every server: the order they run in, what a failure leaves, and
// values of every length and kind, in numbers that span the providers' batches (PostgreSQL's
// batch boundaries are tested with its provider; the failure positions here are ODBC's); and
// queued calls whose outputs are read, each given what it gives when called alone.
#include "platform/Error.h"
#include "platform/dal/Connection.h"
#include "platform/dal/Provider.h"
#include "platform/dal/Recordset.h"
#include "platform/dal/Transaction.h"
#include "support/ScratchDatabase.h"

#include <gtest/gtest.h>

namespace zarn::dal {
namespace {

// Daylight-saving changes show any shift of a date-time on its way to the server and back.
[[maybe_unused]] const bool inBerlinTime = [] { return qputenv("TZ", "Europe/Berlin"); }();

Parameter input(const char *name, DataTypeEnum type)
{
    return {QString::fromLatin1(name), type, adParamInput, 0, Value()};
}

Parameter output(const char *name, DataTypeEnum type)
{
    return {QString::fromLatin1(name), type, adParamOutput, 255, Value()};
}

class QueuedCalls : public ::testing::Test
{
protected:
    void SetUp() override
    {
        db.open(conn);
        conn.provider().executeScript(
            QStringLiteral("CREATE TABLE put_log (seq %1, n INTEGER UNIQUE, slot INTEGER, "
                           "stamp %2, label TEXT);"
                           "CREATE TABLE put_slot (slot INTEGER PRIMARY KEY, n INTEGER)")
                .arg(db.autoKeyColumn(), db.dateTimeColumn()));
        db.createProcedure(
            conn, QStringLiteral("zarn_put"),
            {QStringLiteral("INSERT INTO put_log (n, slot, stamp, label) VALUES (:n_in, :slot_in, "
                            ":stamp_in, :label_in);\n"
                            "INSERT INTO put_slot (slot, n) VALUES (:slot_in, :n_in) "
                            "ON CONFLICT (slot) DO UPDATE SET n = excluded.n"),
             QStringLiteral("CREATE FUNCTION zarn_put(n_in integer, slot_in integer, stamp_in "
                            "timestamp, label_in text) RETURNS void AS $$ "
                            "INSERT INTO put_log (n, slot, stamp, label) VALUES (n_in, slot_in, "
                            "stamp_in, label_in); "
                            "INSERT INTO put_slot (slot, n) VALUES (slot_in, n_in) "
                            "ON CONFLICT (slot) DO UPDATE SET n = excluded.n $$ LANGUAGE sql"),
             QStringLiteral("CREATE PROCEDURE zarn_put(IN n_in INTEGER, IN slot_in INTEGER, "
                            "IN stamp_in DATETIME(3), IN label_in TEXT) BEGIN "
                            "INSERT INTO put_log (n, slot, stamp, label) VALUES (n_in, slot_in, "
                            "stamp_in, label_in); "
                            "INSERT INTO put_slot (slot, n) VALUES (slot_in, n_in) "
                            "ON DUPLICATE KEY UPDATE n = n_in; END")});
        call = conn.provider().prepareProcedure(QStringLiteral("zarn_put"), put);
    }

    void queue(const Value &n, std::int32_t slot, const DateTime &stamp, const Value &label)
    {
        put[0].value = n;
        put[1].value = Value(slot);
        put[2].value = Value(stamp);
        put[3].value = label;
        call->queue(put);
    }

    // Queues the calls n = 1 .. count, each in a slot of its own.
    void queuePlain(std::int32_t count)
    {
        for (std::int32_t n = 1; n <= count; ++n)
            queue(Value(n), n, DateTime::fromParts(2024, 3, 5, 10), Value(QStringLiteral("x")));
    }

    // Flushes inside a transaction; on a failure rolls back, queues the calls before the
    // failing one again and commits them, as the data import does. Gives the failure's
    // description and where it stood.
    std::pair<QString, std::size_t> flushExpectingFailure(std::int32_t count)
    {
        conn.provider().beginTransaction();
        queuePlain(count);
        try {
            call->flush();
        } catch (const BatchError &error) {
            conn.provider().rollback();
            conn.provider().beginTransaction();
            queuePlain(static_cast<std::int32_t>(error.succeeded()));
            call->flush();
            conn.provider().commit();
            return {error.description(), error.succeeded()};
        }
        conn.provider().rollback();
        ADD_FAILURE() << "a failing call went unreported";
        return {};
    }

    Value scalar(const QString &sql)
    {
        Recordset rows = conn.Execute(sql);
        return rows.Fields(0).Value();
    }

    test::ScratchDatabase db;
    Connection conn;
    std::vector<Parameter> put = {input("n_in", adInteger), input("slot_in", adInteger),
                                  input("stamp_in", adDate), input("label_in", adVarWChar)};
    std::unique_ptr<ProcedureCall> call;
};

TEST_F(QueuedCalls, RunInQueueOrderWithEveryValueAsGiven)
{
    const std::vector<DateTime> stamps = {
        *DateTime::fromDateAndMilliseconds(2024, 3, 31, (2 * 3600 + 30 * 60 + 10) * 1000 + 601),
        *DateTime::fromDateAndMilliseconds(2024, 10, 27, (2 * 3600 + 30 * 60 + 10) * 1000 + 999),
        *DateTime::fromDateAndMilliseconds(1899, 12, 30, 1),
        *DateTime::fromDateAndMilliseconds(2024, 2, 29, 86'399'999)};
    // Texts of many lengths side by side: empty, Null, quotes and braces, letters beyond
    // Latin-1, and one longer than an ordinary text may be.
    const auto label = [](std::int32_t n) -> Value {
        switch (n % 7) {
        case 0:
            return Value::null();
        case 1:
            return Value(QString());
        case 2:
            return Value(QStringLiteral("{\"a\",b}\\ 'x' NULL ; %1").arg(n));
        case 3:
            return Value(QStringLiteral("Zürich ★ 𝄞 %1").arg(n));
        case 4:
            return Value(n == 4 ? QString(5000, u'w') : QString(n % 50, u'v'));
        default:
            return Value(QString::number(n));
        }
    };
    constexpr std::int32_t calls = 10001; // more than two of every provider's batches
    conn.provider().beginTransaction();
    for (std::int32_t n = 1; n <= calls; ++n)
        queue(Value(n), n / 2, stamps[n % stamps.size()], label(n));
    call->flush();
    conn.provider().commit();

    Recordset log =
        conn.Execute(QStringLiteral("SELECT n, stamp, label FROM put_log ORDER BY seq"));
    ASSERT_EQ(log.RecordCount(), calls);
    for (std::int32_t n = 1; n <= calls; ++n, log.MoveNext()) {
        ASSERT_EQ(log.Fields(0).Value().toInt32(), n);
        ASSERT_EQ(log.Fields(1).Value().toDateTime(), stamps[n % stamps.size()]) << n;
        const Value expected = label(n);
        if (expected.isNull())
            ASSERT_TRUE(log.Fields(2).Value().isNull()) << n;
        else
            ASSERT_EQ(log.Fields(2).Value().toTextOrEmpty(), expected.toText()) << n;
    }
    // Two calls of one slot, within a batch and across a batch's end: the later one's value
    // stays.
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM put_slot WHERE n <> "
                                    "CASE WHEN slot = 0 THEN 1 ELSE "
                                    "CASE WHEN 2 * slot + 1 > %1 THEN %1 ELSE 2 * slot + 1 END "
                                    "END")
                         .arg(calls))
                  .toInt32(),
              0);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM put_slot")).toInt32(), calls / 2 + 1);
}

TEST_F(QueuedCalls, AFailingCallLeavesExactlyTheCallsBeforeIt)
{
    // The very first, the ends of the first batches and some within one, and the last.
    constexpr std::int32_t calls = 1201;
    for (std::int32_t failing : {1, 2, 499, 500, 501, 777, 1000, 1001, calls}) {
        conn.provider().executeScript(QStringLiteral("DELETE FROM put_log; DELETE FROM put_slot"));
        conn.Execute(QStringLiteral("INSERT INTO put_log (n) VALUES (?)"), {Value(failing)});
        const auto [description, succeeded] = flushExpectingFailure(calls);
        EXPECT_EQ(succeeded, static_cast<std::size_t>(failing - 1)) << failing;
        EXPECT_FALSE(description.isEmpty());
        EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM put_slot")).toInt32(), failing - 1)
            << failing;
        EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM put_log WHERE slot IS NOT NULL AND "
                                        "n < %1")
                             .arg(failing))
                      .toInt32(),
                  failing - 1)
            << failing;
    }
    // The same call goes on as before.
    conn.provider().executeScript(QStringLiteral("DELETE FROM put_log; DELETE FROM put_slot"));
    conn.provider().beginTransaction();
    queuePlain(3);
    call->flush();
    conn.provider().commit();
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM put_slot")).toInt32(), 3);
}

// A value of the wrong kind for its declared type: converted by the client (ODBC) or refused
// by the server (PostgreSQL); either way its call fails in its place.
TEST_F(QueuedCalls, AValueThatDoesNotFitFailsItsCallAfterTheCallsBeforeIt)
{
    if (test::serverContext().columnsKeepAnyKind())
        GTEST_SKIP() << "the server keeps a value of any kind in any column";
    for (std::int32_t failing : {1, 600}) {
        conn.provider().beginTransaction();
        for (std::int32_t n = 1; n <= 700; ++n)
            queue(n == failing ? Value(QStringLiteral("abc")) : Value(n), n,
                  DateTime::fromParts(2024, 3, 5), Value(QStringLiteral("y")));
        try {
            call->flush();
            ADD_FAILURE() << "a value that does not fit went through";
        } catch (const BatchError &error) {
            EXPECT_EQ(error.succeeded(), static_cast<std::size_t>(failing - 1));
            EXPECT_TRUE(error.description().contains(QStringLiteral("abc")) ||
                        error.description().contains(QStringLiteral("n_in")))
                << error.what();
        }
        conn.provider().rollback();
    }
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM put_log")).toInt32(), 0);
}

// Reads whose inputs and outputs alternate, as a seek's do, read back what the writes left: in
// call order, Null for a key without a row, inside a read-only snapshot and outside any
// transaction, with an input that a batch may not carry among them, each call's outputs exactly
// what it gives when executed alone.
TEST_F(QueuedCalls, QueuedReadsGiveEachCallsOwnOutputsInOrder)
{
    const std::vector<DateTime> stamps = {
        *DateTime::fromDateAndMilliseconds(2024, 3, 31, (2 * 3600 + 30 * 60 + 10) * 1000 + 601),
        *DateTime::fromDateAndMilliseconds(1899, 12, 30, 1),
        DateTime::fromParts(2024, 2, 29, 23, 59, 59)};
    const auto label = [](std::int32_t n) {
        return n % 3 == 0 ? Value::null() : Value(QStringLiteral("Zürich 'x' {%1}").arg(n));
    };
    constexpr std::int32_t rows = 3000;
    conn.provider().beginTransaction();
    for (std::int32_t n = 1; n <= rows; ++n)
        queue(Value(n), 10 * n, stamps[n % stamps.size()], label(n));
    call->flush();
    conn.provider().commit();

    db.createProcedure(
        conn, QStringLiteral("zarn_get"),
        {QStringLiteral("SELECT label AS label_out, stamp AS stamp_out, slot + :shift_in AS n_out "
                        "FROM put_log WHERE n = :key_in"),
         QStringLiteral("CREATE FUNCTION zarn_get(IN key_in integer, OUT label_out text, "
                        "OUT stamp_out timestamp, IN shift_in integer, OUT n_out integer) AS $$ "
                        "SELECT label, stamp, slot + shift_in FROM put_log WHERE n = key_in $$ "
                        "LANGUAGE sql"),
         QStringLiteral("CREATE PROCEDURE zarn_get(IN key_in INTEGER, OUT label_out TEXT, "
                        "OUT stamp_out DATETIME(3), IN shift_in INTEGER, OUT n_out INTEGER) BEGIN "
                        "SELECT label, stamp, slot + shift_in INTO label_out, stamp_out, n_out "
                        "FROM put_log WHERE n = key_in; END")});
    std::vector<Parameter> get = {input("key_in", adInteger), output("label_out", adVarWChar),
                                  output("stamp_out", adDate), input("shift_in", adInteger),
                                  output("n_out", adInteger)};
    const std::unique_ptr<ProcedureCall> seek =
        conn.provider().prepareProcedure(QStringLiteral("zarn_get"), get);
    const auto expectRead = [&](std::int32_t key, const Value &keyValue,
                                const std::vector<Value> &found) {
        ASSERT_EQ(found.size(), get.size()) << key;
        EXPECT_EQ(found[0].toTextOrEmpty(), keyValue.toTextOrEmpty()) << key;
        EXPECT_EQ(found[3].toInt32(), key % 5) << key;
        if (key < 1 || key > rows) {
            EXPECT_TRUE(found[1].isNull() && found[2].isNull() && found[4].isNull()) << key;
            return;
        }
        EXPECT_EQ(found[1].isNull(), label(key).isNull()) << key;
        EXPECT_EQ(found[1].toTextOrEmpty(), label(key).toTextOrEmpty()) << key;
        EXPECT_EQ(found[2].toDateTime(), stamps[key % stamps.size()]) << key;
        EXPECT_EQ(found[4].toInt32(), 10 * key + key % 5) << key;
    };
    // Every key from the last to the first and past both ends; in one group the key 7 as a text.
    const auto readAll = [&](bool withText) {
        std::vector<std::pair<std::int32_t, Value>> keys;
        for (std::int32_t key = rows + 2; key >= -1; --key)
            keys.emplace_back(key, withText && key == 7 ? Value(QStringLiteral("7")) : Value(key));
        for (const auto &[key, keyValue] : keys) {
            get[0].value = keyValue;
            get[3].value = Value(key % 5);
            seek->queueRead(get);
        }
        const std::vector<std::vector<Value>> found = seek->fetchRead();
        ASSERT_EQ(found.size(), keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            expectRead(keys[i].first, keys[i].second, found[i]);
        // One call alone gives the same.
        get[0].value = Value(rows / 2);
        get[3].value = Value(rows / 2 % 5);
        seek->execute(get);
        expectRead(rows / 2, Value(rows / 2),
                   {get[0].value, get[1].value, get[2].value, get[3].value, get[4].value});
    };
    {
        const Transaction snapshot(conn, Transaction::Mode::ReadSnapshot);
        readAll(false);
        readAll(true);
    }
    readAll(false);
}

} // namespace
} // namespace zarn::dal
