#pragma once

#include "platform/Value.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace zarn {

// The program's keyed collection: non-empty text keys to values, a chained hash table whose
// entries live in one growable slot array linked by index, with a chain of free slots, so that
// adding and removing entries allocates nothing until the slot array must grow.
// Errors are zarn::Error: 1001 "Invalid key" for an empty key, 1001 "The Hash Table isn't
// empty" when IgnoreCase changes on a filled table, 457 for a key added twice, 5 for removing
// an absent key.
class HashTable
{
public:
    HashTable(); // SetSize(1024, 2048, 1024), IgnoreCase off

    bool IgnoreCase() const { return m_ignoreCase; }
    void setIgnoreCase(bool on);

    void SetSize(std::int32_t HashSize, std::int32_t ListSize = 0, std::int32_t ChunkSize = 0);
    bool Exists(const QString &key) const;
    void Add(const QString &key, const Value &value);
    // The value of the key, or Empty when it is absent.
    Value item(const QString &key) const;
    // Replaces the value of the key, adding the key when it is absent.
    void setItem(const QString &key, const Value &value);
    void Remove(const QString &key);
    void RemoveAll();
    std::int32_t Count() const { return m_count; }
    // Bucket by bucket from 0 up, each chain from head to end.
    std::vector<Value> Keys() const;
    std::vector<Value> Values() const;

    // The hash of a key: its single-byte code-page bytes, zero-padded to groups of four, each
    // group read little-endian, all XORed together.
    static std::int32_t KeyHash(const QString &key);

private:
    // Lets the tests see where entries are stored.
    friend struct HashTableInspector;

    struct Slot
    {
        QString key;
        Value value;
        std::int32_t next = 0;
    };

    // The slot of the key, or 0; with create set, an absent key gets a new slot and create stays
    // true, otherwise create becomes false. bucket and prev (the slot before the match in its
    // chain, 0 at the head) describe where the key stands.
    std::int32_t FindSlot(const QString &key, bool &create, std::int32_t &bucket,
                          std::int32_t &prev);
    // The look-up half of FindSlot, for the members that never create.
    std::int32_t LocateSlot(const QString &key, std::int32_t &bucket, std::int32_t &prev) const;
    QString storedKey(const QString &key) const;
    std::int32_t TakeFreeSlot();
    void LinkSlot(std::int32_t idx, const QString &key, std::int32_t bucket, std::int32_t prev);
    void GrowSlots(std::int32_t n);
    std::int32_t bucketOf(const QString &key) const;

    std::vector<std::int32_t> m_buckets;
    std::vector<Slot> m_slots;
    std::int32_t m_freeHead = 0;
    std::int32_t m_hashSize = 0;
    std::int32_t m_listSize = 0;
    std::int32_t m_chunkSize = 0;
    std::int32_t m_count = 0;
    bool m_ignoreCase = false;
};

} // namespace zarn
