#include "platform/dal/Recordset.h"

#include "platform/Error.h"
#include "platform/dal/RowSet.h"
#include "platform/dal/SqlText.h"
#include "platform/dal/StaticRowSet.h"
#include "platform/dal/StreamedRowSet.h"
#include "platform/dal/TableWriter.h"

#include <deque>
#include <optional>

namespace zarn::dal {

struct Recordset::Impl
{
    std::unique_ptr<RowSet> rows;
    std::deque<Field> fields;
};

namespace {

// The rows of an open record set; a closed or moved-from one has none.
template <class ImplPointer> RowSet &openRows(const ImplPointer &d)
{
    if (!d || !d->rows)
        throw closedError();
    return *d->rows;
}

} // namespace

Recordset::Recordset() : d(std::make_unique<Impl>()) {}

Recordset::~Recordset()
{
    try {
        Close();
    } catch (const std::exception &) {
        // Released without a clean close, as after an error: the server ends what is left.
    }
}

Recordset::Recordset(Recordset &&other) noexcept : d(std::move(other.d))
{
    if (d) {
        for (Field &field : d->fields)
            field.m_owner = this;
    }
}

Recordset &Recordset::operator=(Recordset &&other) noexcept
{
    if (this == &other)
        return *this;
    try {
        Close();
    } catch (const std::exception &) {
        // As in the destructor.
    }
    d = std::move(other.d);
    if (d) {
        for (Field &field : d->fields)
            field.m_owner = this;
    }
    return *this;
}

void Recordset::Open(const QString &source, Connection &connection, CursorTypeEnum cursorType,
                     LockTypeEnum lockType, int options, const std::vector<Value> &params)
{
    if (isOpen())
        throw openError();
    if (!d)
        d = std::make_unique<Impl>();
    const bool onTable = options != adOptionUnspecified && (options & adCmdTable) != 0;
    std::optional<TableRef> table;
    QString sql = source;
    if (onTable) {
        table = TableRef{connection.quoteIdentifier(source), source};
        sql = QStringLiteral("SELECT * FROM ") + table->sql;
    } else {
        const SqlDialect &dialect = connection.provider().sqlDialect();
        if (const std::optional<QString> name = sqltext::singleTableOf(source, dialect))
            table = TableRef{*name, sqltext::unquotedName(*name, dialect)};
    }
    if (cursorType == adOpenForwardOnly)
        d->rows = openStreamedRows(connection, sql, params);
    else
        d->rows =
            openStaticRows(connection, sql, params, lockType == adLockReadOnly, std::move(table));
    d->fields.clear();
    const QStringList &names = d->rows->columnNames();
    for (int i = 0; i < names.size(); ++i)
        d->fields.push_back(Field(*this, names[i], i));
}

void Recordset::Close()
{
    if (!isOpen())
        return;
    std::unique_ptr<RowSet> rows = std::move(d->rows);
    rows->close();
}

bool Recordset::isOpen() const
{
    return d && d->rows;
}

bool Recordset::Bof() const
{
    return openRows(d).bof();
}

bool Recordset::Eof() const
{
    return openRows(d).eof();
}

long Recordset::RecordCount() const
{
    return openRows(d).recordCount();
}

void Recordset::MoveFirst()
{
    openRows(d).moveFirst();
}

void Recordset::MoveLast()
{
    openRows(d).moveLast();
}

void Recordset::MoveNext()
{
    openRows(d).moveNext();
}

int Recordset::FieldCount() const
{
    openRows(d);
    return static_cast<int>(d->fields.size());
}

Field &Recordset::Fields(const QString &name)
{
    openRows(d);
    for (Field &field : d->fields) {
        if (field.Name().compare(name, Qt::CaseInsensitive) == 0)
            return field;
    }
    throw noSuchField();
}

Field &Recordset::Fields(int index)
{
    if (index < 0 || index >= FieldCount())
        throw noSuchField();
    return d->fields[static_cast<std::size_t>(index)];
}

void Recordset::AddNew()
{
    openRows(d).addNew();
}

void Recordset::Update()
{
    openRows(d).update();
}

void Recordset::Delete(AffectEnum)
{
    openRows(d).remove();
}

void Recordset::Resync(AffectEnum, ResyncEnum)
{
    openRows(d).resync();
}

const zarn::Value &Field::Value() const
{
    return openRows(m_owner->d).value(m_index);
}

void Field::SetValue(const zarn::Value &value)
{
    openRows(m_owner->d).setValue(m_index, value);
}

} // namespace zarn::dal
