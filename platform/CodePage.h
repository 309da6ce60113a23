#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace zarn {

// Windows-1252, the workstation's single-byte code page: Latin-1 with printable characters
// (€, –, “ and the like) in 0x80..0x9F.

// The byte of one UTF-16 unit; '?' for a character the code page lacks, as the system's own
// conversion gives.
std::uint8_t toWindows1252(char16_t c);

// The text that bytes in the code page stand for. The five bytes the code page leaves unused
// keep their Latin-1 control characters, so nothing is lost.
QString fromWindows1252(const QByteArray &bytes);

} // namespace zarn
