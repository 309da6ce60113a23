#include "facility/DataDDInt.h"
#include "facility/Utility.h"
#include "import/GroupedWriter.h"
#include "import/Importer.h"
#include "platform/Error.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace zarn {

namespace {

using Clock = std::chrono::steady_clock;

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
