#include "import/PreviewRules.h"

#include "platform/dal/Recordset.h"

namespace zarn::preview {

QString locationKeyOf(std::int16_t trainNumber)
{
    const QString text = QString::number(trainNumber);
    return trainNumber < 10 ? QStringLiteral("0") + text : text;
}

LocationTally planLocations(const std::vector<TrainLocation> &trains,
                            const std::vector<LocationEntry> &existing)
{
    LocationTally plan;
    std::vector<bool> placed(trains.size(), false);
    for (const LocationEntry &row : existing) {
        bool kept = false;
        for (std::size_t i = 0; i < trains.size() && !kept; ++i) {
            if (!placed[i] && trains[i].key == row.key && trains[i].name == row.name) {
                placed[i] = true;
                kept = true;
            }
        }
        (kept ? plan.kept : plan.removed).push_back(row);
    }
    for (std::size_t i = 0; i < trains.size(); ++i) {
        if (!placed[i])
            plan.added.push_back(LocationEntry{trains[i].key, trains[i].name, 0});
    }
    return plan;
}

bool variableExists(dal::Connection &facility, std::int16_t locId, std::int16_t sensorType)
{
    dal::Recordset rs =
        facility.Execute(QStringLiteral("SELECT COUNT(*) FROM VARDESC WHERE LOCID=? AND UD1=?"),
                         {Value(locId), Value(sensorType)});
    return rs.Fields(0).Value().toDouble() > 0;
}

} // namespace zarn::preview
