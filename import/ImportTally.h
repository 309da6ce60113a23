#pragma once

#include "platform/DateTime.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace zarn {

// What the import steps did (or, for a preview, would do), kept as they run. The run report
// and the batch mode's details are written from it; the steps' message boxes are not.
// Keeping it costs at most a counter and two comparisons per reading.

struct LocationEntry
{
    QString key;  // LOCATION.UD1
    QString name; // LOCATION.Location
    std::int32_t locId = 0;

    friend bool operator==(const LocationEntry &, const LocationEntry &) = default;
};

struct LocationTally
{
    bool ran = false;
    bool succeeded = false;
    QString failure; // why the step failed: the database's own text, where it gave one
    std::vector<LocationEntry> kept;
    std::vector<LocationEntry> added;
    std::vector<LocationEntry> removed;
};

struct SensorEntry
{
    QString sensorId; // as the source gives it
    QString sensorType;
    QString trainNumber;
    QString description;
    QString reason;         // why it failed, or why it was passed over; empty otherwise
    std::int32_t locId = 0; // the location its variable is filed under (0: the row did not build)
};

struct VariableTally
{
    bool ran = false;
    bool succeeded = false;
    QString failure; // why the step failed, as for the locations
    std::vector<SensorEntry> created;
    std::vector<SensorEntry> existing;
    std::vector<SensorEntry> failed;
};

// One row of UDCaps as written, by position: its field name and caption before and after.
struct CaptionEntry
{
    QString field;
    QString oldCaption;
    QString newCaption;
    QString oldField;
};

struct CaptionTally
{
    bool ran = false;
    bool succeeded = false;
    QString failure; // why the step failed, as for the locations
    std::vector<CaptionEntry> written;
};

// The readings written to one variable.
struct VariableReadings
{
    QString readingKey;
    std::int32_t varId = 0;
    std::int64_t count = 0;
    DateTime first;
    DateTime last;
};

// The readings of one reading key that no variable maps.
struct PassedOverReadings
{
    QString readingKey;
    std::int64_t count = 0;
    QString reason; // "no variable", "duplicate SensorID 9001", ...
};

// The reading that stopped a data import.
struct ReadingFailure
{
    QString readingKey;
    QString timeStamp;         // as read
    QString value;             // as read
    std::int64_t position = 0; // 1-based, in the source's order
    std::int64_t stored = 0;   // readings stored before it
    QString serverText;        // the database's own error text, when the server raised it
};

struct DataTally
{
    bool ran = false;
    bool succeeded = false;
    std::int64_t total = 0; // readings strictly between the dates
    std::int64_t written = 0;
    std::vector<VariableReadings> perVariable;
    std::vector<PassedOverReadings> passedOver;
    std::optional<ReadingFailure> failure;
};

struct ImportTally
{
    LocationTally locations;
    VariableTally variables;
    CaptionTally captions;
    DataTally data;
};

} // namespace zarn
