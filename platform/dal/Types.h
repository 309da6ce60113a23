#pragma once

#include "platform/Value.h"

#include <QString>

namespace zarn::dal {

// The constants of the database access layer, with the numbers the system's callers use.
enum CursorLocationEnum { adUseServer = 2, adUseClient = 3 };
enum CursorTypeEnum { adOpenForwardOnly = 0, adOpenStatic = 3 };
enum LockTypeEnum { adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3 };
enum CommandTypeEnum { adCmdText = 1, adCmdStoredProc = 4, adCmdTable = 512 };
enum ExecuteOptionEnum { adOptionUnspecified = -1 };
enum AffectEnum { adAffectCurrent = 1 };
enum ResyncEnum { adResyncAllValues = 2 };
enum DataTypeEnum {
    adSmallInt = 2,
    adInteger = 3,
    adDouble = 5,
    adDate = 7,
    adBoolean = 11,
    adVarChar = 200,
    adVarWChar = 202
};
enum ParameterDirectionEnum { adParamInput = 1, adParamOutput = 2 };

// One parameter of a command: declared by name, type, direction and size; sent by position.
struct Parameter
{
    QString name;
    DataTypeEnum type = adVarWChar;
    ParameterDirectionEnum direction = adParamInput;
    int size = 0;
    Value value;
};

} // namespace zarn::dal
