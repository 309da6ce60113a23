#pragma once

#include "platform/Value.h"

#include <QString>

namespace zarn {

// The reading key of a sensor or a reading: sensor type, "_" and train number as the source
// gives them; a Null adds nothing.
inline QString readingKey(const Value &sensorType, const Value &trainNumber)
{
    return sensorType.toTextOrEmpty() + QLatin1Char('_') + trainNumber.toTextOrEmpty();
}

// A source value as the operator would recognise it in the source table.
inline QString asRead(const Value &v)
{
    if (v.isNull())
        return QStringLiteral("Null");
    if (v.kind() == Value::Kind::DateTime)
        return v.toDateTime().toIsoText();
    return v.toTextOrEmpty();
}

} // namespace zarn
