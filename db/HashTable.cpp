#include "db/HashTable.h"

#include "platform/CodePage.h"
#include "platform/Error.h"

namespace zarn {

namespace {

constexpr long invalidKeyNumber = 1001;

Error invalidKey()
{
    return Error(invalidKeyNumber, QStringLiteral("Invalid key"));
}

Error tableNotEmpty()
{
    return Error(invalidKeyNumber, QStringLiteral("The Hash Table isn't empty"));
}

Error keyAlreadyExists()
{
    return Error(
        errc::KeyAlreadyExists,
        QStringLiteral("This key is already associated with an element of this collection"));
}

} // namespace

HashTable::HashTable()
{
    SetSize(1024, 2048, 1024);
}

void HashTable::setIgnoreCase(bool on)
{
    if (m_count != 0)
        throw tableNotEmpty();
    m_ignoreCase = on;
}

void HashTable::SetSize(std::int32_t HashSize, std::int32_t ListSize, std::int32_t ChunkSize)
{
    // Without a bucket there is nowhere to hash to; refuse instead of dividing by zero.
    if (HashSize < 1)
        throw invalidProcedureCall();
    m_hashSize = HashSize;
    if (ListSize > 0)
        m_listSize = ListSize;
    if (ChunkSize > 0)
        m_chunkSize = ChunkSize;
    m_count = 0;
    m_freeHead = 0;
    m_buckets.assign(static_cast<std::size_t>(m_hashSize), 0);
    m_slots.assign(1, Slot{});
    GrowSlots(m_listSize);
}

bool HashTable::Exists(const QString &key) const
{
    std::int32_t bucket = 0;
    std::int32_t prev = 0;
    return LocateSlot(key, bucket, prev) != 0;
}

void HashTable::Add(const QString &key, const Value &value)
{
    bool create = true;
    std::int32_t bucket = 0;
    std::int32_t prev = 0;
    const std::int32_t idx = FindSlot(key, create, bucket, prev);
    if (!create)
        throw keyAlreadyExists();
    m_slots[static_cast<std::size_t>(idx)].value = value;
}

Value HashTable::item(const QString &key) const
{
    std::int32_t bucket = 0;
    std::int32_t prev = 0;
    const std::int32_t idx = LocateSlot(key, bucket, prev);
    return idx == 0 ? Value() : m_slots[static_cast<std::size_t>(idx)].value;
}

void HashTable::setItem(const QString &key, const Value &value)
{
    bool create = true;
    std::int32_t bucket = 0;
    std::int32_t prev = 0;
    const std::int32_t idx = FindSlot(key, create, bucket, prev);
    m_slots[static_cast<std::size_t>(idx)].value = value;
}

void HashTable::Remove(const QString &key)
{
    std::int32_t bucket = 0;
    std::int32_t prev = 0;
    const std::int32_t idx = LocateSlot(key, bucket, prev);
    if (idx == 0)
        throw invalidProcedureCall();
    Slot &slot = m_slots[static_cast<std::size_t>(idx)];
    if (prev != 0)
        m_slots[static_cast<std::size_t>(prev)].next = slot.next;
    else
        m_buckets[static_cast<std::size_t>(bucket)] = slot.next;
    // The freed slot gives up its key and value now, not when it is next used.
    slot = Slot{QString(), Value(), m_freeHead};
    m_freeHead = idx;
    --m_count;
}

void HashTable::RemoveAll()
{
    SetSize(m_hashSize, m_listSize, m_chunkSize);
}

std::vector<Value> HashTable::Keys() const
{
    std::vector<Value> keys;
    keys.reserve(static_cast<std::size_t>(m_count));
    for (const std::int32_t head : m_buckets) {
        for (std::int32_t idx = head; idx != 0; idx = m_slots[static_cast<std::size_t>(idx)].next)
            keys.emplace_back(m_slots[static_cast<std::size_t>(idx)].key);
    }
    return keys;
}

std::vector<Value> HashTable::Values() const
{
    std::vector<Value> values;
    values.reserve(static_cast<std::size_t>(m_count));
    for (const std::int32_t head : m_buckets) {
        for (std::int32_t idx = head; idx != 0; idx = m_slots[static_cast<std::size_t>(idx)].next)
            values.push_back(m_slots[static_cast<std::size_t>(idx)].value);
    }
    return values;
}

std::int32_t HashTable::KeyHash(const QString &key)
{
    std::uint32_t hash = 0;
    for (qsizetype i = 0; i < key.size(); ++i) {
        const std::uint32_t byte = toWindows1252(key.at(i).unicode());
        hash ^= byte << (8 * (i % 4));
    }
    return static_cast<std::int32_t>(hash);
}

std::int32_t HashTable::FindSlot(const QString &key, bool &create, std::int32_t &bucket,
                                 std::int32_t &prev)
{
    std::int32_t idx = LocateSlot(key, bucket, prev);
    if (create && idx == 0) {
        idx = TakeFreeSlot();
        LinkSlot(idx, key, bucket, prev);
        return idx;
    }
    create = false;
    return idx;
}

std::int32_t HashTable::LocateSlot(const QString &key, std::int32_t &bucket,
                                   std::int32_t &prev) const
{
    if (key.isEmpty())
        throw invalidKey();
    const QString wanted = storedKey(key);
    bucket = bucketOf(wanted);
    std::int32_t idx = m_buckets[static_cast<std::size_t>(bucket)];
    while (idx != 0 && m_slots[static_cast<std::size_t>(idx)].key != wanted) {
        prev = idx;
        idx = m_slots[static_cast<std::size_t>(idx)].next;
    }
    return idx;
}

QString HashTable::storedKey(const QString &key) const
{
    return m_ignoreCase ? key.toUpper() : key;
}

std::int32_t HashTable::TakeFreeSlot()
{
    if (m_freeHead == 0)
        GrowSlots(m_chunkSize);
    const std::int32_t idx = m_freeHead;
    Slot &slot = m_slots[static_cast<std::size_t>(idx)];
    m_freeHead = slot.next;
    slot.next = 0;
    ++m_count;
    return idx;
}

void HashTable::LinkSlot(std::int32_t idx, const QString &key, std::int32_t bucket,
                         std::int32_t prev)
{
    m_slots[static_cast<std::size_t>(idx)].key = storedKey(key);
    if (prev != 0)
        m_slots[static_cast<std::size_t>(prev)].next = idx;
    else
        m_buckets[static_cast<std::size_t>(bucket)] = idx;
}

void HashTable::GrowSlots(std::int32_t n)
{
    const auto first = static_cast<std::int32_t>(m_slots.size());
    m_slots.resize(m_slots.size() + static_cast<std::size_t>(n));
    for (std::int32_t idx = first; idx < first + n - 1; ++idx)
        m_slots[static_cast<std::size_t>(idx)].next = idx + 1;
    m_slots.back().next = m_freeHead;
    m_freeHead = first;
}

std::int32_t HashTable::bucketOf(const QString &key) const
{
    // A hash with its top bit set is negative; the bucket must still be in range.
    const std::int32_t remainder = KeyHash(key) % m_hashSize;
    return remainder < 0 ? remainder + m_hashSize : remainder;
}

} // namespace zarn
