// Hash tables: one service indexing the keys of contexts, the symbol table, map! and hash!
// values, the owners table and internal node-keyed maps.
//
// A table never owns its keys. It indexes a key block, an ordinary cell series that its owner
// keeps in its own order, and each bucket holds only where its key sits in that block: a cell
// index (kinds 0-2) or the byte offset of a record (kinds 3 and 4). The table itself is a
// record in a byte series, and its flags, bucket and key arrays are series too, all named by
// node ids, so the collector moves every part of it like any other series. Buckets follow the
// scheme of runtime/tables/buckets.h (MurmurHash3, 2-bit flags, triangular probing, load 0.77).
//
// Kinds 0-2 hash and compare their keys through a `KeyOps` pair that the code owning those
// keys registers for the table's key class: contexts compare symbol ids, the symbol table
// spellings, hash! and map! values through the datatypes' compare action (integer keys, the
// common map! key, by value and without the calls). Kinds 3 and 4 key records by a raw
// 32-bit key, a node id for the owners table: node ids never change, so these tables never
// need rebuilding after a collection.
//
// Addresses answered (records, key cells) stay good only until the next allocation.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::hashtable {

enum Kind : uint32_t {
  KIND_HASH = 0,     // hash! (duplicate keys in chains): not built yet
  KIND_MAP = 1,      // map!: keys at even positions, each followed by its value
  KIND_WORDS = 2,    // contexts and the symbol table
  KIND_RAW = 3,      // records keyed by a raw 32-bit key
  KIND_OWNERS = 4,   // the owners table: records keyed by node id
};

// Whose hash and equality the keys of kinds 0-2 go through.
enum KeyClass : uint32_t {
  KEYS_VALUES,    // hash! and map!: hash/value and the compare action
  KEYS_CONTEXT,   // context word lists: symbol ids
  KEYS_SYMBOLS,   // the symbol table: spellings
  KEY_CLASS_COUNT,
};

// Compare ops that the tables themselves pass.
constexpr uint32_t kOpEqual = 0;     // equal?: letter case ignored
constexpr uint32_t kOpStrict = 2;    // strict-equal?: what put uses for kinds 1 and 2
// An internal key type that matches a stored key of any type.
constexpr uint8_t kAnyTypeKey = 56;

struct KeyOps {
  // Hash of a key, with letter case folded: keys equal under any op must hash alike. It must
  // not allocate series memory: tables call it while holding addresses of their arrays.
  uint32_t (*hash)(const Cell* key);
  // Whether a stored key equals the sought key under compare op `op`; must not allocate.
  bool (*equal)(const Cell* stored, const Cell* sought, uint32_t op);
  // Set when an integer! key equals exactly the integer! keys of its value under every op: the
  // table then hashes such keys by fmix32 of the value and probes for them without the calls.
  bool plain_integers = false;
};

// Plugs in the key operations of a key class (at start-up, by the owner of those keys).
void set_key_ops(KeyClass keys, const KeyOps* ops);

// The table record: the first eleven fields as the runtime has always laid them out, then the
// key class.
struct Table {
  uint32_t count;          // live keys
  uint32_t record_width;   // kinds 3 and 4: bytes per record, (d + 1) x 16
  NodeId chains;           // kind 0
  NodeId flags;            // two bits per bucket
  NodeId buckets;          // one 32-bit key position per bucket
  NodeId keys;             // the key block
  uint32_t used;           // buckets in use or deleted
  uint32_t size;           // bucket count n, a power of two, at least 4
  uint32_t upper;          // used may reach this before the table grows
  uint32_t kind;
  uint32_t stamp;          // node-keyed rebuild stamp: always 0, node ids never move
  uint32_t key_class;
  uint32_t removed;        // kind 1: removed pairs whose keys are still indexed
  uint32_t reusable;       // kind 1: position + 1 of the first pair on the reuse chain, or 0
};
static_assert(sizeof(Table) == 14 * sizeof(uint32_t));

// The record of a table (good until the next allocation).
Table* record(NodeId table);

// A table for `size` keys. Kinds 3 and 4 get a new key block of records of a key cell and
// `cells_per_record` further cells. Otherwise `key_block` (a series value, or nullptr for a
// new block of `size` cells) becomes the key block, and its keys from its head on are put
// (every second cell for a map).
NodeId make(uint32_t size, const Cell* key_block, Kind kind, uint32_t cells_per_record,
            KeyClass keys = KEYS_VALUES);

// ---- kinds 1 and 2: keys are cells of the key block ----

// Indexes the key at cell `position` of the key block, growing first when the load bound is
// reached. When an equal key (strict op) is already indexed, nothing is added and its
// position is answered; otherwise `position`.
uint32_t put(NodeId table, uint32_t position);
// Where a lookup ended: the position of the key found, or -1 with the bucket that the key
// would take, so that a store after a miss need not probe again.
struct Lookup {
  int32_t position;
  uint32_t bucket;
};
// Looks for the first stored key equal to `key` under `op`. A map looks word keys up as
// set-words; a key of type kAnyTypeKey matches stored keys of any type.
Lookup seek(NodeId table, const Cell* key, uint32_t op);
// The position that seek answers.
int32_t find(NodeId table, const Cell* key, uint32_t op);
// Indexes the key just stored at cell `position`, which `missed` (a seek with nothing put or
// grown since) did not find: into the bucket that seek answered, or through put, growing
// first, when the load bound is reached. Equal to put, whose strict probe would end at that
// same bucket.
void put_missed(NodeId table, const Lookup& missed, uint32_t position);
// The key cell at `position` of the key block (good until the next allocation).
Cell* key_at(NodeId table, uint32_t position);
// Map: marks the pair at `position` removed (its value cell's header 0); its bucket stays in
// use, so the key is still found and the map revives the pair by storing a value again.
void delete_key(NodeId table, uint32_t position);
// Map: the value of the pair at `position` is stored again; a removed pair is revived.
void revive_key(NodeId table, uint32_t position);
// Map: the position of a pair whose cells a new key may take, or -1 (the key then goes to the
// tail). Once removed pairs outnumber live ones, their keys leave the index and their cells
// are reused, so a map that churns keys stays the size of its live pairs; a pair removed
// since then is still revived in place.
int32_t reusable_pair(NodeId table);
// Rehashes at the bucket count that `request` rounds up to (at least 4); nothing when the
// live keys would not fit under the new bound.
void resize_in_place(NodeId table, uint32_t request);

// Walks the probe sequence of a hash over the in-use buckets, for lookups that compare keys
// their own way (the symbol table's exact then caseless passes).
class Cursor {
 public:
  Cursor(NodeId table, uint32_t hash);
  // The key position of the next in-use bucket, or -1 once the probe meets an empty bucket
  // or comes back to its start.
  int32_t next();
  // The first empty bucket met so far, or -1.
  int64_t first_empty() const { return first_empty_; }

 private:
  NodeId table_;
  uint32_t first_;
  uint32_t bucket_;
  uint32_t step_ = 0;
  bool done_ = false;
  int64_t first_empty_ = -1;
};
// Stores key `position` into an empty `bucket` (one found by a Cursor, with no growth since).
void insert_at(NodeId table, uint32_t bucket, uint32_t position);

// ---- kinds 3 and 4: records keyed by a 32-bit key ----

// The data cells of the key's record, appending a new record (cells unset) when it has none.
Cell* put_node_key(NodeId table, uint32_t key);
Cell* find_node_key(NodeId table, uint32_t key);
// Removes the key's record; answers its data cells (still readable until the next
// allocation), or nullptr when the key has none.
Cell* delete_node_key(NodeId table, uint32_t key);
// Removes every record whose data cells `keep` refuses (the owners table's sweep).
void sweep(NodeId table, bool (*keep)(uint32_t key, const Cell* data));

// ---- every kind ----

// Empties the table and its key block.
void clear(NodeId table);
// A copy of the table indexing `key_block`, a block laid out like the source's.
NodeId copy(NodeId source, NodeId key_block);
// The collector's step for a table: marks the record, the flags and bucket arrays and the key
// block, with the key block's cells for kinds 0-2. Records of kinds 3 and 4 are left unmarked:
// their keys are raw numbers, or (the owners table) held weakly.
void mark(NodeId table);
// Calls `visit(node)` for each series that makes up the table itself: the record, the flags
// and bucket arrays and the key block (whose cells the caller walks as it needs).
template <class Visit>
void for_each_part(NodeId table, Visit&& visit) {
  Table t = *record(table);
  visit(table);
  visit(t.flags);
  visit(t.buckets);
  visit(t.keys);
}

}  // namespace xol::hashtable
