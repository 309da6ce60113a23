#pragma once

#include "platform/dal/Connection.h"
#include "platform/dal/Types.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace zarn::dal {

class Recordset;

// One column of the record set's current row.
class Field
{
public:
    const QString &Name() const { return m_name; }
    // The value on the current row; throws when there is no current row.
    const zarn::Value &Value() const;
    // Assigns the value on the current row (updatable record sets; stored at Update).
    void SetValue(const zarn::Value &value);

private:
    friend class Recordset;
    Field(Recordset &owner, QString name, int index)
        : m_owner(&owner), m_name(std::move(name)), m_index(index)
    {}
    Recordset *m_owner;
    QString m_name;
    int m_index;
};

// A record set on a query text or a table name.
//
// Static (adOpenStatic): client-side, every row fetched at Open, so RecordCount is exact and
// BOF, EOF, MoveFirst, MoveLast and MoveNext work. Opened on a table (adCmdTable) or on a
// single-table SELECT with an updatable lock type, it supports AddNew/Update (the row as the
// database stored it, with its assigned key and defaults, is current right after Update),
// Update of the current row, Delete of the current row (RecordCount falls) and Resync.
//
// Forward-only (adOpenForwardOnly): read-only and streamed; its rows are read in a read
// snapshot of the connection, RecordCount is the exact count of that snapshot, and only
// MoveNext moves.
class Recordset
{
public:
    Recordset();
    ~Recordset();
    Recordset(Recordset &&) noexcept;
    Recordset &operator=(Recordset &&) noexcept;

    // Throws DatabaseError. Query texts use "?" for the positional parameters.
    void Open(const QString &source, Connection &connection, CursorTypeEnum cursorType,
              LockTypeEnum lockType, int options, const std::vector<Value> &params = {});
    // Closes; does nothing when not open.
    void Close();
    bool isOpen() const;

    // The members below throw zarn::Error when the record set is not open.
    bool Bof() const;
    bool Eof() const;
    long RecordCount() const;
    void MoveFirst();
    void MoveLast();
    void MoveNext();

    int FieldCount() const;
    // By name without regard to case, or by index from 0; throws for a missing field.
    Field &Fields(const QString &name);
    Field &Fields(int index);

    void AddNew();
    void Update();
    void Delete(AffectEnum affect = adAffectCurrent);
    void Resync(AffectEnum affect = adAffectCurrent, ResyncEnum values = adResyncAllValues);

private:
    friend class Field;
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zarn::dal
