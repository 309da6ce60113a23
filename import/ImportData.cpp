#include "facility/DataDDInt.h"
#include "facility/Utility.h"
#include "import/Importer.h"
#include "platform/Error.h"
#include "platform/dal/Provider.h"
#include "platform/dal/Transaction.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace zarn {

namespace {

using Clock = std::chrono::steady_clock;

// Queued writes go to the server in flushes of this many; a group of writes is committed once
// it holds this many or is this old, whichever comes first, so that a failure costs little to
// repair and a crash loses little.
constexpr std::size_t writesPerFlush = 1000;
constexpr std::size_t writesPerCommit = 5000;
constexpr Clock::duration commitInterval = std::chrono::seconds(1);

const QString dataAuditUser = QStringLiteral("VT2ZRANS");

// Sensor type, "_" and train number as the source gives them; a Null adds nothing.
QString readingKey(const Value &sensorType, const Value &trainNumber)
{
    return sensorType.toTextOrEmpty() + QLatin1Char('_') + trainNumber.toTextOrEmpty();
}

// The columns of a record set of readings or sensors, found by name once.
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

bool isPositiveNumber(const Value &v)
{
    return !v.isNull() && !v.isEmpty() && v.isNumeric() && v.toDouble() > 0;
}

// One reading on its way into the daily-data store.
struct PendingWrite
{
    DateTime slotStart;
    DateTime stamp;
    std::int32_t varId;
    double value;
    QString text;
};

// Writes readings in the order given, queued in transactions of many. When a write fails, the
// group it belongs to is rolled back and the writes before the failing one are sent again and
// committed, so that exactly the readings before the first failure are stored.
class GroupedWriter
{
public:
    GroupedWriter(DataDDInt &store, dal::Connection &connection)
        : m_store(store), m_connection(connection)
    {
        m_group.reserve(writesPerCommit);
    }
    GroupedWriter(const GroupedWriter &) = delete;
    GroupedWriter &operator=(const GroupedWriter &) = delete;

    void write(PendingWrite write)
    {
        if (!m_transaction)
            begin();
        queue(write);
        m_group.push_back(std::move(write));
        if (m_group.size() - m_flushed >= writesPerFlush) {
            flush();
            if (m_group.size() >= writesPerCommit)
                commit();
        }
    }

    // Stores the open group once it is old enough, however few writes it holds.
    void commitIfDue()
    {
        if (m_transaction && Clock::now() - m_groupStart >= commitInterval)
            finish();
    }

    // Stores every write queued so far.
    void finish()
    {
        if (!m_transaction)
            return;
        flush();
        commit();
    }

    // After a reading failed: stores the writes before it, as far as they can be stored.
    void finishQuietly() noexcept
    {
        try {
            finish();
        } catch (...) {
            // The reading's own failure is the one reported.
        }
    }

private:
    void begin()
    {
        m_transaction.emplace(m_connection);
        m_groupStart = Clock::now();
    }

    void queue(const PendingWrite &w)
    {
        m_store.QueueWriteData(w.slotStart, w.stamp, w.varId, w.value, w.text);
    }

    void flush()
    {
        try {
            m_store.FlushWrites();
            m_flushed = m_group.size();
        } catch (const dal::BatchError &e) {
            keepOnly(m_flushed + e.succeeded());
            throw;
        }
    }

    void commit()
    {
        m_transaction->commit();
        m_transaction.reset();
        m_group.clear();
        m_flushed = 0;
    }

    // Rolls the group back and stores its first `count` writes again. A write that fails this
    // time shortens the list further, so this ends.
    void keepOnly(std::size_t count)
    {
        for (;;) {
            m_transaction.reset();
            begin();
            for (std::size_t i = 0; i < count; ++i)
                queue(m_group[i]);
            try {
                m_store.FlushWrites();
                break;
            } catch (const dal::BatchError &e) {
                if (count == 0)
                    throw;
                count = std::min(count - 1, e.succeeded());
            }
        }
        m_flushed = count;
        m_group.resize(count);
        commit();
    }

    DataDDInt &m_store;
    dal::Connection &m_connection;
    std::optional<dal::Transaction> m_transaction;
    std::vector<PendingWrite> m_group; // the writes of the open transaction, in order
    std::size_t m_flushed = 0;         // how many of them the server has confirmed
    Clock::time_point m_groupStart;
};

// Says when the progress bar and the window's events are due: at most once per interval, and
// after every reading when the interval is zero.
class ProgressClock
{
public:
    explicit ProgressClock(std::chrono::milliseconds interval)
        : m_interval(interval), m_last(Clock::now())
    {}

    bool due()
    {
        if (m_interval.count() <= 0)
            return true;
        const Clock::time_point now = Clock::now();
        if (now - m_last < m_interval)
            return false;
        m_last = now;
        return true;
    }

private:
    std::chrono::milliseconds m_interval;
    Clock::time_point m_last;
};

// Replaces the map with one from each sensor's reading key to its ZARN variable. The first
// sensor of a key wins; a sensor without a variable adds nothing.
void fillVariableMap(HashTable &map, dal::Recordset &sensors, dal::Connection &facility)
{
    const long sensorCount = sensors.RecordCount();
    if (sensorCount <= 0)
        return;
    map.SetSize(static_cast<std::int32_t>(std::min<long long>(
                    4LL * sensorCount, std::numeric_limits<std::int32_t>::max())),
                0, 0);
    const SourceColumns columns(sensors);
    dal::Field &sensorId = sensors.Fields(QStringLiteral("SensorID"));
    for (long i = 0; i < sensorCount; ++i) {
        const QString key = columns.key();
        const Value varId =
            GetFirstValue(facility, QStringLiteral("select VARID from vardesc where VARNUM='%1'")
                                        .arg(sensorId.Value().toInt16()));
        if (isPositiveNumber(varId) && !map.Exists(key))
            map.Add(key, varId);
        sensors.MoveNext();
    }
    sensors.Close();
}

// Where the readings go and how the run is shown while they do.
struct ReadingTarget
{
    Importer &importer; // moves the progress bar
    UserInterface &ui;
    DataDDInt &store;
    dal::Connection &facility;
    const HashTable &variables;
    std::chrono::milliseconds progressInterval;
};

// Writes each of the next `total` readings whose sensor has a variable, in the order the source
// gives them, and returns how many were written. On a failure the readings before the failing
// one are stored and the failure is raised.
std::int32_t writeReadings(const ReadingTarget &target, dal::Recordset &readings, long total)
{
    std::int32_t written = 0;
    GroupedWriter writer(target.store, target.facility);
    ProgressClock progress(target.progressInterval);
    const SourceColumns columns(readings);
    dal::Field &data = readings.Fields(QStringLiteral("Data"));
    dal::Field &timeDate = readings.Fields(QStringLiteral("TimeDate"));
    try {
        for (long i = 0; i < total; ++i) {
            const Value variable = target.variables.item(columns.key());
            if (!variable.isEmpty()) {
                const DateTime stamp = timeDate.Value().toDateTime();
                writer.write({target.store.GetSlotStartDateTime(stamp), stamp, variable.toInt32(),
                              data.Value().toDouble(), data.Value().toText()});
                ++written;
            }
            readings.MoveNext();
            writer.commitIfDue();
            if (progress.due()) {
                target.importer.UpdateProgress(written, static_cast<double>(total));
                target.ui.processEvents();
            }
        }
        writer.finish();
    } catch (...) {
        writer.finishQuietly();
        throw;
    }
    return written;
}

} // namespace

bool Importer::ImportData(DateTime StartDate, DateTime EndDate, const QString &VantrelID,
                          const QString & /*FacilityName*/, const QString & /*FacilityFileName*/)
{
    const QString dataTable = GetDataTableName(VantrelID);
    if (dataTable.isEmpty())
        return false;
    try {
        dal::Recordset readings = GetDataRows(StartDate, EndDate, dataTable);

        m_variableMap = HashTable();
        const QString sensorsTable = GetSensorsTableName(VantrelID);
        if (!sensorsTable.isEmpty()) {
            dal::Recordset sensors = GetSensorDefinitions(sensorsTable);
            fillVariableMap(m_variableMap, sensors, *m_pelkConn);
        }

        const long total = readings.RecordCount();
        if (total <= 0) {
            tell(QStringLiteral("This site has no data for the date ranges that you chose"),
                 MessageIcon::None);
            readings.Close();
            return true;
        }

        m_ui.setProgressMax(100);
        m_ui.setProgressValue(0);
        m_ui.setProgressVisible(true);
        if (!m_dataStore)
            m_dataStore = std::make_unique<DataDDInt>();
        m_dataStore->Init(*m_pelkConn, dataAuditUser);
        m_dataStore->ConnectTo(1440);
        m_ui.processEvents();

        const std::int32_t written = writeReadings(
            {*this, m_ui, *m_dataStore, *m_pelkConn, m_variableMap, m_progressInterval}, readings,
            total);

        tell(QStringLiteral("Inserted %1 data records into ZARN database.").arg(written),
             MessageIcon::None);
        m_ui.setProgressVisible(false);
        readings.Close();
        return true;
    } catch (...) {
        tell(QStringLiteral("Program was unable to import the data into ZARN"),
             MessageIcon::Exclamation);
        return false;
    }
}

} // namespace zarn
