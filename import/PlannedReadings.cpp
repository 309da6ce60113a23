#include "import/PlannedReadings.h"

#include "import/ReadingValue.h"
#include "import/SourceText.h"
#include "platform/Error.h"

#include <algorithm>

namespace zarn {

void walkReadings(dal::Recordset &readings, ReadingPlan &plan, DataTally &tally,
                  ReadingVisitor &visitor)
{
    const dal::Field &sensorType = readings.Fields(QStringLiteral("SensorType"));
    const dal::Field &trainNumber = readings.Fields(QStringLiteral("TrainNumber"));
    const dal::Field &data = readings.Fields(QStringLiteral("Data"));
    const dal::Field &timeDate = readings.Fields(QStringLiteral("TimeDate"));
    tally.total = std::max<std::int64_t>(readings.RecordCount(), 0);
    for (std::int64_t i = 0; i < tally.total; ++i) {
        const QString key = readingKey(sensorType.Value(), trainNumber.Value());
        const ReadingRoute route = plan.route(key);
        if (route.toVariable()) {
            std::optional<PendingWrite> write;
            try {
                write = writeOfReading(plan.variable(route).varId, data.Value(), timeDate.Value());
            } catch (const Error &e) {
                tally.failure = ReadingFailure{
                    key,       asRead(timeDate.Value()), asRead(data.Value()), i + 1, tally.written,
                    QString(), e.description()};
                return;
            }
            plan.countStored(route, write->stamp);
            ++tally.written;
            visitor.written(key, route, *write);
        } else {
            const std::optional<DateTime> stamp = stampOfReading(timeDate.Value());
            plan.countPassedOver(route, stamp);
            visitor.passedOver(key, stamp);
        }
        readings.MoveNext();
        visitor.read(i + 1, tally.total);
    }
}

} // namespace zarn
