#pragma once

#include "import/ImportTally.h"
#include "platform/dal/Connection.h"

#include <QString>
#include <cstdint>
#include <vector>

// The rules by which the variable steps decide what to keep, add and create, as pure functions
// of what the source and the facility hold, so that a preview can apply them without writing.
namespace zarn::preview {

// A train of the site as its location would be written.
struct TrainLocation
{
    QString key;  // the location key (LOCATION.UD1)
    QString name; // the train's name (LOCATION.Location)
};

// The location key of a train number: its decimal text, with "0" in front below 10.
QString locationKeyOf(std::int16_t trainNumber);

// What the locations step does to the facility's locations (in table order) for the trains: a
// row keeps its LocID when its key and its name both match a train not yet placed; every other
// row is removed; the trains without a kept row are added.
LocationTally planLocations(const std::vector<TrainLocation> &trains,
                            const std::vector<LocationEntry> &existing);

// The existence rule of the variable import: the facility holds a variable of the location and
// the sensor type.
bool variableExists(dal::Connection &facility, std::int16_t locId, std::int16_t sensorType);

} // namespace zarn::preview
