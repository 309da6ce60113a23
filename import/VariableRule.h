#pragma once

#include "platform/dal/Connection.h"
#include "platform/dal/Recordset.h"

#include <cstdint>

namespace zarn {

// A sensor has its ZARN variable already when VARDESC holds a row of the sensor's location
// (LOCID) and sensor type (UD1); the variable number plays no part.

// The facility's variables of one location and sensor type, with the columns that the variable
// import writes; with an updatable lock type the record set takes a new variable. Raises
// DatabaseError.
dal::Recordset openVariablesOf(dal::Connection &facility, std::int16_t locId,
                               std::int16_t sensorType, dal::LockTypeEnum lockType);

// Whether a sensor of this location and type has its variable already. Reads only; raises
// DatabaseError.
bool variableExists(dal::Connection &facility, std::int16_t locId, std::int16_t sensorType);

} // namespace zarn
