#pragma once

#include <QString>
#include <array>
#include <utility>

namespace zarn {

// The captions of the nine user-defined fields of a variable, by UDCaps row position, as the
// variable import fills the fields.
inline const std::array<std::pair<QString, QString>, 9> &userDefinedCaptions()
{
    static const std::array<std::pair<QString, QString>, 9> captions = {{
        {QStringLiteral("UD1"), QStringLiteral("SensorType")},
        {QStringLiteral("UD2"), QStringLiteral("HiHi")},
        {QStringLiteral("UD3"), QStringLiteral("Hi")},
        {QStringLiteral("UD4"), QStringLiteral("Lo")},
        {QStringLiteral("UD5"), QStringLiteral("LoLo")},
        {QStringLiteral("UD6"), QStringLiteral("MaxDisplay")},
        {QStringLiteral("UD7"), QStringLiteral("MinDisplay")},
        {QStringLiteral("UD8"), QStringLiteral("DisplayOrder")},
        {QStringLiteral("UD9"), QStringLiteral("DataType")},
    }};
    return captions;
}

} // namespace zarn
