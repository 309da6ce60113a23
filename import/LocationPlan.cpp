#include "import/LocationPlan.h"

namespace zarn {

Train plantWideTrain()
{
    return Train{QStringLiteral("My Plant"), 1, 1, 1};
}

QString locationKey(std::int16_t trainNumber)
{
    const QString text = QString::number(trainNumber);
    return trainNumber < 10 ? QStringLiteral("0") + text : text;
}

std::optional<std::int32_t> LocationPlan::locIdOf(const QString &key) const
{
    for (const LocationEntry &location : kept)
        if (location.key == key)
            return location.locId;
    for (const LocationEntry &location : added)
        if (location.key == key)
            return 0;
    return std::nullopt;
}

LocationPlan planLocations(const std::vector<LocationEntry> &existing,
                           const std::vector<Train> &trains)
{
    LocationPlan plan;
    plan.keptByTrain.assign(trains.size(), std::nullopt);
    for (const LocationEntry &row : existing) {
        bool kept = false;
        for (std::size_t i = 0; i < trains.size() && !kept; ++i) {
            if (!plan.keptByTrain[i] && row.key == locationKey(trains[i].number) &&
                row.name == trains[i].name) {
                plan.keptByTrain[i] = row.locId;
                kept = true;
            }
        }
        (kept ? plan.kept : plan.removed).push_back(row);
    }
    for (std::size_t i = 0; i < trains.size(); ++i)
        if (!plan.keptByTrain[i])
            plan.added.push_back({locationKey(trains[i].number), trains[i].name, 0});
    return plan;
}

} // namespace zarn
