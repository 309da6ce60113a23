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
    QString oldField; // the row's FieldName before, where it was another
};

struct CaptionTally
{
    bool ran = false;
    bool succeeded = false;
    QString failure; // why the step failed, as for the locations
    std::vector<CaptionEntry> written;
};

// The readings stored for one variable.
struct VariableReadings
{
    QString readingKey;
    std::int32_t varId = 0;
    std::int64_t count = 0;
    DateTime first;             // the earliest time stamp, whatever the source's order
    DateTime last;              // the latest
    QString sensorId;           // of the sensor whose variable it is
    std::int64_t slotCount = 0; // distinct one-minute slots (the preview counts them)
    bool newVariable = false;   // a preview's variable that the variable import would create
};

// The readings of one reading key that no variable maps.
struct PassedOverReadings
{
    QString readingKey;
    std::int64_t count = 0;
    QString reason;   // "no variable", "no sensor", "duplicate SensorID 9001",
                      // "SensorID 40000 out of range", "SensorID Null"
    QString sensorId; // empty when no sensor has the reading key
    std::optional<DateTime> first;
    std::optional<DateTime> last;
    std::int64_t slotCount = 0;
};

// The reading that stopped a data import: the first one not stored. Position 0, without a
// reading, when the import failed before its first reading (a failing variable look-up). Where
// the connection was lost, no reading is known to have failed: the position is the first one
// not known to be stored, and the reading's key, time stamp and value stay empty.
struct ReadingFailure
{
    QString readingKey;
    QString timeStamp;         // as read
    QString value;             // as read ("Null" for a Null)
    std::int64_t position = 0; // 1-based, in the source's order
    std::int64_t stored = 0;   // readings certainly stored before it
    QString serverText;        // the database's own error text, when the server raised it
    QString reason;            // why it was not stored, in the words of the detail line
    // How many readings from `position` on a commit whose answer never came may or may not
    // have stored; 0 when none is in doubt.
    std::int64_t inDoubt = 0;
};

struct DataTally
{
    bool ran = false;
    bool succeeded = false;
    std::int64_t total = 0;   // readings strictly between the dates
    std::int64_t written = 0; // stored in the facility
    std::vector<VariableReadings> perVariable;
    std::vector<PassedOverReadings> passedOver;
    std::optional<ReadingFailure> failure;
    // Stopped at the operator's request: the readings gone through before the stop, of which
    // those with a variable are stored; 0 when the import was not stopped.
    std::int64_t stoppedAfter = 0;

    // The readings passed over, of every reading key.
    std::int64_t passedOverCount() const
    {
        std::int64_t count = 0;
        for (const PassedOverReadings &p : passedOver)
            count += p.count;
        return count;
    }
};

struct ImportTally
{
    LocationTally locations;
    VariableTally variables;
    CaptionTally captions;
    DataTally data;
};

} // namespace zarn
