#pragma once

#include "app/IniFile.h"

namespace zarn {

class ConnectionManager;
class UserInterface;

// Reads the ZARN server settings and the source connection string from the configuration file
// and hands them to the connection manager's Init. Returns false when the program must end:
// the file could not be read or a number in it is out of range, or the manager refused the
// settings; the message that says so has been shown by then.
bool GetIniInfo(ConnectionManager &manager, UserInterface &ui, const IniFile &ini);

} // namespace zarn
