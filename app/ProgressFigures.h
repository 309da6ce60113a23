#pragma once

#include <QString>
#include <cstdint>

namespace zarn {

// A data import's progress as the batch mode's bar and the window's status line show it: the
// readings done out of the total, the rate in readings a second after the given seconds and the
// time left at that rate ("1152/2304 readings  576 readings/s  0:02 left"), with dashes for
// the rate and the time until a reading is done. Empty while the total is unknown.
QString progressFigures(std::int64_t done, std::int64_t total, double elapsedSeconds);

} // namespace zarn
