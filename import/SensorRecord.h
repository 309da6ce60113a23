#pragma once

#include "import/ImportTally.h"
#include "platform/Value.h"
#include "platform/dal/Recordset.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace zarn {

// One source sensor, built from one row of a site's sensors table.
struct SensorRecord
{
    std::int16_t SensorID = 0;
    std::int16_t SensorType = 0;
    QString TrainNumber;
    std::int16_t LocID = 0;
    QString Description;
    QString Units;
    double HiHi = 0, Hi = 0, Lo = 0, LoLo = 0, MaxDisplay = 0, MinDisplay = 0;
    std::int16_t DisplayOrder = 0;
    QString DataType;
    bool Virtual = false;

    friend bool operator==(const SensorRecord &, const SensorRecord &) = default;
};

// The LocID of the location that has a key, or Null when none has it.
using LocationLookUp = std::function<Value(const QString &key)>;

// The sensor record of the row the record set stands on, each column converted as its field
// asks, the location found through locate. Nothing when a column does not convert, with the
// column and the reason in failure; the record set is not moved. A time-out is raised, with the
// reason in failure, since each further sensor would wait as long.
std::optional<SensorRecord> sensorOfRow(dal::Recordset &rs, const LocationLookUp &locate,
                                        QString &failure);

// The sensor of the current row as its source columns give it, for the tally.
SensorEntry sensorEntryOf(dal::Recordset &rs);

} // namespace zarn
