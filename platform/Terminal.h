#pragma once

#include <cstdio>

namespace zarn {

// True when the stream is attached to a terminal (a console), false for a file or a pipe.
bool isTerminal(std::FILE *stream);

} // namespace zarn
