#pragma once

// Parameter arrays in the server's binary format, for the batched procedure calls.

#include "platform/Value.h"
#include "platform/dal/postgresql/PgSession.h"

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace zarn::dal::pg {

// The element types that a batch can send, by their built-in type identifiers.
enum class ElementKind { Bool, Int2, Int4, Int8, Float8, Text, Date, Timestamp };

// The kind for a parameter's declared type; nothing for a type that batches do not send.
std::optional<ElementKind> elementKind(Oid type);

// Microseconds since 2000-01-01 00:00 of a naive time stamp, from its calendar fields (the
// millisecond as DateTime::parts rounds it): the binary form of "timestamp without time zone".
std::int64_t timestampMicroseconds(DateTime value);
// Days since 2000-01-01 of the date-time's date: the binary form of "date".
std::int32_t dateDays(DateTime value);

// One parameter array of a batch: one element per call, in call order.
class BinaryArray
{
public:
    BinaryArray(Oid elementType, ElementKind kind) : m_type(elementType), m_kind(kind) {}

    // True when the value is sent exactly as the server would read its text form; the array
    // is unchanged otherwise.
    bool canAdd(const Value &value) const;
    // Appends the value, which canAdd accepted.
    void add(const Value &value);
    int size() const { return m_count; }
    // The array in the binary format (one dimension, lower bound 1); then empty again.
    QByteArray take();

private:
    Oid m_type;
    ElementKind m_kind;
    QByteArray m_elements;
    int m_count = 0;
    bool m_hasNull = false;
};

} // namespace zarn::dal::pg
