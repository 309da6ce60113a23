#include "import/VariableRule.h"

namespace zarn {

dal::Recordset openVariablesOf(dal::Connection &facility, std::int16_t locId,
                               std::int16_t sensorType, dal::LockTypeEnum lockType)
{
    dal::Recordset rs;
    rs.Open(QStringLiteral("SELECT AuditUser, AuditTimeStamp,VARNUM,ud1,ud2, ud3, ud4, ud5,ud6,ud7,"
                           "ud8,ud9, vartype, name, locid, units, allowsymbol,BARCODE,CASCADERULE,"
                           "CHKROLLOVER,DECPLACES,SYMBOLRULE1,SYMBOLRULE2,SYMBOLRULE3,SYMBOLRULE4,"
                           "SYMBOLRULE5,SYMBOLRULE6,SYMBOLRULE7,SYMBOLRULE8,SYMBOLRULE9,"
                           "SYMBOLRULE10,SHORTNAME , PRIOPERATOR, PRIOPPRT, SECOPERATOR, SECOPPRT,"
                           "DESCRIPTION FROM VARDESC WHERE LOCID=? AND UD1=?"),
            facility, dal::adOpenStatic, lockType, dal::adCmdText,
            {Value(locId), Value(sensorType)});
    return rs;
}

bool variableExists(dal::Connection &facility, std::int16_t locId, std::int16_t sensorType)
{
    return openVariablesOf(facility, locId, sensorType, dal::adLockReadOnly).RecordCount() > 0;
}

} // namespace zarn
