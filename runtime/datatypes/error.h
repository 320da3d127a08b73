// error!: language errors as objects shaped like system/standard/error, and their printed form.
//
// An error's category and id name an entry of the error catalogue. The catalogue is data of
// the standard environment (library/errors.xol, loaded as system/catalog/errors); the runtime
// reads the same data from a table generated from that file, so that errors have codes and
// messages from the first raise on, before any library code has run. A category's index is
// its position in catalogue order; an id's position counts `code` as 0 and `type` as 1, so a
// category's first id is at 2; an error's code is category x 100 + position - 2.
//
// Until the library provides system/standard/error, errors are made from a prototype of the
// same ten fields built here.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error_raise.h"

namespace xol::error {

// ---- the catalogue ----

// One element of a message: text, or (arg 1-3) the value of that argument field.
struct MessagePart {
  int8_t arg;
  const char* text;
};
struct CatalogueId {
  const char* id;
  bool block;                 // the message is a block (else a single string)
  const MessagePart* parts;
  uint8_t count;
};
struct CatalogueCategory {
  const char* name;
  const char* title;          // "Script Error"
  const CatalogueId* ids;
  int32_t count;
};

constexpr int32_t kCategoryCount = 10;
constexpr int32_t kFirstIdPosition = 2;
constexpr int32_t kCodesPerCategory = 100;

const CatalogueCategory& category(int32_t index);
// The code of a (category, id) pair, or -1 when the id is not in the category.
int32_t code_of(Category category, const char* id);

// ---- error values ----

enum Field : int32_t {
  FIELD_CODE, FIELD_TYPE, FIELD_ID, FIELD_ARG1, FIELD_ARG2, FIELD_ARG3, FIELD_NEAR,
  FIELD_WHERE, FIELD_STACK, FIELD_FILES, kFieldCount
};

Cell* field(const Cell* error, Field which);

// An error of the category and id words with up to three arguments (null: left none).
void make_with_args(const Cell* category_word, const Cell* id_word, const Cell* arg1,
                    const Cell* arg2, const Cell* arg3, Cell* result);

// The value that the last raise built, kept where the collector sees it; unset when that raise
// happened before the value layer existed.
const Cell& last_raised();
// Builds the error! value of a raise into raised.error (called by `raise`).
void build_raised(Raised& raised);

// ---- actions ----
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result);

// Registers error! (id 34, parent object!).
void init();

}  // namespace xol::error
