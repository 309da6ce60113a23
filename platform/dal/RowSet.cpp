#include "platform/dal/RowSet.h"

namespace zarn::dal {

Error closedError()
{
    return Error(3704, QStringLiteral("Operation is not allowed when the object is closed."));
}

Error openError()
{
    return Error(3705, QStringLiteral("Operation is not allowed when the object is open."));
}

Error noCurrentRecord()
{
    return Error(3021, QStringLiteral("Either BOF or EOF is True, or the current record has been "
                                      "deleted. Requested operation requires a current record."));
}

Error notUpdatable()
{
    return Error(3251, QStringLiteral("Current Recordset does not support updating. This may be a "
                                      "limitation of the provider, or of the selected locktype."));
}

Error notAllowedHere()
{
    return Error(3219, QStringLiteral("Operation is not allowed in this context."));
}

Error noSuchField()
{
    return Error(3265, QStringLiteral("Item cannot be found in the collection corresponding to the "
                                      "requested name or ordinal."));
}

DatabaseError noBaseTable()
{
    return DatabaseError(QStringLiteral("Insufficient base table information for updating or "
                                        "refreshing: the record set does not read a single "
                                        "table."));
}

QStringList columnNamesOf(const Statement &statement)
{
    QStringList names;
    for (int column = 0; column < statement.columnCount(); ++column)
        names.append(statement.columnName(column));
    return names;
}

Row currentRowOf(const Statement &statement)
{
    Row row;
    row.reserve(static_cast<std::size_t>(statement.columnCount()));
    for (int column = 0; column < statement.columnCount(); ++column)
        row.push_back(statement.columnValue(column));
    return row;
}

int indexOfName(const QStringList &names, const QString &name)
{
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

} // namespace zarn::dal
