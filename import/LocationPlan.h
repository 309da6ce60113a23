#pragma once

#include "import/ImportTally.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace zarn {

// A train of a site as the locations step takes it from the source's TRAINS table.
struct Train
{
    QString name;
    std::int16_t number = 0;
    std::int16_t order = 0;
    std::int16_t group = 0;
};

// The stand-in train of a site that has none: the whole plant.
Train plantWideTrain();

// The location key of a train (LOCATION.UD1): its number's text, with "0" in front of numbers
// below 10 (7 gives 07, 0 gives 00, -3 gives 0-3, 12 stays 12).
QString locationKey(std::int16_t trainNumber);

// What the locations step does with the facility's locations for a site's trains.
struct LocationPlan
{
    // Existing rows that stay, with their LocID (their other fields are rewritten).
    std::vector<LocationEntry> kept;
    // One new row per train that keeps no row, in the trains' order; LocID 0 until written.
    std::vector<LocationEntry> added;
    // Existing rows that go.
    std::vector<LocationEntry> removed;
    // For each train, in order: the LocID of the row it keeps, or nothing when it gets a new row.
    std::vector<std::optional<std::int32_t>> keptByTrain;

    // The LocID that the location lookup finds for a key once the plan has been carried out: a
    // kept row's, 0 for a row still to be added, nothing when no location has the key.
    std::optional<std::int32_t> locIdOf(const QString &key) const;
};

// A row keeps its LocID only when its key and its name both match a train's, so that the
// variables filed under it belong to that train and to no other site's train of the same
// number; each train keeps at most one row. Every other row goes, and the trains without a row
// get a new one. Existing rows are taken in the order given.
LocationPlan planLocations(const std::vector<LocationEntry> &existing,
                           const std::vector<Train> &trains);

} // namespace zarn
