#pragma once

#include "db/HashTable.h"
#include "import/ImportTally.h"
#include "platform/DateTime.h"
#include "platform/UserInterface.h"
#include "platform/dal/Connection.h"
#include "platform/dal/Recordset.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace zarn {

// One row of a site's sensors table, as far as the plan of the readings needs it.
struct SourceSensor
{
    QString key;                    // its reading key
    std::optional<std::int16_t> id; // none when the SensorID is Null or fits no 16-bit number
    QString idText;                 // as read
    QString description;

    QString name() const { return QStringLiteral("%1 (%2)").arg(key, description); }
};

// The rows of an open record set of sensor definitions, in its order; closes it. Raises when the
// record set is not open.
std::vector<SourceSensor> readSourceSensors(dal::Recordset &sensors);

// The variable that a SensorID maps to.
struct MappedVariable
{
    std::int32_t varId = 0; // 0 for one that the variable import is yet to make
    bool isNew = false;
};

// The facility's variable whose VARNUM is the SensorID, when its VARID is a positive number.
// Unlike GetFirstValue, a look-up that fails raises: readings must never be passed over because
// the facility could not be asked.
std::optional<MappedVariable> facilityVariable(dal::Connection &facility, std::int16_t sensorId);

// Where the readings of one reading key go: to a variable, or passed over.
class ReadingRoute
{
public:
    bool toVariable() const { return m_index >= 0; }
    // The position of its variable among the plan's variables; for a route to a variable only.
    std::size_t variableIndex() const { return static_cast<std::size_t>(m_index); }

private:
    explicit ReadingRoute(std::int32_t index) : m_index(index) {}

    // Of its entry in the tally: of its variable (0, 1, ...) or of its passed-over readings
    // (-1, -2, ...), so that a reading costs one look-up, its counting included.
    std::int32_t m_index;
    friend class ReadingPlan;
};

// Which sensor's variable takes each reading key, and why a key's readings are passed over,
// decided once from the site's sensors and then asked once per reading. The data import writes
// by it, the preview counts by it. Its entries are those of the data tally: one per variable,
// one per key passed over, each with what was counted for it.
//
// In use: Importer::PlanReadings routes the site's sensors; then, per reading in the source's
// order, route(its key); a reading of a variable becomes writeOfReading(variable(route).varId,
// ...) (ReadingValue.h: its slot, stamp, value and text, or why it cannot be stored) and is
// counted with countStored, one of a key passed over is counted with countPassedOver.
class ReadingPlan
{
public:
    // The variable of a SensorID, or nothing when none maps it.
    using VariableLookUp = std::function<std::optional<MappedVariable>(std::int16_t sensorId)>;

    // The routes are kept in map (the importer's variable map), the entries in tally.
    ReadingPlan(HashTable &map, DataTally &tally);
    ReadingPlan(const ReadingPlan &) = delete;
    ReadingPlan &operator=(const ReadingPlan &) = delete;

    // Routes the sensors' reading keys, in the sensors' order. The first sensor of a key that has
    // a variable takes the key; but when its SensorID is shared with another sensor (as a 16-bit
    // number), the key's readings are passed over, since one variable cannot tell them apart. A
    // sensor whose SensorID fits no variable has none. Tells notes of the shared and the unusable
    // SensorIDs. Raises what the look-up raises.
    void routeSensors(const std::vector<SourceSensor> &sensors, const VariableLookUp &lookUp,
                      UserInterface &notes);

    // The route of a reading key; a key that no sensor has is passed over from its first reading
    // on.
    ReadingRoute route(const QString &key);

    const VariableReadings &variable(ReadingRoute route) const;
    const PassedOverReadings &passedOver(ReadingRoute route) const;

    // Counts a reading of a variable once it is stored (in a preview, once it would be).
    void countStored(ReadingRoute route, DateTime stamp);
    // Counts a reading of a key passed over as it is read, with its time stamp where it has one.
    void countPassedOver(ReadingRoute route, std::optional<DateTime> stamp);

private:
    bool holds(const QString &key) const { return m_map.Exists(key); }
    void addVariable(const QString &key, const MappedVariable &variable, const QString &sensorId);
    ReadingRoute addPassedOver(const QString &key, const QString &reason,
                               const QString &sensorId = QString());

    HashTable &m_map;
    DataTally &m_tally;
};

} // namespace zarn
