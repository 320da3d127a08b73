// The XOLBIN reader, both encodings, in codec mode (data given by a script).
//
// Every value is read into a slot that already exists: a container's cell is put in place
// before its elements are read, so a path from inside it back to itself (a cyclic block, a
// word bound to the object being read) resolves. Slots are named by node and index, never by
// address, since every allocation may move buffers.
//
// Safety rules beyond the format's own checks: a function's context must hold exactly the
// words its spec makes (the frame is laid out from the spec), a bound word's index must name a
// word of its context with its own symbol, a native or action is the runtime's own value for
// its index (its decoded spec is read and dropped), and a function, hash! or map! is never
// copied by a path while it is still being read.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/read_file.h"
#include "runtime/image/bitmap.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/stack.h"
#include "runtime/io/compression.h"
#include "runtime/io/lz.h"
#include "runtime/io/xolbin.h"
#include "runtime/io/xolbin_format.h"
#include "runtime/memory/memory.h"

namespace xol::xolbin {
namespace {

using memory::SeriesBuffer;

constexpr uint64_t kAnyBlock = types_of({TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_LIT_PATH,
                                         TYPE_SET_PATH, TYPE_GET_PATH});
constexpr uint64_t kAnyText =
    types_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF});
constexpr uint64_t kWords = types_of(
    {TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT});
constexpr uint64_t kContextHolders = types_of({TYPE_OBJECT, TYPE_FUNCTION, TYPE_OP}) | kWords;
constexpr uint32_t kMaxCodePoint = 0x10FFFF;
constexpr int32_t kMinTupleBytes = 3;
constexpr int32_t kMaxTupleBytes = 12;
constexpr uint32_t kMaxMonth = 12;
constexpr uint32_t kMaxDay = 31;
constexpr int32_t kErrorArgFields = 6;   // arg1, arg2, arg3, near, where, stack
constexpr uint8_t kMaxDigit = 9;
constexpr uint32_t kMoneyDigitBytes = 11;
constexpr uint8_t kSpace = 0x20;
constexpr uint8_t kDelete = 0x7F;

// A place a value is read into: cell `index` from the head of the node's buffer.
struct Slot {
  NodeId node;
  uint32_t index;
  Cell* cell() const {
    return reinterpret_cast<Cell*>(memory::buffer_of(node)->head_ptr()) + index;
  }
};

// A block of `count` unset cells.
Cell unset_block(uint32_t count, TypeId type = TYPE_BLOCK) {
  const NodeId node = memory::alloc_unset_cells(std::max<uint32_t>(count, 1));
  memory::buffer_of(node)->tail = count * uint32_t(sizeof(Cell));
  return Cell{type, 0, node, 0};
}

uint32_t cell_count(NodeId node) { return memory::buffer_of(node)->used_bytes() / sizeof(Cell); }

class Reader {
 public:
  Reader(const uint8_t* body, const uint8_t* end, size_t offset, bool compact, NodeId target,
         uint32_t base)
      : position_(body), end_(end), body_(body), offset_(offset), compact_(compact),
        target_(target), base_(base) {}

  void read_body(bool symbols) {
    count();   // root count, unused
    const uint32_t length = count();
    if (symbols) read_symbol_table();
    if (uint64_t(length) > uint64_t(end_ - position_)) fail();
    const uint8_t* records_end = position_ + length;
    end_ = records_end;
    while (position_ < records_end) {
      if (!compact_ && peek_word() == kFillWord) {
        word32();
        continue;
      }
      const Cell target{TYPE_BLOCK, 0, target_, 0};
      const Cell unset{TYPE_UNSET, 0, 0, 0};
      block::append_cell(&target, &unset);
      read_value({target_, cell_count(target_) - 1});
    }
  }

 private:
  const uint8_t* position_;
  const uint8_t* end_;
  const uint8_t* body_;
  size_t offset_;   // of the body from the stream's first byte
  bool compact_;
  NodeId target_;
  uint32_t base_;   // the target's length before this decode
  // The symbol table: name offsets, the string area, and the ids interned so far (0 = not yet).
  std::vector<uint32_t> name_offsets_;
  const char* names_ = nullptr;
  uint32_t names_size_ = 0;
  std::vector<int32_t> symbol_ids_;
  // Contexts of functions, and nodes of hash! and map! values, still being read.
  std::vector<NodeId> unfinished_;

  [[noreturn]] void fail() const {
    const Cell at = integer::make(int32_t(offset_ + size_t(position_ - body_) + 1));
    error::raise(error::CAT_SCRIPT, "xb-invalid-record", &at);
  }
  void require(bool ok) const {
    if (!ok) fail();
  }
  size_t left() const { return size_t(end_ - position_); }

  // ---- numbers ----
  uint8_t byte() {
    require(position_ < end_);
    return *position_++;
  }
  uint32_t peek_word() const {
    require(left() >= kWordSize);
    uint32_t v;
    std::memcpy(&v, position_, sizeof v);
    return v;
  }
  uint32_t word32() {
    const uint32_t v = peek_word();
    position_ += kWordSize;
    return v;
  }
  uint32_t leb128() {
    uint32_t v = 0;
    for (uint32_t i = 0; i < kMaxLeb128Bytes; ++i) {
      const uint8_t b = byte();
      if (i == kMaxLeb128Bytes - 1) require(b < kFifthByteLimit);
      v |= uint32_t(b & 0x7F) << (7 * i);
      if (!(b & 0x80)) return v;
    }
    fail();
  }
  // A count: not negative read as a signed 32-bit number.
  uint32_t count() {
    const uint32_t v = compact_ ? leb128() : word32();
    require(int32_t(v) >= 0);
    return v;
  }
  // A count of items that each take at least `min_bytes` of what is left.
  uint32_t items(uint32_t min_bytes) {
    const uint32_t n = count();
    require(uint64_t(n) * min_bytes <= left());
    return n;
  }
  int32_t signed_value() {
    if (!compact_) return int32_t(word32());
    const uint32_t u = leb128();
    return int32_t((u >> 1) ^ (0u - (u & 1)));
  }
  const uint8_t* raw(uint64_t n) {
    require(n <= left());
    const uint8_t* at = position_;
    position_ += n;
    return at;
  }
  void skip_padding() {
    if (compact_) return;
    while ((position_ - body_) % kWordSize) require(byte() == 0);
  }
  double read_double() {
    uint32_t words[2];
    if (compact_) {
      words[0] = word32();
      words[1] = word32();
    } else {
      words[1] = word32();
      words[0] = word32();
    }
    double v;
    std::memcpy(&v, words, sizeof v);
    return v;
  }
  // The minimum bytes of one record, for count checks.
  uint32_t min_record() const { return compact_ ? 1 : kWordSize; }

  // ---- symbols ----
  void read_symbol_table() {
    const uint32_t n = items(kWordSize);
    const uint32_t size = count();
    name_offsets_.resize(n);
    for (uint32_t i = 0; i < n; ++i) name_offsets_[i] = word32();
    names_ = reinterpret_cast<const char*>(raw(size));
    names_size_ = size;
    require(size == 0 || names_[size - 1] == '\0');
    for (uint32_t offset : name_offsets_) require(offset < size && names_[offset] != '\0');
    // A name is what the lexer could make a word of: no spaces or control characters.
    for (uint32_t i = 0; i < size; ++i) {
      const uint8_t b = uint8_t(names_[i]);
      require(b == 0 || (b > kSpace && b != kDelete));
    }
    symbol_ids_.assign(n, 0);
  }
  int32_t symbol() {
    const uint32_t index = count();
    require(index < symbol_ids_.size());
    if (!symbol_ids_[index])
      symbol_ids_[index] = symbol::make(names_ + name_offsets_[index]);
    return symbol_ids_[index];
  }

  // ---- records ----

  // The record's type and flags, whatever the encoding.
  struct Head {
    TypeId type;
    bool flag;          // compact per-type flag
    uint32_t bits;      // fixed header word
    bool new_line;
    bool reference;
  };

  void read_value(Slot slot) {
    stack::check_native_depth();
    if (compact_) read_compact(slot);
    else read_fixed(slot);
  }

  void read_compact(Slot slot) {
    bool new_line = false, reference = false;
    uint8_t b;
    for (;;) {
      b = byte();
      if (b == kNewLinePrefix) new_line = true;
      else if (b == kReferencePrefix) reference = true;
      else if (b == kGlobalSetPrefix) fail();   // boot payloads only
      else break;
    }
    if (b >= kSmallInteger) {
      require(!reference);
      Cell value;
      if (b == kTrue || b == kFalse) value = logic::make(b == kTrue);
      else if (b == kCopyAtPath) value = copy_at(read_path(), ~0ull);
      else if (b < kNewLinePrefix) value = integer::make(b - kSmallInteger);
      else fail();
      store(slot, value, new_line);
      return;
    }
    uint32_t type = b & kTypeBits;
    if (type == kTypeFollows) type = leb128();
    require(type != 0 && type <= uint32_t(kTypeCount));
    read_typed(slot, Head{TypeId(type), bool(b & kTypeFlag), 0, new_line, reference});
  }

  void read_fixed(Slot slot) {
    uint32_t header = word32();
    while ((header & kTypeMask) == kFillWord) header = word32();
    const uint32_t type = header & kTypeMask;
    require(type <= uint32_t(kTypeCount));
    read_typed(slot, Head{TypeId(type), false, header, bool(header & kFixedNewLine),
                          bool(header & kAlreadyWritten)});
  }

  void store(Slot slot, Cell value, bool new_line) {
    if (new_line) value.header |= kNewLineFlag;
    *slot.cell() = value;
  }

  void read_typed(Slot slot, const Head& h) {
    if (in_types(kRefusedTypes, h.type)) {
      const Cell type = datatype::make(h.type);
      error::raise(error::CAT_ACCESS, "no-codec", &type);
    }
    if (in_types(kAnyBlock | types_of({TYPE_HASH}), h.type)) return read_block(slot, h);
    if (in_types(kAnyText | types_of({TYPE_BINARY}), h.type)) return read_text(slot, h);
    if (in_types(kWords, h.type)) return read_word(slot, h);
    require(!h.reference || in_types(types_of({TYPE_MAP, TYPE_VECTOR, TYPE_BITSET, TYPE_OBJECT,
                                               TYPE_FUNCTION, TYPE_IMAGE}), h.type));
    Cell value{TYPE_NONE, 0, 0, 0};
    switch (h.type) {
      case TYPE_DATATYPE: {
        const uint32_t id = count();
        require(id >= 1 && id <= uint32_t(datatype::highest_type()));
        value = datatype::make(int32_t(id));
        break;
      }
      case TYPE_UNSET:
      case TYPE_NONE:
        value = Cell{h.type, 0, 0, 0};
        break;
      case TYPE_LOGIC: {
        require(!compact_);   // compact logic values are short forms
        const uint32_t v = word32();
        require(v <= 1);
        value = logic::make(v);
        break;
      }
      case TYPE_CHAR: {
        const uint32_t cp = compact_ ? leb128() : word32();
        require(cp <= kMaxCodePoint);
        value = Cell{TYPE_CHAR, 0, cp, 0};
        break;
      }
      case TYPE_INTEGER:
        value = integer::make(signed_value());
        break;
      case TYPE_FLOAT:
      case TYPE_TIME:
      case TYPE_PERCENT: {
        double v;
        if (compact_ && h.flag) {
          const int32_t n = signed_value();
          v = h.type == TYPE_PERCENT ? n / kHundredths : double(n);
        } else {
          v = read_double();
        }
        value = Cell{h.type, 0, 0, 0};
        value.set_float_value(v);
        break;
      }
      case TYPE_DATE:
        value = read_date(h);
        break;
      case TYPE_PAIR: {
        const int32_t x = signed_value();
        value = Cell{TYPE_PAIR, 0, uint32_t(x), uint32_t(signed_value())};
        break;
      }
      case TYPE_POINT2D:
      case TYPE_POINT3D:
        value = Cell{h.type, word32(), word32(), 0};
        if (h.type == TYPE_POINT3D) value.data3 = word32();
        break;
      case TYPE_TYPESET: {
        const uint32_t n = compact_ ? byte() : kTypesetBytes;
        require(n <= kTypesetBytes);
        value = Cell{TYPE_TYPESET, 0, 0, 0};
        std::memcpy(&value.data1, raw(n), n);
        break;
      }
      case TYPE_TUPLE:
        value = read_tuple(h);
        break;
      case TYPE_MONEY:
        value = read_money(h);
        break;
      case TYPE_ISSUE:
        value = Cell{TYPE_ISSUE, kNoNode, uint32_t(symbol()), word::kUnresolvedIndex};
        break;
      case TYPE_MAP:
        return read_map(slot, h);
      case TYPE_VECTOR:
        return read_vector(slot, h);
      case TYPE_IMAGE:
        return read_image(slot, h);
      case TYPE_BITSET:
        return read_bitset(slot, h);
      case TYPE_OBJECT:
        return read_object(h, Placement{slot, h.new_line});
      case TYPE_FUNCTION:
        return read_function(h, Placement{slot, h.new_line});
      case TYPE_CONTEXT:
        return read_context_object(slot, h.bits);
      case TYPE_NATIVE:
      case TYPE_ACTION:
        return read_native(slot, h);
      case TYPE_OP:
        return read_op(slot, h);
      case TYPE_ERROR:
        return read_error(slot, h);
      default:
        fail();
    }
    store(slot, value, h.new_line);
  }

  Cell read_date(const Head& h) {
    const uint32_t packed = word32();
    const bool has_time = packed & date::kTimeFlag;
    if (compact_) require(h.flag == has_time);
    double time = 0;
    if (!compact_ || has_time) time = read_double();
    require(date::month_of(packed) >= 1 && uint32_t(date::month_of(packed)) <= kMaxMonth &&
            date::day_of(packed) >= 1 && uint32_t(date::day_of(packed)) <= kMaxDay &&
            std::isfinite(time));
    Cell value{TYPE_DATE, packed, 0, 0};
    value.set_float_value(has_time ? time : 0);
    return value;
  }

  Cell read_tuple(const Head& h) {
    const int32_t n = compact_ ? (h.flag ? byte() : 3) : int32_t((h.bits >> kUnitSizeShift) &
                                                                 kUnitSizeMask);
    require(n >= kMinTupleBytes && n <= kMaxTupleBytes);
    Cell value{TYPE_TUPLE, 0, 0, 0};
    const uint8_t* bytes = raw(compact_ ? uint32_t(n) : kPayloadBytes);
    std::memcpy(tuple::bytes(&value), bytes, size_t(n));
    tuple::set_count(&value, n);
    return value;
  }

  Cell read_money(const Head& h) {
    const bool negative = compact_ ? h.flag : (h.bits & kMoneyNegative);
    Cell value{TYPE_MONEY | (negative ? money::kSignFlag : 0u), 0, 0, 0};
    std::memcpy(&value.data1, raw(kPayloadBytes), kPayloadBytes);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&value.data1);
    require(bytes[0] <= money::currency_count());
    for (uint32_t i = 1; i <= kMoneyDigitBytes; ++i)
      require((bytes[i] >> 4) <= kMaxDigit && (bytes[i] & 0xF) <= kMaxDigit);
    return value;
  }

  // ---- references ----

  std::vector<uint32_t> read_path() {
    if (!compact_) require(word32() == kReferenceRecord);
    const uint32_t depth = count();
    require(depth >= 1 && depth <= kMaxPathDepth && depth <= left());
    std::vector<uint32_t> path(depth);
    for (uint32_t& index : path) index = count();
    return path;
  }

  // The cell a path leads to, copied; `families` are the types it may have. A function,
  // hash! or map! still being read may be followed only for its context (`context_only`).
  Cell copy_at(const std::vector<uint32_t>& path, uint64_t families, bool context_only = false) {
    const Cell found = resolve(path);
    require(in_types(families, found.type()));
    // Functions are keyed by their context, series by their node; the two never coincide.
    const bool function = found.is(TYPE_FUNCTION) || found.is(TYPE_OP);
    if (!context_only && (function || in_types(kAnyBlock | types_of({TYPE_HASH, TYPE_MAP}),
                                               found.type()))) {
      const NodeId key = function ? found.data1 : found.node();
      require(std::find(unfinished_.begin(), unfinished_.end(), key) == unfinished_.end());
    }
    return found;
  }

  // Follows a path from this decode's first root value down through the containers.
  Cell resolve(const std::vector<uint32_t>& path) {
    require(uint64_t(path[0]) + base_ < cell_count(target_));
    Cell current = *Slot{target_, base_ + path[0]}.cell();
    for (size_t i = 1; i < path.size(); ++i) {
      const uint32_t index = path[i];
      const TypeId type = current.type();
      NodeId cells = kNoNode;
      if (in_types(kAnyBlock | types_of({TYPE_HASH, TYPE_MAP}), type)) {
        cells = current.node();
      } else if (in_types(kWords | types_of({TYPE_OBJECT, TYPE_ERROR}), type)) {
        const NodeId context = current.data1;
        require(context != kNoNode);
        const Cell* owner = context::owner_cell(context);
        if (context::context_cell(context)->header & context::kOnStackFlag) {
          require(owner->is(TYPE_FUNCTION));
          current = *owner;
          --i;   // the function's own step reads this index
          continue;
        }
        const uint32_t first = type == TYPE_ERROR ? error::FIELD_ARG1 : 0;
        require(uint64_t(index) + first < uint32_t(context::word_count(context)));
        current = context::values(context)[index + first];
        continue;
      } else if (type == TYPE_NATIVE || type == TYPE_ACTION) {
        cells = current.data2;
      } else if (type == TYPE_FUNCTION || type == TYPE_OP) {
        require(index <= 1 && (type == TYPE_FUNCTION || index == 0));
        if (index == 1) {
          current = *function::body(&current);
          require(current.is(TYPE_BLOCK));
          continue;
        }
        const Cell spec = function::spec_block(&current);
        if (i + 1 == path.size()) {
          current = spec;
          continue;
        }
        cells = spec.node();
        ++i;
      } else {
        fail();
      }
      require(path[i] < cell_count(cells));
      current = *Slot{cells, path[i]}.cell();
    }
    return current;
  }

  // ---- series ----

  uint32_t read_head(const Head& h, bool with_head) {
    if (!with_head) return 0;
    if (compact_ && !h.flag) return 0;
    return count();
  }

  // A record whose content is a reference: the referenced series with this record's head.
  void store_reference(Slot slot, const Head& h, uint32_t head, uint64_t families, bool retype,
                       uint32_t units_shift) {
    Cell value = copy_at(read_path(), families);
    require(head <= memory::buffer_of(value.node())->used_bytes() >> units_shift);
    if (retype) cell::set_type(&value, h.type);
    value.header &= ~kNewLineFlag;
    value.data1 = head;
    store(slot, value, h.new_line);
  }

  void read_block(Slot slot, const Head& h) {
    const uint32_t head = read_head(h, true);
    if (h.reference) {
      const bool hash = h.type == TYPE_HASH;
      return store_reference(slot, h, head, hash ? types_of({TYPE_HASH}) : kAnyBlock, !hash, 4);
    }
    const uint32_t n = items(min_record());
    require(head <= n);
    // A hash! is read as a block and indexed once its cells are all there.
    const bool hash = h.type == TYPE_HASH;
    Cell block = unset_block(n, hash ? TYPE_BLOCK : h.type);
    block.data1 = head;
    store(slot, block, h.new_line);
    if (hash) unfinished_.push_back(block.node());
    for (uint32_t i = 0; i < n; ++i) read_value({block.node(), i});
    if (hash) {
      unfinished_.pop_back();
      Cell* cell = slot.cell();
      cell::set_type(cell, TYPE_HASH);
      hash::build_index(cell);
    }
  }

  void read_text(Slot slot, const Head& h) {
    const uint32_t head = read_head(h, true);
    const bool is_binary = h.type == TYPE_BINARY;
    if (h.reference) {
      // Every text type shares one storage; a binary! reads its buffer as bytes.
      const uint64_t families = is_binary ? types_of({TYPE_BINARY}) : kAnyText;
      Cell found = copy_at(read_path(), families);
      const SeriesBuffer* buffer = memory::buffer_of(found.node());
      require(head <= buffer->used_bytes() / buffer->unit());
      found.header = (found.header & ~(kTypeMask | kNewLineFlag)) | h.type;
      found.data1 = head;
      return store(slot, found, h.new_line);
    }
    uint32_t unit = 1, n;
    if (compact_) {
      const uint32_t field = count();
      if (is_binary) {
        n = field;
      } else {
        require((field & kUnitCodeMask) != kUnitCodeMask);
        unit = 1u << (field & kUnitCodeMask);
        n = field >> kUnitShift;
      }
    } else {
      unit = (h.bits >> kUnitSizeShift) & kUnitSizeMask;
      require(unit == 1 || (!is_binary && (unit == 2 || unit == 4)));
      n = count();
    }
    const uint8_t* units = raw(uint64_t(n) * unit);
    skip_padding();
    require(head <= n);
    if (unit == 4) {
      for (uint32_t i = 0; i < n; ++i) {
        uint32_t cp;
        std::memcpy(&cp, units + 4 * i, 4);
        require(cp <= kMaxCodePoint);
      }
    }
    Cell text;
    string::make_at_unit(&text, n, unit, h.type);
    SeriesBuffer* buffer = memory::buffer_of(text.node());
    std::memcpy(buffer->head_ptr(), units, size_t(n) * unit);
    buffer->tail = buffer->head + n * unit;
    text.data1 = head;
    store(slot, text, h.new_line);
  }

  void read_vector(Slot slot, const Head& h) {
    const uint32_t head = read_head(h, true);
    if (h.reference)
      return store_reference(slot, h, head, types_of({TYPE_VECTOR}), false, 0);
    uint32_t unit, element, n;
    if (compact_) {
      const uint8_t b = byte();
      element = b >> kUnitShift;
      unit = 1u << (b & kUnitCodeMask);
      n = count();
    } else {
      unit = (h.bits >> kUnitSizeShift) & kUnitSizeMask;
      n = count();
      element = count();
    }
    const bool floats = element == TYPE_FLOAT || element == TYPE_PERCENT;
    const bool ints = element == TYPE_CHAR || element == TYPE_INTEGER;
    require((ints && (unit == 1 || unit == 2 || unit == 4)) ||
            (element == TYPE_FLOAT && unit == 4) || (floats && unit == 8));
    const uint8_t* bytes = raw(uint64_t(n) * unit);
    skip_padding();
    require(head <= n);
    Cell made;
    vector::make_at(&made, n, TypeId(element), unit);
    SeriesBuffer* buffer = vector::buffer_of(&made);
    std::memcpy(buffer->head_ptr(), bytes, size_t(n) * unit);
    buffer->tail = buffer->head + n * unit;
    made.data1 = head;
    store(slot, made, h.new_line);
  }

  void read_image(Slot slot, const Head& h) {
    const uint32_t head = read_head(h, true);
    Cell made;
    if (h.reference) {
      made = copy_at(read_path(), types_of({TYPE_IMAGE}));
      made.header &= ~kNewLineFlag;
    } else {
      uint32_t width, height;
      if (compact_) {
        width = count();
        height = count();
      } else {
        const uint32_t size = word32();
        width = size & image::kSideMask;
        height = size >> image::kSideBits;
      }
      require(width <= bitmap::kMaxSide && height <= bitmap::kMaxSide);
      const uint64_t bytes = uint64_t(width) * height * bitmap::kBytesPerPixel;
      const uint8_t* pixels = raw(bytes);
      if (bytes == 0) {
        image::make_empty(&made, width, height);
      } else {
        const NodeId record = bitmap::new_record(width, height);
        std::memcpy(bitmap::write_pixels(record), pixels, bytes);
        image::make_at(&made, record);
      }
    }
    require(head <= image::pixel_count(&made));
    made.data1 = head;
    store(slot, made, h.new_line);
  }

  void read_bitset(Slot slot, const Head& h) {
    const bool complemented = compact_ ? h.flag : (h.bits & kBitsetComplemented);
    if (h.reference) return store_reference(slot, h, 0, types_of({TYPE_BITSET}), false, 0);
    const uint32_t n = count();
    const uint8_t* bytes = raw(n);
    skip_padding();
    Cell set = bitset::make_empty(n);
    SeriesBuffer* buffer = bitset::buffer_of(&set);
    std::memcpy(buffer->head_ptr(), bytes, n);
    if (complemented) {
      buffer->flags |= bitset::kComplemented;
      memory::fill(buffer->tail_ptr(), buffer->end_ptr(), 0xFF);
    }
    store(slot, set, h.new_line);
  }

  void read_map(Slot slot, const Head& h) {
    if (h.reference) return store_reference(slot, h, 0, types_of({TYPE_MAP}), false, 4);
    const uint32_t n = items(min_record());
    require(n % 2 == 0);
    Cell made;
    map::make_at(&made, int32_t(n / 2));
    store(slot, made, h.new_line);
    unfinished_.push_back(made.node());
    Cell pairs = unset_block(n);
    for (uint32_t i = 0; i < n; ++i) read_value({pairs.node(), i});
    for (uint32_t i = 0; i < n; i += 2)
      require(map::valid_key_type(Slot{pairs.node(), i}.cell()->type()));
    map::extend_from_block(slot.cell(), &pairs, false);
    unfinished_.pop_back();
  }

  // ---- contexts, objects, functions ----

  struct Section {
    NodeId context;
    uint32_t count;
    bool values;
  };

  // A context section; when `marked` its 0x0E mark was read already, as the type of a
  // top-level context record whose fixed header word is `header`.
  Section read_section(bool marked, uint32_t header = 0) {
    uint32_t kind, on_stack, object, values;
    if (compact_) {
      if (!marked) require(byte() == kContextMark);
      const uint8_t flags = byte();
      kind = flags & kSectionKindMask;
      on_stack = flags & kSectionOnStack;
      object = flags & kSectionObject;
      values = flags & kSectionValues;
    } else {
      if (!marked) header = word32();
      require((header & kTypeMask) == kContextMark);
      kind = (header >> kFixedKindShift) & kSectionKindMask;
      on_stack = header & kFixedSectionOnStack;
      object = header & kFixedSectionObject;
      values = header & kFixedSectionValues;
    }
    require(kind <= context::KIND_OBJECT);
    const uint32_t n = items(1);
    const NodeId context = context::create(int32_t(n), on_stack, object, nullptr,
                                           context::Kind(kind));
    for (uint32_t i = 0; i < n; ++i) {
      int32_t added = -1;
      require(context::add_symbol(context, symbol(), true, &added) < 0);
    }
    return {context, n, values && !on_stack};
  }

  void read_section_values(const Section& section) {
    if (!section.values) return;
    const NodeId values = context::context_cell(section.context)->data2;
    for (uint32_t i = 0; i < section.count; ++i) read_value({values, i});
  }

  // Where an object or function record puts its value as soon as its context exists, before
  // its content is read: into its slot, or, for the owner written inline after a word, into
  // the word, which then stands for the owner in paths.
  struct Placement {
    Slot slot;
    bool new_line;
    bool for_word = false;
    Cell word{};
  };

  void place(Placement& at, const Cell& value) {
    if (!at.for_word) return store(at.slot, value, at.new_line);
    bind_checked(at.word, value.data1);
    store(at.slot, at.word, at.new_line);
  }

  void read_object(const Head& h, Placement at) {
    if (h.reference) {
      const Cell found = copy_at(read_path(), kContextHolders | types_of({TYPE_ERROR}));
      Cell object = *context::owner_cell(found.data1);
      require(object.is(TYPE_OBJECT));
      return place(at, object);
    }
    signed_value();   // class id: a decoded object gets its own
    const bool hooks = compact_ ? h.flag : (h.bits & kObjectHooks);
    if (hooks) {
      signed_value();
      signed_value();
    }
    const Section section = read_section(false);
    require(!(context::context_cell(section.context)->header & context::kOnStackFlag));
    Cell object;
    object::make_from(section.context, -1, kNoNode, &object);
    place(at, object);
    read_section_values(section);
    object::init_on_set(&object);
    if (!at.for_word) place(at, object);
  }

  void read_context_object(Slot slot, uint32_t header) {
    const Section section = read_section(true, compact_ ? kContextMark : header);
    require(!(context::context_cell(section.context)->header & context::kOnStackFlag));
    Cell object;
    object::make_from(section.context, -1, kNoNode, &object);
    store(slot, object, false);
    read_section_values(section);
  }

  // A spec or body: a block record, read into a scratch cell.
  Cell read_function_block(Cell& scratch, uint32_t index) {
    const uint8_t* at = position_;
    read_value({scratch.node(), index});
    const Cell block = *Slot{scratch.node(), index}.cell();
    if (!block.is(TYPE_BLOCK)) {
      position_ = at;
      fail();
    }
    return block;
  }

  void read_function(const Head& h, Placement at) {
    if (h.reference) {
      Cell found = copy_at(read_path(), kContextHolders);
      if (found.is(TYPE_OP)) {
        cell::set_type(&found, natives::op_source(&found));
        found.header &= kTypeMask;
      } else if (!found.is(TYPE_FUNCTION)) {
        found = *context::owner_cell(found.data1);
      }
      require(found.is(TYPE_FUNCTION));
      return place(at, found);
    }
    items(0);   // spec length: only a size hint
    items(0);   // body length
    const Section section = read_section(false);
    require(context::context_cell(section.context)->header & context::kOnStackFlag);
    // In place before the spec and body are read, so that their words find their context.
    const NodeId record = memory::alloc_unset_cells(function::kRecordCells);
    memory::buffer_of(record)->tail = function::kRecordCells * sizeof(Cell);
    Cell placeholder = unset_block(0);
    const Cell function{TYPE_FUNCTION, section.context, placeholder.node(), record};
    *context::owner_cell(section.context) = function;
    place(at, function);
    unfinished_.push_back(section.context);
    Cell scratch = unset_block(2);
    const Cell spec = read_function_block(scratch, 0);
    const Cell body = read_function_block(scratch, 1);
    unfinished_.pop_back();
    // The frame is laid out from the spec: the context must hold exactly its words.
    Cell spec_copy;
    values::copy(&spec, true, &spec_copy);
    const uint32_t flags = function::validate_spec(&spec_copy);
    const NodeId expected =
        context::make_function_context(&spec_copy, true, false, context::KIND_FUNCTION);
    require(context::word_count(expected) == int32_t(section.count));
    for (uint32_t i = 0; i < section.count; ++i)
      require(symbol::resolve(word::symbol_of(context::word_at(expected, int32_t(i)))) ==
              symbol::resolve(word::symbol_of(context::word_at(section.context, int32_t(i)))));
    Cell made{TYPE_FUNCTION | flags, section.context, spec_copy.node(), record};
    function::record(&made)[function::RECORD_BODY] = body;
    *context::owner_cell(section.context) = made;
    if (!at.for_word) place(at, made);
  }

  // ---- words ----

  void read_word(Slot slot, const Head& h) {
    const int32_t sym = symbol();
    const bool bound = compact_ ? h.flag : !(h.bits & kGlobalWord);
    if (!bound) {
      if (!compact_) word32();   // the index in the global context: looked up again
      Cell word;
      word::make_at(sym, &word);
      cell::set_type(&word, h.type);
      word.data2 = uint32_t(sym);
      return store(slot, word, h.new_line);
    }
    const int32_t index = signed_value();
    Cell word{h.type, kNoNode, uint32_t(sym), uint32_t(index)};
    if (h.reference) {
      const Cell found = copy_at(read_path(), kContextHolders, true);
      bind_checked(word, found.data1);
      return store(slot, word, h.new_line);
    }
    // The owner's record follows; the word stands for it in paths while it is read.
    Head owner{};
    if (compact_) {
      const uint8_t b = byte();
      owner = Head{TypeId(b & kTypeBits), bool(b & kTypeFlag), 0, false, false};
    } else {
      const uint32_t header = word32();
      owner = Head{TypeId(header & kTypeMask), false, header, false, false};
    }
    Placement at{slot, h.new_line, true, word};
    if (owner.type == TYPE_OBJECT) read_object(owner, at);
    else if (owner.type == TYPE_FUNCTION) read_function(owner, at);
    else fail();
  }

  // Binds the word to the context after checking that its index names a word of that context
  // with its own symbol.
  void bind_checked(Cell& word, NodeId context) {
    const int32_t index = word::index_of(&word);
    require(context != kNoNode && index >= 0 && index < context::word_count(context));
    require(symbol::resolve(word::symbol_of(context::word_at(context, index))) ==
            symbol::resolve(word::symbol_of(&word)));
    word.data1 = context;
  }

  // ---- natives, operators, errors ----

  // The runtime's own native! or action! of a table index, found among the global values.
  static bool find_native(TypeId type, int32_t code, Cell* found) {
    const NodeId global = context::global();
    const Cell* values = context::values(global);
    for (int32_t i = 0; i < context::word_count(global); ++i) {
      if (values[i].is(type) && natives::code_of(&values[i]) == code) {
        *found = values[i];
        return true;
      }
    }
    return false;
  }

  void read_native(Slot slot, const Head& h) {
    const uint32_t code = count();
    Cell scratch = unset_block(1);
    read_function_block(scratch, 0);
    Cell native;
    require(code >= 1 && find_native(h.type, int32_t(code), &native));
    native.header &= ~kNewLineFlag;
    store(slot, native, h.new_line);
  }

  void read_op(Slot slot, const Head& h) {
    read_value(slot);
    Cell source = *slot.cell();
    source.header &= ~kNewLineFlag;
    require(source.is(TYPE_NATIVE) || source.is(TYPE_ACTION) || source.is(TYPE_FUNCTION));
    Cell op;
    natives::make_op(nullptr, &source, TYPE_OP, &op);
    store(slot, op, h.new_line);
  }

  void read_error(Slot slot, const Head& h) {
    const uint32_t code = count();
    const int32_t category = int32_t(code / error::kCodesPerCategory);
    const int32_t position = int32_t(code % error::kCodesPerCategory);
    require(category < error::kCategoryCount && position < error::category(category).count);
    const Cell category_word = word::load(error::category(category).name);
    const Cell id_word = word::load(error::category(category).ids[position].id);
    Cell made;
    error::make_with_args(&category_word, &id_word, nullptr, nullptr, nullptr, &made);
    store(slot, made, h.new_line);
    const NodeId values = context::context_cell(made.data1)->data2;
    for (int32_t i = 0; i < kErrorArgFields; ++i)
      read_value({values, uint32_t(error::FIELD_ARG1 + i)});
  }
};

[[noreturn]] void invalid_data(const Cell* data) {
  error::raise(error::CAT_SCRIPT, "invalid-data", data);
}

}  // namespace

void decode(const uint8_t* bytes, size_t length, const Cell* target, const Cell* data) {
  if (length < kStreamHeaderSize || std::memcmp(bytes, kMagic, kMagicSize) != 0)
    invalid_data(data);
  const uint8_t flags = bytes[kMagicSize + 1];
  const uint8_t* body = bytes + kStreamHeaderSize;
  const uint8_t* end = bytes + length;
  std::string unpacked;
  if (flags & STREAM_LZ) {
    const uint64_t packed = length - kStreamHeaderSize;
    if (!lz::decompress(body, packed, compression::default_limit(uint32_t(packed)), unpacked))
      invalid_data(data);
    body = reinterpret_cast<const uint8_t*>(unpacked.data());
    end = body + unpacked.size();
  }
  const bool compact = flags & STREAM_COMPACT;
  if (!compact && end - body < 2 * kWordSize) invalid_data(data);
  Reader reader(body, end, kStreamHeaderSize, compact, target->node(),
                memory::buffer_of(target->node())->used_bytes() / sizeof(Cell));
  reader.read_body(flags & STREAM_SYMBOLS);
}

}  // namespace xol::xolbin
