#include "app/VerificationJson.h"

#include "app/RunRecordJson.h"

#include <QJsonArray>

namespace zarn {

namespace {

QJsonObject countsJson(const SlotCounts &c)
{
    return QJsonObject{{QStringLiteral("checked"), double(c.checked)},
                       {QStringLiteral("matching"), double(c.matching)},
                       {QStringLiteral("missing"), double(c.missing)},
                       {QStringLiteral("differentValue"), double(c.differentValue)},
                       {QStringLiteral("differentText"), double(c.differentText)},
                       {QStringLiteral("differentTimeStamp"), double(c.differentTimeStamp)}};
}

QJsonObject contentJson(const SlotContent &c)
{
    return QJsonObject{{QStringLiteral("timeStamp"), c.stamp.toIsoText()},
                       {QStringLiteral("value"), c.value},
                       {QStringLiteral("text"), c.text}};
}

QJsonObject differenceJson(const SlotDifference &d)
{
    QJsonArray differs;
    if (d.value)
        differs.append(QStringLiteral("value"));
    if (d.text)
        differs.append(QStringLiteral("text"));
    if (d.timeStamp)
        differs.append(QStringLiteral("timeStamp"));
    return QJsonObject{
        {QStringLiteral("slot"), d.slot.toIsoText()},
        {QStringLiteral("expected"), contentJson(d.expected)},
        {QStringLiteral("found"), d.found ? QJsonValue(contentJson(*d.found)) : QJsonValue()},
        {QStringLiteral("differs"), differs}};
}

QJsonObject variableJson(const VariableReadings &r, const VariableCheck &c)
{
    QJsonArray differences;
    for (const SlotDifference &d : c.differences)
        differences.append(differenceJson(d));
    return QJsonObject{
        {QStringLiteral("readingKey"), r.readingKey},
        {QStringLiteral("sensorId"), r.sensorId},
        {QStringLiteral("varId"), r.varId},
        {QStringLiteral("readings"), double(r.count)},
        {QStringLiteral("first"), r.count > 0 ? QJsonValue(r.first.toIsoText()) : QJsonValue()},
        {QStringLiteral("last"), r.count > 0 ? QJsonValue(r.last.toIsoText()) : QJsonValue()},
        {QStringLiteral("slots"), countsJson(c.counts)},
        {QStringLiteral("differences"), differences}};
}

QJsonValue stopJson(const std::optional<ReadingFailure> &stop)
{
    if (!stop)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("readingKey"), stop->readingKey},
                       {QStringLiteral("timeStamp"), stop->timeStamp},
                       {QStringLiteral("value"), stop->value},
                       {QStringLiteral("position"), double(stop->position)},
                       {QStringLiteral("reason"), stop->reason}};
}

} // namespace

QJsonObject verificationJson(const VerificationTally &t)
{
    const DataTally &r = t.readings;
    QJsonArray perVariable;
    for (std::size_t i = 0; i < t.perVariable.size() && i < r.perVariable.size(); ++i)
        perVariable.append(variableJson(r.perVariable[i], t.perVariable[i]));
    QJsonArray passedOver;
    for (const PassedOverReadings &p : r.passedOver)
        passedOver.append(passedOverJson(p, false));
    return QJsonObject{{QStringLiteral("ran"), t.ran},
                       {QStringLiteral("succeeded"), t.succeeded},
                       {QStringLiteral("total"), double(r.total)},
                       {QStringLiteral("readings"), double(r.written)},
                       {QStringLiteral("passedOver"), double(r.passedOverCount())},
                       {QStringLiteral("slots"), countsJson(t.total())},
                       {QStringLiteral("perVariable"), perVariable},
                       {QStringLiteral("passedOverByKey"), passedOver},
                       {QStringLiteral("importStopsAt"), stopJson(r.failure)}};
}

} // namespace zarn
