#pragma once

#include "import/GroupedWriter.h"
#include "import/ImportTally.h"
#include "import/ReadingPlan.h"
#include "platform/DateTime.h"
#include "platform/dal/Recordset.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace zarn {

// What a walk over the readings hands on, reading by reading.
class ReadingVisitor
{
public:
    virtual ~ReadingVisitor() = default;

    // A reading of a variable, as the data import writes it.
    virtual void written(const QString &key, ReadingRoute route, const PendingWrite &write) = 0;
    // A reading of a key passed over, with its time stamp where it has one.
    virtual void passedOver(const QString &key, std::optional<DateTime> stamp) = 0;
    // After each reading: how many were read of how many.
    virtual void read(std::int64_t /*done*/, std::int64_t /*total*/) {}
};

// Walks the open readings in the source's order by the plan, each as the data import would take
// it, and counts them in tally (the total, the readings written and those passed over, per
// variable and per key). The walk ends before the first reading that the import could not
// store, which it keeps as tally.failure. Raises what reading the source raises.
void walkReadings(dal::Recordset &readings, ReadingPlan &plan, DataTally &tally,
                  ReadingVisitor &visitor);

} // namespace zarn
