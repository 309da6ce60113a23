#pragma once

#include "app/BatchMode.h"
#include "app/ImportRun.h"

#include <QString>
#include <QTextStream>
#include <optional>

namespace zarn {

class UserInterface;
class Workspace;

// The batch mode's verification of a data import (--verify, --import-and-verify).

// What is wrong with the verification options of an import call, if anything.
std::optional<QString> checkVerify(const BatchOptions &options);

// Reads back what the data import of the choices writes and prints what was found to out, as a
// table or one JSON document, and to the report when asked. Returns the exit status: success
// when every slot matches, differences when one is missing or differs, a failure when a check
// refused the choices or the verification could not read everything.
int runVerifyCall(const BatchOptions &options, Workspace &workspace, UserInterface &ui,
                  const ImportChoices &choices, QTextStream &out, QTextStream &err);

// Runs the import of the choices and, when it succeeded, its verification, printed to out as a
// table; the report, when asked, holds both. Returns the import's exit status when it failed,
// the verification's otherwise.
int runImportAndVerify(const BatchOptions &options, Workspace &workspace, UserInterface &ui,
                       const ImportChoices &choices, QTextStream &out, QTextStream &err);

} // namespace zarn
