// The XOLBIN writer, both encodings.
//
// Records are built in a plain byte string, so encoding allocates nothing the collector owns
// until the finished stream becomes a binary!: the nodes remembered in the reference table
// cannot be collected or reused while it runs. A path stack numbers the values as they are
// written (the counter of the current level goes up after each value); a series, object or
// function is remembered with its path the first time and referred to by it afterwards.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/image/bitmap.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/eval/stack.h"
#include "runtime/io/xolbin.h"
#include "runtime/io/xolbin_format.h"
#include "runtime/memory/memory.h"
#include "runtime/datatypes/runtime_words.h"

namespace xol::xolbin {
namespace {

using memory::SeriesBuffer;

constexpr uint64_t kBlockTypes =
    types_of({TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH,
              TYPE_HASH});
constexpr uint64_t kStringTypes =
    types_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF});

Cell* cell_at(NodeId node, uint32_t index) {
  return reinterpret_cast<Cell*>(memory::buffer_of(node)->head_ptr()) + index;
}
uint32_t cell_count(NodeId node) { return memory::buffer_of(node)->used_bytes() / sizeof(Cell); }

uint32_t log2_unit(uint32_t unit) { return unit == 4 ? 2 : unit == 2 ? 1 : unit == 8 ? 3 : 0; }

class Writer {
 public:
  explicit Writer(bool compact) : compact_(compact) {}

  void write_root(const Cell* value) { write_value(value); }

  // The whole stream: header, body header, symbol table, records.
  std::string finish() const {
    std::string out(kMagic, kMagicSize);
    out.push_back(char(kVersion));
    const bool symbols = !symbol_ids_.empty();
    out.push_back(char((compact_ ? STREAM_COMPACT : 0) | (symbols ? STREAM_SYMBOLS : 0)));
    Bytes body{out, compact_};
    body.count(1);
    body.count(uint32_t(records_.size()));
    if (symbols) {
      body.count(uint32_t(symbol_ids_.size()));
      body.count(uint32_t(names_.size()));
      for (uint32_t offset : name_offsets_) body.int32(offset);
      out += names_;
    }
    out += records_;
    return out;
  }

 private:
  // Appends numbers in the stream's encoding.
  struct Bytes {
    std::string& out;
    bool compact;
    void byte(uint8_t b) { out.push_back(char(b)); }
    void int32(uint32_t v) {
      for (int i = 0; i < 4; ++i) byte(uint8_t(v >> (8 * i)));
    }
    void leb128(uint32_t v) {
      while (v >= 0x80) {
        byte(uint8_t(v | 0x80));
        v >>= 7;
      }
      byte(uint8_t(v));
    }
    // A count or other unsigned field: LEB128, or a word.
    void count(uint32_t v) { compact ? leb128(v) : int32(v); }
    // A signed field: zigzag LEB128, or a word.
    void signed_value(int32_t v) {
      compact ? leb128((uint32_t(v) << 1) ^ uint32_t(v >> 31)) : int32(uint32_t(v));
    }
    void raw(const void* data, size_t n) { out.append(static_cast<const char*>(data), n); }
    // Fixed records keep 4-byte alignment after raw bytes.
    void pad_to_word() {
      if (!compact)
        while (out.size() % kWordSize) byte(0);
    }
  };

  bool compact_;
  std::string records_;
  Bytes out_{records_, compact_};
  // Symbols in first-use order.
  std::vector<int32_t> symbol_ids_;
  std::unordered_map<int32_t, uint32_t> symbol_index_;
  std::string names_;
  std::vector<uint32_t> name_offsets_;
  // The levels entered so far form a tree: each entry is one level, its index within its
  // parent and its depth, so a remembered value costs one entry however deep it lies, and its
  // path is read back by walking up.
  struct PathEntry {
    uint32_t parent;
    uint32_t index;
    uint32_t depth;
  };
  std::vector<PathEntry> entries_{{0, 0, 0}};   // entry 0: above the root values
  std::vector<uint32_t> levels_{0};             // the entry of each open level
  std::vector<uint32_t> saved_counters_;
  uint32_t counter_ = 0;
  std::unordered_map<NodeId, uint32_t> written_;   // node -> its entry
  std::vector<uint32_t> scratch_path_;

  [[noreturn]] void refuse(const Cell* value) {
    error::raise(error::CAT_ACCESS, "no-codec", value);
  }

  uint32_t symbol(int32_t id) {
    auto [it, added] = symbol_index_.try_emplace(id, uint32_t(symbol_ids_.size()));
    if (added) {
      symbol_ids_.push_back(id);
      name_offsets_.push_back(uint32_t(names_.size()));
      names_ += symbol::name(id);
      names_.push_back('\0');
      if (!compact_)
        while (names_.size() % kNameAlign) names_.push_back('\0');
    }
    return it->second;
  }
  void put_symbol(int32_t id) { out_.count(symbol(id)); }

  // The prefix and type part of a record. `flag` is the compact per-type flag, `bits` the
  // fixed header bits beyond the type.
  void head(const Cell* value, TypeId type, bool flag, uint32_t bits, bool reference) {
    const bool new_line = value->header & kNewLineFlag;
    if (compact_) {
      if (new_line) out_.byte(kNewLinePrefix);
      if (reference) out_.byte(kReferencePrefix);
      out_.byte(uint8_t(type | (flag ? kTypeFlag : 0)));
    } else {
      out_.int32(type | bits | (new_line ? kFixedNewLine : 0) | (reference ? kAlreadyWritten : 0));
    }
  }

  // The path of a value written before, as a compact path or a fixed reference record.
  void put_path(uint32_t entry) {
    scratch_path_.clear();
    for (uint32_t e = entry; e != 0; e = entries_[e].parent) scratch_path_.push_back(entries_[e].index);
    if (!compact_) out_.int32(kReferenceRecord);
    out_.count(uint32_t(scratch_path_.size()));
    for (auto index = scratch_path_.rbegin(); index != scratch_path_.rend(); ++index)
      out_.count(*index);
  }

  // The entry of a node written before, or -1.
  int64_t find(NodeId node) const {
    auto it = written_.find(node);
    return it == written_.end() ? -1 : int64_t(it->second);
  }

  // Writes `content` one level down, with the node remembered at the path that leads there.
  template <class Content>
  void descend(NodeId node, Content content) {
    const uint32_t parent = levels_.back();
    const uint32_t entry = uint32_t(entries_.size());
    entries_.push_back({parent, counter_, entries_[parent].depth + 1});
    levels_.push_back(entry);
    saved_counters_.push_back(counter_);
    counter_ = 0;
    if (node != kNoNode) written_[node] = entry;
    content();
    counter_ = saved_counters_.back();
    saved_counters_.pop_back();
    levels_.pop_back();
  }

  void write_value(const Cell* value) {
    write_record(value);
    ++counter_;
  }

  void write_double(double v) {
    uint32_t words[2];
    std::memcpy(words, &v, sizeof words);
    if (compact_) {
      out_.int32(words[0]);
      out_.int32(words[1]);
    } else {
      out_.int32(words[1]);
      out_.int32(words[0]);
    }
  }

  // float!, time! and percent!: the compact short form when the value allows it.
  void write_number(const Cell* value, TypeId type) {
    const double v = value->float_value();
    if (!compact_) {
      while (records_.size() % kDoubleAlign) out_.int32(kFillWord);
      head(value, type, false, 0, false);
      write_double(v);
      return;
    }
    const bool negative_zero = v == 0 && std::signbit(v);
    double n = v;
    double limit = kIntegralLimit;
    if (type == TYPE_PERCENT) {
      n = std::round(v * kHundredths);   // half away from zero
      limit = kPercentLimit;
    }
    const bool short_form = !negative_zero && v >= -limit && v <= limit &&
                            (type == TYPE_PERCENT ? n / kHundredths == v : std::trunc(v) == v);
    head(value, type, short_form, 0, false);
    if (short_form) out_.signed_value(int32_t(n));
    else write_double(v);
  }

  void write_record(const Cell* value) {
    stack::check_native_depth();
    const TypeId type = value->type();
    if (in_types(kRefusedTypes, type)) refuse(value);
    if (in_types(kBlockTypes, type)) return write_block(value, type);
    if (in_types(kStringTypes, type)) return write_text(value, type);
    switch (type) {
      case TYPE_DATATYPE:
        head(value, type, false, 0, false);
        out_.count(value->data1);
        return;
      case TYPE_UNSET:
      case TYPE_NONE:
        head(value, type, false, 0, false);
        return;
      case TYPE_LOGIC:
        if (compact_) {
          if (value->header & kNewLineFlag) out_.byte(kNewLinePrefix);
          out_.byte(value->data1 ? kTrue : kFalse);
        } else {
          head(value, type, false, 0, false);
          out_.int32(value->data1 ? 1 : 0);
        }
        return;
      case TYPE_CHAR:
        head(value, type, false, 0, false);
        out_.count(value->data2);
        return;
      case TYPE_INTEGER: {
        const int32_t n = int32_t(value->data2);
        if (compact_ && n >= 0 && n <= kSmallIntegerMax) {
          if (value->header & kNewLineFlag) out_.byte(kNewLinePrefix);
          out_.byte(uint8_t(kSmallInteger + n));
          return;
        }
        head(value, type, false, 0, false);
        out_.signed_value(n);
        return;
      }
      case TYPE_FLOAT:
      case TYPE_TIME:
      case TYPE_PERCENT:
        return write_number(value, type);
      case TYPE_DATE: {
        const bool has_time = date::has_time(value->data1);
        head(value, type, compact_ && has_time, 0, false);
        out_.int32(value->data1);
        if (!compact_ || has_time) write_double(value->float_value());
        return;
      }
      case TYPE_PAIR:
        head(value, type, false, 0, false);
        out_.signed_value(int32_t(value->data2));
        out_.signed_value(int32_t(value->data3));
        return;
      case TYPE_POINT2D:
      case TYPE_POINT3D:
        head(value, type, false, 0, false);
        out_.int32(value->data1);
        out_.int32(value->data2);
        if (type == TYPE_POINT3D) out_.int32(value->data3);
        return;
      case TYPE_TYPESET: {
        head(value, type, false, 0, false);
        const uint8_t* bits = reinterpret_cast<const uint8_t*>(&value->data1);
        if (compact_) {
          uint32_t n = kTypesetBytes;
          while (n > 0 && bits[n - 1] == 0) --n;
          out_.byte(uint8_t(n));
          out_.raw(bits, n);
        } else {
          out_.raw(bits, kTypesetBytes);
        }
        return;
      }
      case TYPE_TUPLE: {
        const uint32_t n = uint32_t(tuple::count(value));
        head(value, type, n != 3, n << kUnitSizeShift, false);
        if (compact_) {
          if (n != 3) out_.byte(uint8_t(n));
          out_.raw(tuple::bytes(value), n);
        } else {
          out_.raw(tuple::bytes(value), kPayloadBytes);
        }
        return;
      }
      case TYPE_MONEY: {
        const bool negative = value->header & money::kSignFlag;
        head(value, type, negative, negative ? kMoneyNegative : 0, false);
        out_.raw(&value->data1, kPayloadBytes);
        return;
      }
      case TYPE_ISSUE:
        head(value, type, false, 0, false);
        put_symbol(word::symbol_of(value));
        return;
      case TYPE_WORD:
      case TYPE_SET_WORD:
      case TYPE_LIT_WORD:
      case TYPE_GET_WORD:
      case TYPE_REFINEMENT:
        return write_word(value, type);
      case TYPE_MAP:
        return write_map(value);
      case TYPE_BINARY:
        return write_bytes(value, type);
      case TYPE_VECTOR:
        return write_vector(value);
      case TYPE_IMAGE:
        return write_image(value);
      case TYPE_BITSET:
        return write_bitset(value);
      case TYPE_OBJECT:
        return write_object(value, value);
      case TYPE_FUNCTION:
        return write_function(value, value);
      case TYPE_NATIVE:
      case TYPE_ACTION: {
        head(value, type, false, 0, false);
        out_.count(uint32_t(natives::code_of(value)));
        // The spec belongs to the native's own level and is not counted as an element.
        const Cell spec{TYPE_BLOCK, 0, value->data2, 0};
        write_value(&spec);
        --counter_;
        return;
      }
      case TYPE_OP: {
        const TypeId source_type = natives::op_source(value);
        if (source_type == TYPE_ROUTINE) refuse(value);
        head(value, type, false, source_type << natives::kOpSourceShift, false);
        Cell source = *value;
        source.header = (value->header & ~(kTypeMask | natives::kOpSourceMask | kNewLineFlag)) |
                        source_type;
        write_record(&source);
        return;
      }
      case TYPE_ERROR:
        return write_error(value);
      default:
        refuse(value);
    }
  }

  // Series of every kind: a reference when the buffer was written before, else `content` one
  // level down. `head_bits` tells whether the type carries a head index.
  template <class Content>
  void write_series(const Cell* value, TypeId type, uint32_t bits, bool with_head, bool flag,
                    Content content) {
    // A head past the tail is written as the tail, which is where it reads.
    const SeriesBuffer* buffer = memory::buffer_of(value->node());
    const uint32_t units = buffer->used_bytes() >> SeriesBuffer::unit_shift(buffer->unit());
    const uint32_t head_index = std::min(value->head_index(), units);
    const int64_t found = find(value->node());
    const bool compact_head = with_head && head_index != 0;
    head(value, type, compact_ ? (with_head ? compact_head : flag) : false, bits, found >= 0);
    if (with_head && (compact_head || !compact_)) out_.count(head_index);
    if (found >= 0) return put_path(uint32_t(found));
    descend(value->node(), content);
  }

  void write_block(const Cell* value, TypeId type) {
    write_series(value, type, 0, true, false, [&] {
      const uint32_t count = memory::buffer_of(value->node())->used_bytes() / sizeof(Cell);
      out_.count(count);
      for (uint32_t i = 0; i < count; ++i) write_value(cell_at(value->node(), i));
    });
  }

  // The units of a text or binary from the buffer's start.
  void write_units(const Cell* value, uint32_t unit) {
    SeriesBuffer* buffer = memory::buffer_of(value->node());
    const uint32_t bytes = buffer->used_bytes();
    const uint32_t count = bytes / unit;
    if (compact_ && value->type() != TYPE_BINARY) out_.leb128(count << kUnitShift | log2_unit(unit));
    else out_.count(count);
    out_.raw(buffer->head_ptr(), bytes);
    out_.pad_to_word();
  }

  void write_text(const Cell* value, TypeId type) {
    const uint32_t unit = memory::buffer_of(value->node())->unit();
    write_series(value, type, unit << kUnitSizeShift, true, false,
                 [&] { write_units(value, unit); });
  }

  void write_bytes(const Cell* value, TypeId type) {
    write_series(value, type, 1u << kUnitSizeShift, true, false, [&] { write_units(value, 1); });
  }

  void write_vector(const Cell* value) {
    const uint32_t unit = vector::unit(value);
    write_series(value, TYPE_VECTOR, unit << kUnitSizeShift, true, false, [&] {
      SeriesBuffer* buffer = vector::buffer_of(value);
      const uint32_t count = buffer->used_bytes() / unit;
      if (compact_) {
        out_.byte(uint8_t(uint32_t(vector::element_type(value)) << kUnitShift | log2_unit(unit)));
        out_.count(count);
      } else {
        out_.count(count);
        out_.count(vector::element_type(value));
      }
      out_.raw(buffer->head_ptr(), buffer->used_bytes());
      out_.pad_to_word();
    });
  }

  // The size (width and height, or one word of width with height above it), then the pixels
  // as stored: words of B, G, R, A bytes, alpha 255 for opaque. An image with no pixels has no
  // record to refer to.
  void write_image(const Cell* value) {
    const uint32_t width = image::width_of(value), height = image::height_of(value);
    auto content = [&] {
      if (compact_) {
        out_.count(width);
        out_.count(height);
      } else {
        out_.int32(height << image::kSideBits | width);
      }
      if (value->node() != kNoNode)
        out_.raw(bitmap::read_pixels(value->node()), size_t(width) * height * bitmap::kBytesPerPixel);
    };
    if (value->node() != kNoNode) return write_series(value, TYPE_IMAGE, 0, true, false, content);
    head(value, TYPE_IMAGE, false, 0, false);
    if (!compact_) out_.count(0);
    content();
  }

  void write_bitset(const Cell* value) {
    const bool complemented = bitset::complemented(value);
    write_series(value, TYPE_BITSET, complemented ? kBitsetComplemented : 0, false, complemented,
                 [&] {
                   SeriesBuffer* buffer = bitset::buffer_of(value);
                   out_.count(buffer->used_bytes());
                   out_.raw(buffer->head_ptr(), buffer->used_bytes());
                   out_.pad_to_word();
                 });
  }

  void write_map(const Cell* value) {
    write_series(value, TYPE_MAP, 0, false, false, [&] {
      const uint32_t cells = memory::buffer_of(value->node())->used_bytes() / sizeof(Cell);
      out_.count(uint32_t(map::count(value)) * 2);
      for (uint32_t i = 0; i + 1 < cells; i += 2) {
        if (cell_at(value->node(), i + 1)->header == 0) continue;   // a removed entry
        write_value(cell_at(value->node(), i));
        write_value(cell_at(value->node(), i + 1));
      }
    });
  }

  // A context section: its kind and flags, the words, and the values when they live in it.
  void write_section(NodeId context) {
    const uint32_t flags = context::context_cell(context)->header;
    const uint32_t kind = context::kind_of(context);
    const bool on_stack = flags & context::kOnStackFlag;
    const bool object = flags & context::kObjectFlag;
    const int32_t count = context::word_count(context);
    const Cell* values = on_stack ? nullptr : context::values(context);
    bool any_value = false;
    for (int32_t i = 0; values && i < count; ++i) any_value |= !values[i].is(TYPE_UNSET);
    if (compact_) {
      out_.byte(kContextMark);
      out_.byte(uint8_t(kind | (on_stack ? kSectionOnStack : 0) | (object ? kSectionObject : 0) |
                        (any_value ? kSectionValues : 0)));
    } else {
      out_.int32(kContextMark | kind << kFixedKindShift | (object ? kFixedSectionObject : 0) |
                 (on_stack ? kFixedSectionOnStack : 0) | (any_value ? kFixedSectionValues : 0));
    }
    out_.count(uint32_t(count));
    const Cell list = context::word_list(context);
    for (int32_t i = 0; i < count; ++i)
      put_symbol(word::symbol_of(memory::buffer_of(list.node())->cells() + i));
    for (int32_t i = 0; any_value && i < count; ++i)
      write_value(context::values(context) + i);
  }

  // An object record; `holder` is the value whose record this is (the object, or a word that
  // stands for it).
  void write_object(const Cell* object, const Cell* holder) {
    const NodeId context = object->data1;
    const int32_t found = int32_t(find(context));
    const bool hooks = object->data3 != kNoNode;
    head(holder == object ? object : &kPlain, TYPE_OBJECT, found < 0 && hooks,
         hooks && found < 0 ? kObjectHooks : 0, found >= 0);
    if (found >= 0) return put_path(uint32_t(found));
    descend(context, [&] {
      out_.signed_value(int32_t(object->data2));
      if (hooks) {
        out_.signed_value(context::find_word(context, word::symbol_of(&words::w.on_change), true));
        out_.signed_value(
            context::find_word(context, word::symbol_of(&words::w.on_deep_change), true));
      }
      write_section(context);
    });
  }

  void write_function(const Cell* function, const Cell* holder) {
    const NodeId context = function->data1;
    const int32_t found = int32_t(find(context));
    head(holder == function ? function : &kPlain, TYPE_FUNCTION, false, 0, found >= 0);
    if (found >= 0) return put_path(uint32_t(found));
    descend(context, [&] {
      const Cell spec = function::spec_block(function);
      const Cell body = *function::body(function);
      out_.count(std::max(cell_count(spec.node()), 1u));
      out_.count(body.is(TYPE_BLOCK) ? std::max(cell_count(body.node()), 1u) : 1u);
      write_section(context);
      counter_ = 0;
      write_value(&spec);
      counter_ = 1;
      if (body.is(TYPE_BLOCK)) {
        write_value(&body);
      } else {
        Cell empty_body{TYPE_BLOCK, 0, 0, 0};
        write_empty_block(&empty_body);
      }
    });
  }

  // A body-less function (made by the runtime) is written with an empty body.
  void write_empty_block(const Cell* value) {
    head(value, TYPE_BLOCK, false, 0, false);
    if (!compact_) out_.count(0);
    out_.count(0);
    ++counter_;
  }

  // Words bound to the global context are their symbol; others add their index and their
  // owner: a path to it, or its record here (the word then stands for the owner in paths).
  void write_word(const Cell* value, TypeId type) {
    const NodeId context = word::context_of(value);
    const Cell* owner = context && context != context::global() ? context::owner_cell(context)
                                                                : nullptr;
    const bool bound = owner && (owner->is(TYPE_OBJECT) || owner->is(TYPE_FUNCTION));
    if (!bound) {
      head(value, type, false, kGlobalWord, false);
      put_symbol(word::symbol_of(value));
      if (!compact_) out_.int32(value->data3);
      return;
    }
    const int64_t found = find(context);
    head(value, type, true, 0, found >= 0);
    put_symbol(word::symbol_of(value));
    out_.signed_value(word::index_of(value));
    if (found >= 0) return put_path(uint32_t(found));
    if (owner->is(TYPE_OBJECT)) write_object(owner, value);
    else write_function(owner, value);
  }

  void write_error(const Cell* value) {
    head(value, TYPE_ERROR, false, 0, false);
    descend(kNoNode, [&] {
      const Cell* values = context::values(value->data1);
      out_.count(uint32_t(values[0].data2));
      for (int32_t field = 3; field <= 8; ++field) write_value(context::values(value->data1) + field);
    });
  }

  static constexpr Cell kPlain{TYPE_NONE, 0, 0, 0};   // a head without the new-line mark
};

}  // namespace

Cell encode(const Cell* value, bool compact) {
  Writer writer(compact);
  writer.write_root(value);
  const std::string stream = writer.finish();
  return binary::load(stream);
}

}  // namespace xol::xolbin
