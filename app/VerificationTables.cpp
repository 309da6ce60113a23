#include "app/VerificationTables.h"

#include <QLocale>

namespace zarn {

namespace {

QString number(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString contentText(const SlotContent &c)
{
    return QStringLiteral("%1 \"%2\" at %3").arg(number(c.value), c.text, c.stamp.toIsoText());
}

QString whatDiffers(const SlotDifference &d)
{
    if (!d.found)
        return QStringLiteral("missing");
    QStringList parts;
    if (d.value)
        parts << QStringLiteral("value");
    if (d.text)
        parts << QStringLiteral("text");
    if (d.timeStamp)
        parts << QStringLiteral("time stamp");
    return parts.join(QStringLiteral(", "));
}

QString countsText(const SlotCounts &c)
{
    return QStringLiteral("%1 checked, %2 matching, %3 missing, %4 with another value, %5 with "
                          "another text, %6 with another time stamp")
        .arg(c.checked)
        .arg(c.matching)
        .arg(c.missing)
        .arg(c.differentValue)
        .arg(c.differentText)
        .arg(c.differentTimeStamp);
}

void addSummary(const VerificationTally &t, RunView &view)
{
    const DataTally &r = t.readings;
    view.summary << QStringLiteral("Slots: %1").arg(countsText(t.total()))
                 << QStringLiteral("Readings: %1 between the dates, %2 of variables, %3 passed "
                                   "over (no variable maps them)")
                        .arg(r.total)
                        .arg(r.written)
                        .arg(r.passedOverCount());
    if (r.failure)
        view.summary << QStringLiteral("The import stops at reading %1 (%2 at %3, value \"%4\"): "
                                       "%5; only the slots of the readings before it are "
                                       "checked.")
                            .arg(r.failure->position)
                            .arg(r.failure->readingKey, r.failure->timeStamp, r.failure->value,
                                 r.failure->reason);
    if (!t.succeeded)
        view.summary << QStringLiteral("The verification did not finish.");
}

RunTable variablesTable(const VerificationTally &t)
{
    RunTable table{QStringLiteral("Slots per variable"),
                   {QStringLiteral("Reading key"), QStringLiteral("SensorID"),
                    QStringLiteral("Variable"), QStringLiteral("Readings"), QStringLiteral("Slots"),
                    QStringLiteral("Matching"), QStringLiteral("Missing"), QStringLiteral("Value"),
                    QStringLiteral("Text"), QStringLiteral("Time stamp")},
                   {},
                   {2, 3, 4, 5, 6, 7, 8, 9}};
    for (std::size_t i = 0; i < t.perVariable.size(); ++i) {
        const VariableReadings &r = t.readings.perVariable[i];
        const SlotCounts &c = t.perVariable[i].counts;
        table.rows.push_back({r.readingKey, r.sensorId, QString::number(r.varId),
                              QString::number(r.count), QString::number(c.checked),
                              QString::number(c.matching), QString::number(c.missing),
                              QString::number(c.differentValue), QString::number(c.differentText),
                              QString::number(c.differentTimeStamp)});
    }
    return table;
}

RunTable passedOverTable(const DataTally &r)
{
    RunTable table{QStringLiteral("Passed over"),
                   {QStringLiteral("Reading key"), QStringLiteral("SensorID"),
                    QStringLiteral("Why"), QStringLiteral("Readings"), QStringLiteral("First"),
                    QStringLiteral("Last")},
                   {},
                   {3}};
    for (const PassedOverReadings &p : r.passedOver)
        table.rows.push_back({p.readingKey, p.sensorId, p.reason, QString::number(p.count),
                              p.first ? p.first->toIsoText() : QString(),
                              p.last ? p.last->toIsoText() : QString()});
    return table;
}

RunTable differencesTable(const VerificationTally &t)
{
    RunTable table{QStringLiteral("Differences (the first %1 of each variable)")
                       .arg(VerificationTally::differencesKept),
                   {QStringLiteral("Reading key"), QStringLiteral("Variable"),
                    QStringLiteral("Slot"), QStringLiteral("Differs"), QStringLiteral("Expected"),
                    QStringLiteral("Found")},
                   {},
                   {1}};
    for (std::size_t i = 0; i < t.perVariable.size(); ++i) {
        const VariableReadings &r = t.readings.perVariable[i];
        for (const SlotDifference &d : t.perVariable[i].differences)
            table.rows.push_back({r.readingKey, QString::number(r.varId), d.slot.toIsoText(),
                                  whatDiffers(d), contentText(d.expected),
                                  d.found ? contentText(*d.found) : QStringLiteral("nothing")});
    }
    return table;
}

} // namespace

void addVerification(const VerificationTally &t, RunView &view)
{
    addSummary(t, view);
    view.tables.push_back(variablesTable(t));
    view.tables.push_back(passedOverTable(t.readings));
    view.tables.push_back(differencesTable(t));
}

} // namespace zarn
