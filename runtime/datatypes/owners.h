// The owners table: which object owns a series, and through which of its fields.
//
// An object with an on-deep-change* hook must hear about every modification of the series held
// in its fields, however deeply nested. Making it an owner walks its fields and records each
// series found (block-like containers deeply, strings, binaries, vectors, images and bitsets as
// leaves, nested objects through their own fields) under the series' node, with the owner and
// the outermost field word. Series actions call `check` before and after each change; when the
// series has an owner with hooks, the owner's on-deep-change* runs.
//
// The table holds its entries weakly: a record keeps neither its series nor its owner alive.
// After each marking, records whose series or owner is not marked are dropped and the series'
// owned flag cleared, so a series whose owner died can be owned again.
//
// Owned flags: FLAG_OWNED on a series buffer (an image's bitmap record included, so every
// reference to its pixels sees it); context::kOwnerWalkedFlag on an owner's context cell once its
// fields were walked, so that a nested owner is not walked again.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace xol::ownership {

constexpr int32_t kInitialRecords = 1000;

// Makes the table and registers it with the collector (weakly).
void init();

// Forgets every record and leaves the collector's roots (runtime shutdown).
void release();

// Records `value` (and what it holds) as owned by `owner` through `word`. A series already
// owned keeps its first owner and word, but a container is walked all the same.
void set_deep(Cell* value, const Cell* owner, const Cell* word);
// set_deep, then marks the owner's context as walked.
void set_deep_flag(Cell* value, const Cell* owner, const Cell* word);
// Removes the ownership of `value` and, for containers that were recorded, of what they hold.
void unbind(Cell* value);

// The owner cell recorded for a node, or null; valid until the next allocation.
Cell* find(NodeId node);
// Notifies the owner of `value` of a change: runs its on-deep-change* with (owner, field word,
// value, action word, new value or none, index, part). Answers true when a hook ran.
bool check(const Cell* value, const Cell* action, const Cell* new_value, int32_t index,
           int32_t part);

// Number of records in use.
uint32_t size();

}  // namespace xol::ownership
