// email!: an address written as it is (as a construction when that would not read back), with
// the path fields `user` (the text before the first "@") and `host` (the text after it).
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/error_raise.h"

namespace xol::email {

namespace {

enum Field : int32_t { FIELD_NONE, FIELD_USER, FIELD_HOST };
constexpr const char* kFields[] = {"user", "host"};

// mold: the text as it is, or the construction #(email! "text") when that would not read back.
int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* argument,
             int32_t part, int32_t) {
  if (!text_construct::reads_back(value, text_construct::utf8_of(value)))
    return text_construct::mold(value, buffer, all, argument, part);
  return string::form(value, buffer, argument, part);
}

// The `user` and `host` fields (and integer indexes, as for any string).
void eval_path(const PathStep& step, Cell* result) {
  const Cell* element = step.element;
  if (element->is(TYPE_INTEGER)) return string::eval_path(step, result);
  int32_t field = element->is(TYPE_WORD) ? number::word_index(element, kFields, 2) : FIELD_NONE;
  if (field == FIELD_NONE) error::raise(error::CAT_SCRIPT, "invalid-path", step.path, element);

  Cell address = *step.parent;
  uint32_t head = string::clamp_head(&address);
  uint32_t length = string::length(&address);
  int32_t at = string::find_char(&address, '@');
  uint32_t user_length = at < 0 ? length : uint32_t(at);
  // The host starts after the "@"; without one it is empty, at the tail.
  uint32_t host_start = at < 0 ? length : user_length + 1;
  uint32_t start = field == FIELD_USER ? 0 : host_start;
  uint32_t count = field == FIELD_USER ? user_length : length - host_start;

  if (!step.value) {
    Cell part = address;
    part.data1 = head + start;
    Cell made;
    string::make_at_unit(&made, count, string::unit_of(string::buffer_of(&address)));
    string::concatenate(&made, &part, int32_t(count), 0, true, string::CONCAT_APPEND);
    *result = made;
    return;
  }
  // A host set on an address without "@" gets one, so that user and host stay apart; it goes
  // in with the host, as one change.
  Cell replacement = *step.value;
  if (field == FIELD_HOST && at < 0) {
    string::make_at(&replacement, 0);
    string::append_char(replacement.node(), '@');
    Cell value = *step.value, appended;
    string::insert(&replacement, &value, InsertOptions{}, true, &appended);
  }
  Cell range = address;
  range.data1 = head + start;
  InsertOptions options;
  options.part = int32_t(count);
  Cell changed;
  string::change(&range, &replacement, options, &changed);
  *result = *step.value;
}
}  // namespace

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_EMAIL, TYPE_STRING, "email!",
      actions::ActionList()
          .own(own<ACT_MOLD>(mold))
          .own(own<ACT_EVAL_PATH>(eval_path))
          .inherit({ACT_MAKE, ACT_REFLECT, ACT_TO, ACT_FORM, ACT_COMPARE, ACT_APPEND, ACT_AT,
                    ACT_BACK, ACT_CHANGE, ACT_CLEAR, ACT_COPY, ACT_FIND, ACT_HEAD, ACT_HEAD_Q,
                    ACT_INDEX_Q, ACT_INSERT, ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT, ACT_PICK,
                    ACT_POKE, ACT_PUT, ACT_REMOVE, ACT_REVERSE, ACT_SELECT, ACT_SKIP, ACT_SWAP,
                    ACT_TAIL, ACT_TAIL_Q, ACT_TAKE, ACT_MODIFY}));
}

}  // namespace xol::email
