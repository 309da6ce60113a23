#include "import/SensorRecord.h"

#include "platform/Error.h"

namespace zarn {

namespace {

constexpr qsizetype longestUnits = 10;

// The location key of a sensor's train: the train number's text, with "0" in front when it
// reads as a number below 10. Raises for a text that is not a number.
QString sensorLocationKey(const QString &trainNumberText)
{
    const std::optional<double> number = parseNumber(trainNumberText);
    if (!number)
        throw typeMismatch();
    return *number < 10 ? QStringLiteral("0") + trainNumberText : trainNumberText;
}

} // namespace

std::optional<SensorRecord> sensorOfRow(dal::Recordset &rs, const LocationLookUp &locate,
                                        QString &failure)
{
    QString column; // the one being read, to name in the reason
    auto field = [&](const QString &name) -> const Value & {
        column = name;
        return rs.Fields(name).Value();
    };
    auto fieldOr = [&](const QString &name, const Value &fallback) {
        const Value &v = field(name);
        return v.isNull() ? fallback : v;
    };
    try {
        SensorRecord s;
        s.SensorID = field(QStringLiteral("SensorID")).toInt16();
        s.SensorType = field(QStringLiteral("SensorType")).toInt16();
        s.TrainNumber =
            sensorLocationKey(fieldOr(QStringLiteral("TrainNumber"), QStringLiteral("1")).toText());
        column = QStringLiteral("LocID of location ") + s.TrainNumber;
        const Value locId = locate(s.TrainNumber);
        s.LocID = locId.isNull() ? std::int16_t{1} : locId.toInt16();
        s.Description =
            fieldOr(QStringLiteral("Description"), QStringLiteral("Undefined")).toText();
        s.Units = fieldOr(QStringLiteral("Units"), QStringLiteral("")).toText().left(longestUnits);
        s.HiHi = fieldOr(QStringLiteral("HiHi"), 100.0).toDouble();
        s.Hi = fieldOr(QStringLiteral("Hi"), 90.0).toDouble();
        s.Lo = fieldOr(QStringLiteral("Lo"), 0.0).toDouble();
        s.LoLo = fieldOr(QStringLiteral("LoLo"), 0.0).toDouble();
        s.MaxDisplay = fieldOr(QStringLiteral("MaxDisplay"), 100.0).toDouble();
        s.MinDisplay = fieldOr(QStringLiteral("MinDisplay"), 0.0).toDouble();
        s.DisplayOrder = fieldOr(QStringLiteral("DisplayOrder"), std::int16_t{1}).toInt16();
        s.DataType = fieldOr(QStringLiteral("DataType"), QStringLiteral("")).toText();
        s.Virtual = field(QStringLiteral("Virtual")).toBool();
        return s;
    } catch (const UnavailableError &) {
        failure = column + QStringLiteral(": ") + describedError(std::current_exception());
        throw;
    } catch (...) {
        failure = column + QStringLiteral(": ") + describedError(std::current_exception());
        return std::nullopt;
    }
}

SensorEntry sensorEntryOf(dal::Recordset &rs)
{
    auto text = [&](const QString &column) { return rs.Fields(column).Value().toTextOrEmpty(); };
    SensorEntry entry;
    entry.sensorId = text(QStringLiteral("SensorID"));
    entry.sensorType = text(QStringLiteral("SensorType"));
    entry.trainNumber = text(QStringLiteral("TrainNumber"));
    entry.description = text(QStringLiteral("Description"));
    return entry;
}

} // namespace zarn
