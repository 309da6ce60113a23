#pragma once

#include "platform/Error.h"
#include "platform/Value.h"
#include "platform/dal/Provider.h"

#include <QString>
#include <QStringList>
#include <vector>

// What the record set's kinds of rows share: the interface behind an open record set, and the
// errors that its operations raise.
namespace zarn::dal {

using Row = std::vector<Value>;

Error closedError();
Error openError();
Error noCurrentRecord();
Error notUpdatable();
Error notAllowedHere();
Error noSuchField();
DatabaseError noBaseTable();

QStringList columnNamesOf(const Statement &statement);
Row currentRowOf(const Statement &statement);
// The index of the name without regard to case; -1 where there is none.
int indexOfName(const QStringList &names, const QString &name);

// The rows behind an open record set.
class RowSet
{
public:
    virtual ~RowSet() = default;

    virtual const QStringList &columnNames() const = 0;
    virtual bool bof() const = 0;
    virtual bool eof() const = 0;
    virtual long recordCount() const = 0;
    virtual void moveFirst() = 0;
    virtual void moveLast() = 0;
    virtual void moveNext() = 0;
    virtual const Value &value(int column) const = 0;
    virtual void close() = 0;

    virtual void setValue(int, const Value &) { throw notUpdatable(); }
    virtual void addNew() { throw notUpdatable(); }
    virtual void update() { throw notUpdatable(); }
    virtual void remove() { throw notUpdatable(); }
    virtual void resync() { throw noBaseTable(); }
};

} // namespace zarn::dal
