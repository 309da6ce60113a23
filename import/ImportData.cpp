#include "facility/DataDDInt.h"
#include "import/GroupedWriter.h"
#include "import/Importer.h"
#include "import/ProgressClock.h"
#include "import/ReadingPlan.h"
#include "import/ReadingValue.h"
#include "import/SourceText.h"
#include "platform/Error.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>

namespace zarn {

namespace {

const QString dataAuditUser = QStringLiteral("VT2ZRANS");

QString serverText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const DatabaseError &e) {
        return e.description();
    } catch (...) {
        return QString();
    }
}

// The columns of a record set of readings, found by name once.
struct SourceColumns
{
    explicit SourceColumns(dal::Recordset &rs)
        : sensorType(rs.Fields(QStringLiteral("SensorType"))),
          trainNumber(rs.Fields(QStringLiteral("TrainNumber")))
    {}
    QString key() const { return readingKey(sensorType.Value(), trainNumber.Value()); }

    dal::Field &sensorType;
    dal::Field &trainNumber;
};

// The written count that the bar last moved to when it was moved after every reading: the bar
// moves only while fewer than all readings are written, so with all of them written it stands
// where the last but one left it.
std::int64_t lastCountShown(std::int64_t written, std::int64_t total)
{
    return written < total ? written : total - 1;
}

// A reading handed to the writer, kept until the writer has stored it: it is counted for its
// variable then, and named when the writer fails on it.
struct HandedReading
{
    std::int64_t position; // 1-based, in the source's order
    ReadingRoute route;
    DateTime stamp;
    QString value;
};

// Where the readings go and how the run is shown while they do.
struct ReadingTarget
{
    Importer &importer; // moves the progress bar
    UserInterface &ui;
    DataDDInt &store;
    dal::Connection &facility;
    ReadingPlan &plan;
    DataTally &tally;
    std::chrono::milliseconds progressInterval;
};

// Writes each of the readings whose sensor has a variable, in the order the source gives them.
class ReadingWriter
{
public:
    ReadingWriter(const ReadingTarget &target, dal::Recordset &readings)
        : m_target(target), m_writer(target.store, target.facility), m_columns(readings),
          m_data(readings.Fields(QStringLiteral("Data"))),
          m_timeDate(readings.Fields(QStringLiteral("TimeDate")))
    {}

    // Returns how many were written. On a failure the readings before the failing one are
    // stored, the failure is kept in the tally and raised. When the operator asks to stop, the
    // readings gone through are stored and the tally says after how many it stopped.
    std::int32_t writeAll(dal::Recordset &readings, std::int64_t total)
    {
        ProgressClock progress(m_target.progressInterval);
        try {
            for (std::int64_t i = 0; i < total; ++i) {
                writeCurrent(i + 1);
                moveNext(readings, i + 2);
                m_writer.commitIfDue();
                countStored();
                if (progress.due()) {
                    showProgress(i + 1, total);
                    if (i + 1 < total && m_target.ui.stopRequested()) {
                        m_target.tally.stoppedAfter = i + 1;
                        break;
                    }
                }
            }
            m_writer.finish();
            countStored();
        } catch (...) {
            m_writer.finishQuietly();
            countStored();
            keepFailure(std::current_exception());
            throw;
        }
        if (m_target.tally.stoppedAfter == 0)
            showFinalProgress(total);
        return m_written;
    }

private:
    void moveNext(dal::Recordset &readings, std::int64_t position)
    {
        m_position = position;
        m_onRow = false;
        readings.MoveNext();
        m_onRow = !readings.Eof();
    }

    void writeCurrent(std::int64_t position)
    {
        const ReadingRoute route = m_target.plan.route(m_columns.key());
        if (!route.toVariable()) {
            m_target.plan.countPassedOver(route, stampOfReading(m_timeDate.Value()));
            return;
        }
        PendingWrite write =
            writeOfReading(m_target.plan.variable(route).varId, m_data.Value(), m_timeDate.Value());
        m_handed.push_back({position, route, write.stamp, write.text});
        m_writer.write(std::move(write));
        ++m_written;
    }

    // Counts the readings that the writer has stored since the last call for their variables.
    void countStored()
    {
        const auto stored = static_cast<std::size_t>(m_writer.stored() - m_storedBefore);
        if (stored == 0)
            return;
        for (std::size_t k = 0; k < stored; ++k)
            m_target.plan.countStored(m_handed[k].route, m_handed[k].stamp);
        m_handed.erase(m_handed.begin(), m_handed.begin() + static_cast<std::ptrdiff_t>(stored));
        m_storedBefore = m_writer.stored();
        m_target.tally.written = m_storedBefore;
    }

    // The failing reading is the first handed one that was not stored, or the one being read;
    // none is known after a lost connection.
    void keepFailure(std::exception_ptr error)
    {
        ReadingFailure failure;
        failure.stored = m_writer.stored();
        failure.serverText = serverText(error);
        if (const std::optional<QString> reason = connectionLossReason(error)) {
            failure.position = failure.stored + 1;
            failure.inDoubt = m_writer.inDoubt();
            failure.reason = *reason;
            m_target.ui.reportDetail(QStringLiteral("The data import stopped at reading %1 of %2 "
                                                    "(none known to have failed): %3. %4 "
                                                    "readings before it were stored.")
                                         .arg(failure.position)
                                         .arg(m_target.tally.total)
                                         .arg(failure.reason)
                                         .arg(failure.stored));
            m_target.tally.failure = failure;
            return;
        }
        if (!m_handed.empty()) {
            const HandedReading &h = m_handed.front();
            failure.position = h.position;
            failure.readingKey = m_target.plan.variable(h.route).readingKey;
            failure.timeStamp = h.stamp.toIsoText();
            failure.value = h.value;
        } else {
            failure.position = m_position;
            if (m_onRow) {
                failure.readingKey = m_columns.key();
                failure.timeStamp = asRead(m_timeDate.Value());
                failure.value = asRead(m_data.Value());
            }
        }
        failure.reason = describedError(error);
        m_target.ui.reportDetail(
            QStringLiteral("The data import stopped at reading %1 of %2 (sensor %3, time stamp "
                           "%4, value %5): %6. %7 readings before it were stored.")
                .arg(failure.position)
                .arg(m_target.tally.total)
                .arg(failure.readingKey, failure.timeStamp, failure.value, failure.reason)
                .arg(failure.stored));
        m_target.tally.failure = failure;
    }

    // Why the import stopped where the connection was lost, naming no reading as the failing
    // one; none for any other failure.
    std::optional<QString> connectionLossReason(std::exception_ptr error) const
    {
        try {
            std::rethrow_exception(error);
        } catch (const CommitInDoubtError &e) {
            const std::int64_t first = m_writer.stored() + 1;
            return QStringLiteral("the commit of readings %1 to %2 is in doubt, as the connection "
                                  "was lost before the server answered it (%3); they may or may "
                                  "not be stored, and running the import again completes them "
                                  "whichever way it went")
                .arg(first)
                .arg(first + m_writer.inDoubt() - 1)
                .arg(e.description());
        } catch (const ConnectionLostError &e) {
            return QStringLiteral("the connection was lost (%1), so no reading is known to have "
                                  "failed; the readings from this one on are not stored, and "
                                  "running the import again completes them")
                .arg(e.description());
        } catch (...) {
            return std::nullopt;
        }
    }

    void showProgress(std::int64_t done, std::int64_t total)
    {
        m_target.importer.UpdateProgress(m_written, static_cast<double>(total));
        m_target.ui.setProgressCount(done, total);
        m_target.ui.processEvents();
    }

    // The bar ends where it would stand had it moved after every reading.
    void showFinalProgress(std::int64_t total)
    {
        m_target.importer.UpdateProgress(static_cast<double>(lastCountShown(m_written, total)),
                                         static_cast<double>(total));
        m_target.ui.setProgressCount(total, total);
        m_target.ui.processEvents();
    }

    const ReadingTarget &m_target;
    GroupedWriter m_writer;
    const SourceColumns m_columns;
    const dal::Field &m_data;
    const dal::Field &m_timeDate;
    std::vector<HandedReading> m_handed; // handed to the writer and not yet stored, in order
    std::int64_t m_storedBefore = 0;
    std::int64_t m_position = 1; // of the reading the record set stands on
    bool m_onRow = true;
    std::int32_t m_written = 0;
};

// After a stop at the operator's request: what is stored, and how the rest gets there.
void tellStopped(UserInterface &ui, const DataTally &tally)
{
    ui.showMessage(Message{QStringLiteral("The data import was stopped after %1 of %2 readings: "
                                          "%3 data records were stored in the ZARN database."
                                          "\r\nRunning the same import again completes it.")
                               .arg(tally.stoppedAfter)
                               .arg(tally.total)
                               .arg(tally.written),
                           MessageIcon::None, MessageButtons::Ok, QString(), 0});
    ui.reportDetail(QStringLiteral("The data import was stopped at the operator's request after "
                                   "reading %1 of %2: the %3 readings up to it that have a "
                                   "variable are stored.")
                        .arg(tally.stoppedAfter)
                        .arg(tally.total)
                        .arg(tally.written));
}

} // namespace

void Importer::PlanReadings(ReadingPlan &plan, const QString &VantrelID,
                            const ReadingPlan::VariableLookUp &lookUp)
{
    const QString sensorsTable = GetSensorsTableName(VantrelID);
    if (sensorsTable.isEmpty())
        return;
    dal::Recordset sensors = GetSensorDefinitions(sensorsTable);
    plan.routeSensors(readSourceSensors(sensors), lookUp, m_ui);
}

bool Importer::ImportData(DateTime StartDate, DateTime EndDate, const QString &VantrelID,
                          const QString & /*FacilityName*/, const QString & /*FacilityFileName*/)
{
    m_tally.data = DataTally();
    DataTally &tally = m_tally.data;
    tally.ran = true;
    const QString dataTable = GetDataTableName(VantrelID);
    if (dataTable.isEmpty())
        return false;
    try {
        // The sensors are read before the readings' stream opens, so that the source connection
        // never has two statements open: some drivers allow one active statement only.
        m_variableMap = HashTable();
        ReadingPlan plan(m_variableMap, tally);
        PlanReadings(plan, VantrelID, [this](std::int16_t sensorId) {
            return facilityVariable(*m_pelkConn, sensorId);
        });

        dal::Recordset readings = GetDataRows(StartDate, EndDate, dataTable);
        const long total = readings.RecordCount();
        tally.total = std::max<long>(total, 0);
        if (total <= 0) {
            tell(QStringLiteral("This site has no data for the date ranges that you chose"),
                 MessageIcon::None);
            readings.Close();
            tally.succeeded = true;
            return true;
        }

        m_ui.setProgressMax(100);
        m_ui.setProgressValue(0);
        m_ui.setProgressVisible(true);
        if (!m_dataStore)
            m_dataStore = std::make_unique<DataDDInt>();
        m_dataStore->Init(*m_pelkConn, dataAuditUser);
        m_dataStore->ConnectTo(readingSlotsPerDay);
        m_ui.processEvents();

        const ReadingTarget target{*this, m_ui,  *m_dataStore,      *m_pelkConn,
                                   plan,  tally, m_progressInterval};
        const std::int32_t written = ReadingWriter(target, readings).writeAll(readings, total);

        if (tally.stoppedAfter > 0) {
            tellStopped(m_ui, tally);
        } else {
            tell(QStringLiteral("Inserted %1 data records into ZARN database.").arg(written),
                 MessageIcon::None);
        }
        m_ui.setProgressVisible(false);
        readings.Close();
        tally.succeeded = tally.stoppedAfter == 0;
        return tally.succeeded;
    } catch (...) {
        if (!tally.failure) {
            // Before the first reading: the map, the readings' count or the store's set-up.
            const QString text = describedError(std::current_exception());
            tally.failure = ReadingFailure{};
            tally.failure->serverText = serverText(std::current_exception());
            tally.failure->reason = text;
            m_ui.reportDetail(QStringLiteral("The data import failed before its first reading: "
                                             "%1")
                                  .arg(text));
        }
        tell(QStringLiteral("Program was unable to import the data into ZARN"),
             MessageIcon::Exclamation);
        return false;
    }
}

} // namespace zarn
