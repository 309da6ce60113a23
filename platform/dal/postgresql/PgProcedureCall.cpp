#include "platform/dal/postgresql/PgProcedureCall.h"

#include "platform/Error.h"
#include "platform/dal/postgresql/PgBatch.h"
#include "platform/dal/postgresql/PgBinary.h"
#include "platform/dal/postgresql/PgFunctionCall.h"
#include "platform/dal/postgresql/PgReadBatch.h"
#include "platform/dal/postgresql/PgStatement.h"

#include <algorithm>
#include <deque>
#include <libpq-fe.h>
#include <optional>
#include <utility>

namespace zarn::dal::pg {

namespace {

// ---------------------------------------------------------------------------------------------
// Queued calls go in the pipeline, one by one or in batches of one statement each (PgBatch.h).

// Calls per batch. A batch must be large enough that a commit of 50,000 calls stays well
// under the server's 64 cached subtransactions (5,000: 10 savepoints) and that the round trip
// and the savepoint are small beside it, and small enough that one batch in flight while the
// next is built keeps the server busy without large buffers (about 500 KB of arrays).
// Measured (1M readings, 200 sensors, durable server, two rounds, readings/s): 1,250: 26,800
// and 30,500; 2,000: 26,900 and 27,700; 5,000: 30,900 and 31,700; 10,000: 25,400 and 30,200.
constexpr std::size_t batchCalls = 5000;
// The server caches 64 subtransactions per transaction; past that, other sessions' snapshots
// slow down. A transaction's batches stay well under it: later calls go one by one.
constexpr int savepointsPerTransaction = 40;
// Calls one by one between synchronisation points. At most two segments' results wait unread,
// few enough to fit the sockets' buffers.
constexpr int segmentCalls = 256;

const char savepointSql[] = "SAVEPOINT zarn_batch";
const char releaseSql[] = "RELEASE SAVEPOINT zarn_batch";

// What the server will answer, in the order sent.
struct Pending
{
    enum class Kind { Call, Batch, Command, Commit, Sync };
    Kind kind;
    std::vector<std::vector<Value>> inputs; // a batch's calls, for its replay
};

class PostgresProcedureCall : public ProcedureCall
{
public:
    PostgresProcedureCall(const std::shared_ptr<Session> &session, const QString &name,
                          const std::vector<Parameter> &parameters)
        : m_session(session), m_name(name), m_inputs(inputCount(parameters)),
          m_hasOutputs(m_inputs != static_cast<int>(parameters.size())),
          m_prepared(session, procedureCallText(name, m_inputs)),
          m_readBatches(session, name, m_inputs)
    {}
    ~PostgresProcedureCall() override
    {
        try {
            drain();
            leavePipeline();
        } catch (const std::exception &) {
            // The connection is gone, and the pipeline with it.
        }
    }

    void execute(std::vector<Parameter> &parameters) override
    {
        ParameterTexts inputs = checkedInputs(parameters);
        const Result result = m_prepared.run(inputs);
        assignOutputs(m_name, result.get(), parameters);
    }

    // The calls of a function with outputs go in one statement where the server can call it so;
    // its rows are their outputs in order.
    std::vector<std::vector<Value>> fetchRead() override
    {
        const QueuedCalls calls = takeQueuedReads();
        if (m_hasOutputs) {
            if (const Result rows = m_readBatches.run(calls.declarations, calls.inputs)) {
                return readEach(calls, [&, row = 0](std::vector<Parameter> &parameters) mutable {
                    assignOutputs(m_name, rows.get(), parameters, row++);
                });
            }
        }
        return readEach(calls, [this](std::vector<Parameter> &p) { execute(p); });
    }

    void queue(const std::vector<Parameter> &parameters) override
    {
        ParameterTexts inputs = checkedInputs(parameters);
        if (m_failure)
            return; // nothing after a failure runs
        guarded([&] {
            if (batching())
                addToBatch(inputValues(parameters), inputs);
            else
                sendCall(inputs);
        });
    }

    void flush() override
    {
        guarded([&] {
            sendBatch(false);
            synchronise();
            drain();
            replay();
            leavePipeline();
        });
        report();
    }

    // The last calls and the COMMIT go in one segment; nothing waits before it. After a failed
    // call the COMMIT does not run: the segment is aborted from the failure on.
    void flushAndCommit(Provider & /*provider*/) override
    {
        bool commitSent = false;
        const auto sendAndRead = [&] {
            if (m_batch.empty()) {
                // A COMMIT that opened a segment would run even after a failure before it, as
                // a rollback: the segments before it are read first.
                drain();
                if (!m_failure) {
                    enterPipeline();
                    sendCommand("COMMIT", Pending::Kind::Commit);
                    commitSent = true;
                }
            } else {
                commitSent = !m_failure;
                sendBatch(true);
            }
            drain();
            replay();
            leavePipeline();
        };
        try {
            guarded(sendAndRead);
        } catch (const ConnectionLostError &e) {
            if (commitSent)
                throw CommitInDoubtError(e);
            throw;
        }
        m_session->batchSavepoints() = 0;
        report();
        if (m_commitFailure)
            std::rethrow_exception(std::exchange(m_commitFailure, nullptr));
    }

private:
    ParameterTexts checkedInputs(const std::vector<Parameter> &parameters) const
    {
        ParameterTexts inputs = procedureInputs(parameters);
        if (inputs.count() != m_inputs) {
            throw DatabaseError(QStringLiteral("The function %1 was prepared with %2 inputs, "
                                               "not %3.")
                                    .arg(m_name)
                                    .arg(m_inputs)
                                    .arg(inputs.count()));
        }
        return inputs;
    }

    // Runs work that talks to the server; a failure of the connection itself ends the
    // pipeline's bookkeeping and is raised as it is.
    template <typename Work> void guarded(Work &&work)
    {
        try {
            work();
        } catch (const DatabaseError &) {
            m_pending.clear();
            m_syncs = 0;
            m_unsynced = 0;
            m_batch.clear();
            m_replayInputs.clear();
            throw;
        }
    }

    void fail(const DatabaseError &failure)
    {
        if (!m_failure)
            m_failure = failure;
    }

    void report()
    {
        const std::size_t succeeded = std::exchange(m_succeeded, 0);
        if (const std::optional<DatabaseError> failure = std::exchange(m_failure, std::nullopt)) {
            m_commitFailure = nullptr;
            throw BatchError(*failure, succeeded);
        }
    }

    // A command's failure; a lost connection ends the pipeline at once, as nothing more comes.
    DatabaseError failureOfResult(const PGresult *result) const
    {
        try {
            std::rethrow_exception(failureOf(result, m_session->connection()));
        } catch (const ConnectionLostError &) {
            throw;
        } catch (const DatabaseError &failure) {
            return failure;
        }
    }

    DatabaseError notRun(const char *what) const
    {
        return DatabaseError(
            QStringLiteral("The %1 of %2 did not run after an earlier call failed.")
                .arg(QLatin1String(what), m_name));
    }

    // --- Sending ---

    void enterPipeline()
    {
        PGconn *conn = m_session->connection();
        if (PQpipelineStatus(conn) == PQ_PIPELINE_OFF && PQenterPipelineMode(conn) != 1)
            std::rethrow_exception(failureOf(nullptr, conn));
    }

    void sendCommand(const char *sql, Pending::Kind kind = Pending::Kind::Command)
    {
        m_session->sent(PQsendQueryParams(m_session->connection(), sql, 0, nullptr, nullptr,
                                          nullptr, nullptr, 0));
        m_pending.push_back({kind, {}});
        ++m_unsynced;
    }

    void sendCall(ParameterTexts &inputs)
    {
        if (m_failure)
            return;
        enterPipeline();
        m_prepared.send(inputs);
        m_pending.push_back({Pending::Kind::Call, {}});
        if (++m_unsynced >= segmentCalls)
            synchronise();
    }

    // Ends the segment sent since the last synchronisation point. The server works on the
    // newest segment while the results of the one before it are read.
    void synchronise()
    {
        if (m_unsynced == 0)
            return;
        PGconn *conn = m_session->connection();
        m_session->sent(PQpipelineSync(conn));
        m_pending.push_back({Pending::Kind::Sync, {}});
        ++m_syncs;
        m_unsynced = 0;
        while (m_syncs > 1)
            readSegment();
    }

    // True when the queued calls go in batches: inside a transaction of the caller's, for a
    // function without outputs that a batch statement can call, while the transaction has
    // savepoints to spare.
    // Decided when the first call since the last flush is queued: while the pipeline runs, the
    // server's transaction status reads "busy".
    bool batching()
    {
        if (PQpipelineStatus(m_session->connection()) == PQ_PIPELINE_OFF && m_batch.empty()) {
            m_batchingNow = false;
            if (m_hasOutputs || !m_session->inTransaction())
                return false;
            if (!m_batchStatement && !m_batchRefused)
                prepareBatch();
            m_batchingNow = m_batchStatement != nullptr;
        }
        if (!m_batchingNow)
            return false;
        return !m_batch.empty() || m_session->batchSavepoints() < savepointsPerTransaction;
    }

    // Prepares the batch statement once per command; where the server refuses it, the command
    // keeps to calls one by one. A savepoint keeps the refusal from failing the transaction.
    void prepareBatch()
    {
        m_batchRefused = true;
        const std::optional<BatchFunction> function = batchFunction(*m_session, m_name, m_inputs);
        if (!function)
            return;
        m_session->run("SAVEPOINT zarn_prepare");
        try {
            m_batchStatement = std::make_unique<PreparedStatement>(m_session, batchText(*function),
                                                                   function->arrayTypes);
            m_session->run("RELEASE SAVEPOINT zarn_prepare");
        } catch (const DatabaseError &) {
            m_batchStatement.reset();
            m_session->run("ROLLBACK TO SAVEPOINT zarn_prepare");
            m_session->run("RELEASE SAVEPOINT zarn_prepare");
            return;
        }
        for (std::size_t i = 0; i < function->elementTypes.size(); ++i) {
            const Oid type = function->elementTypes[i];
            m_arrays.emplace_back(type, *elementKind(type));
        }
        m_batchRefused = false;
    }

    void addToBatch(std::vector<Value> values, ParameterTexts &inputs)
    {
        const bool encodable = std::all_of(
            values.begin(), values.end(),
            [&, i = std::size_t{0}](const Value &v) mutable { return m_arrays[i++].canAdd(v); });
        if (!encodable) {
            // A value that the binary form cannot carry as the server would read it goes in a
            // call of its own, after the calls before it.
            sendBatch(false);
            sendCall(inputs);
            return;
        }
        for (std::size_t i = 0; i < values.size(); ++i)
            m_arrays[i].add(values[i]);
        m_batch.push_back(std::move(values));
        if (m_batch.size() >= batchCalls)
            sendBatch(false);
    }

    // Sends the batch being built as one segment: savepoint, batch, release, and, when asked,
    // the commit of the transaction.
    void sendBatch(bool commitAfter)
    {
        if (m_batch.empty())
            return;
        if (m_failure) {
            m_batch.clear();
            for (BinaryArray &array : m_arrays)
                array.take();
            return;
        }
        enterPipeline();
        std::vector<QByteArray> arrays;
        arrays.reserve(m_arrays.size());
        for (BinaryArray &array : m_arrays)
            arrays.push_back(array.take());
        sendCommand(savepointSql);
        m_batchStatement->sendBinary(arrays);
        m_pending.push_back({Pending::Kind::Batch, std::exchange(m_batch, {})});
        sendCommand(releaseSql);
        ++m_session->batchSavepoints();
        if (commitAfter)
            sendCommand("COMMIT", Pending::Kind::Commit);
        synchronise();
    }

    // --- Reading ---

    // Reads every result still to come.
    void drain()
    {
        synchronise();
        while (m_syncs > 0)
            readSegment();
    }

    // Reads the results of the oldest segment sent.
    void readSegment()
    {
        while (!m_pending.empty()) {
            Pending pending = std::move(m_pending.front());
            m_pending.pop_front();
            if (pending.kind == Pending::Kind::Sync) {
                readSync();
                --m_syncs;
                return;
            }
            readResult(pending);
        }
    }

    void readSync()
    {
        while (const Result result = m_session->nextResult()) {
            if (PQresultStatus(result.get()) == PGRES_PIPELINE_SYNC)
                return;
        }
    }

    // A command gives its result and then a null pointer; a command after a failed one gives
    // an aborted result instead.
    void readResult(Pending &pending)
    {
        bool succeeded = false;
        bool aborted = false;
        DatabaseError error(
            QStringLiteral("The server gave no answer to a command of %1.").arg(m_name));
        bool committedAsRollback = false;
        while (const Result result = m_session->nextResult()) {
            switch (PQresultStatus(result.get())) {
            case PGRES_TUPLES_OK:
            case PGRES_COMMAND_OK:
                succeeded = true;
                committedAsRollback = qstrcmp(PQcmdStatus(result.get()), "ROLLBACK") == 0;
                break;
            case PGRES_PIPELINE_ABORTED:
                aborted = true;
                break;
            default:
                error = failureOfResult(result.get());
                break;
            }
        }
        switch (pending.kind) {
        case Pending::Kind::Call:
            if (succeeded && !m_failure)
                ++m_succeeded;
            else if (!succeeded)
                fail(aborted ? notRun("call") : error);
            break;
        case Pending::Kind::Batch:
            if (succeeded && !m_failure) {
                m_succeeded += pending.inputs.size();
            } else if (!succeeded && !aborted && !m_failure) {
                fail(error);
                m_replayInputs = std::move(pending.inputs);
            } else if (!succeeded) {
                fail(notRun("calls"));
            }
            break;
        case Pending::Kind::Command:
            if (!succeeded && !aborted)
                fail(error);
            break;
        case Pending::Kind::Commit:
            if (!succeeded && !aborted && !m_commitFailure)
                m_commitFailure = std::make_exception_ptr(error);
            else if (succeeded && committedAsRollback && !m_commitFailure)
                m_commitFailure = std::make_exception_ptr(DatabaseError(QStringLiteral(
                    "The transaction was rolled back because a statement in it had failed.")));
            break;
        case Pending::Kind::Sync:
            break;
        }
    }

    // After a failed batch: back to the savepoint before it, and its calls one by one up to
    // the failing one, whose failure is the one reported.
    void replay()
    {
        if (m_replayInputs.empty())
            return;
        std::vector<std::vector<Value>> calls = std::exchange(m_replayInputs, {});
        const std::optional<DatabaseError> batchFailure = std::exchange(m_failure, std::nullopt);
        sendCommand("ROLLBACK TO SAVEPOINT zarn_batch");
        sendCommand(releaseSql);
        for (const std::vector<Value> &call : calls) {
            ParameterTexts inputs = parameterTexts(call);
            m_prepared.send(inputs);
            m_pending.push_back({Pending::Kind::Call, {}});
            if (++m_unsynced >= segmentCalls)
                synchronise();
        }
        drain();
        if (!m_failure) {
            // Every call ran this time; the batch's own failure is the one reported, after them.
            m_failure = batchFailure;
        }
    }

    void leavePipeline()
    {
        PGconn *conn = m_session->connection();
        if (PQpipelineStatus(conn) != PQ_PIPELINE_OFF && PQexitPipelineMode(conn) != 1)
            fail(DatabaseError(QString::fromUtf8(PQerrorMessage(conn)).trimmed()));
    }

    std::shared_ptr<Session> m_session;
    QString m_name;
    int m_inputs;
    bool m_hasOutputs;
    PreparedStatement m_prepared;

    ReadBatches m_readBatches;
    std::unique_ptr<PreparedStatement> m_batchStatement;
    bool m_batchRefused = false;
    bool m_batchingNow = false;
    std::vector<BinaryArray> m_arrays;              // the batch being built, column by column
    std::vector<std::vector<Value>> m_batch;        // its calls' inputs
    std::vector<std::vector<Value>> m_replayInputs; // the calls of a failed batch

    std::deque<Pending> m_pending;          // what the server is still to answer, in order
    int m_syncs = 0;                        // synchronisation points among them
    int m_unsynced = 0;                     // commands sent since the last synchronisation point
    std::size_t m_succeeded = 0;            // queued calls that succeeded before the first failure
    std::optional<DatabaseError> m_failure; // the first failure since the last flush
    std::exception_ptr m_commitFailure;
};

} // namespace

std::unique_ptr<ProcedureCall> makeProcedureCall(const std::shared_ptr<Session> &session,
                                                 const QString &name,
                                                 const std::vector<Parameter> &parameters)
{
    return std::make_unique<PostgresProcedureCall>(session, name, parameters);
}

} // namespace zarn::dal::pg
