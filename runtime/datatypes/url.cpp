// url!: percent-encoding, construction from a block, mold, path navigation, and open, read
// and write: of http and https URLs through the HTTP client, of the others through a port.
//
// Percent-encoding works on the UTF-8 bytes of the text, never on code points, so a
// character outside ASCII is written as the escapes of its bytes (é as %C3%A9) and read back
// from them.
#include "runtime/datatypes/url.h"

#include <algorithm>
#include <array>
#include <string>

#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/port.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/word.h"
#include "runtime/eval/call.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/io/http.h"
#include "runtime/text/hex.h"
#include "runtime/text/utf8.h"

namespace xol::url {

namespace {

constexpr uint32_t kAsciiEnd = 0x80;
constexpr int kEscapeLength = 3;   // "%" and two digits

using KeepTable = std::array<bool, kAsciiEnd>;

constexpr KeepTable keep_table(const char* punctuation) {
  KeepTable table{};
  for (uint32_t c = 0; c < kAsciiEnd; ++c)
    table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  for (const char* p = punctuation; *p; ++p) table[uint8_t(*p)] = true;
  return table;
}

// RFC 3986's unreserved characters.
constexpr KeepTable kUrlSet = keep_table("-._~");
// What paths and URLs write as they are.
constexpr KeepTable kFileSet = keep_table("!#$&'()*+,-./:=?@_~");
// What mold writes as it is: the file set less "(" and ")", which end a url! token, so that
// the lexer reads the molded URL back whole.
constexpr KeepTable kMoldSet = keep_table("!#$&'*+,-./:=?@_~");

const KeepTable& table_of(Selector selector) {
  return selector == SELECTOR_URL ? kUrlSet : kFileSet;
}

int encode_under(const KeepTable& table, uint8_t byte, char* out) {
  if (byte < kAsciiEnd && table[byte]) {
    out[0] = char(byte);
    return 1;
  }
  out[0] = '%';
  hex::write_byte(out + 1, byte);
  return kEscapeLength;
}

// The UTF-8 bytes of `text` percent-encoded under `table`.
std::string percent_encoded(const Cell* text, const KeepTable& table) {
  std::string out;
  char escape[kEscapeLength];
  for (char c : text_construct::utf8_of(text))
    out.append(escape, size_t(encode_under(table, uint8_t(c), escape)));
  return out;
}

bool is_block_like(TypeId type) {
  return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH;
}

// scheme "://" host [":" port] then "/" and the further elements, "#" before an issue!.
Cell from_block(const Cell* spec, TypeId type) {
  uint32_t n = block::length(spec);
  if (n == 0) number::raise_bad_to_arg(type, spec);
  uint32_t head = block::head_position(spec);
  Cell made;
  string::make_at(&made, 0, type);
  auto element = [&](uint32_t i) { return *block::abs_at(spec, head + i); };
  auto form = [&](uint32_t i) {
    Cell value = element(i);
    string::form_value(&value, &made);
  };
  form(0);
  string::append_utf8(made.node(), "://");
  if (n > 1) form(1);
  uint32_t next = 2;
  if (n > 2 && element(2).is(TYPE_INTEGER)) {
    string::append_char(made.node(), ':');
    form(2);
    next = 3;
  }
  for (uint32_t i = next; i < n; ++i) {
    bool anchor = i > next && element(i).is(TYPE_ISSUE);
    string::append_char(made.node(), anchor ? '#' : '/');
    form(i);
  }
  return made;
}

}  // namespace

bool keeps(Selector selector, uint8_t byte) {
  return byte < kAsciiEnd && table_of(selector)[byte];
}

int escape_byte(uint8_t byte, char* out) {
  constexpr KeepTable kNothingKept{};
  return encode_under(kNothingKept, byte, out);
}

namespace {
// True and the byte when p (before end) holds "%" and two hexadecimal digits.
bool decode_escape(const uint8_t* p, const uint8_t* end, uint8_t* byte) {
  if (end - p < kEscapeLength || p[0] != '%') return false;
  int value = hex::byte_value(p[1], p[2]);
  if (value < 0) return false;
  *byte = uint8_t(value);
  return true;
}
}  // namespace

void decode_percent(const Cell* source, Cell* target) {
  std::string in = text_construct::utf8_of(source);
  const auto* p = reinterpret_cast<const uint8_t*>(in.data());
  const uint8_t* end = p + in.size();
  std::string out;
  while (p < end) {
    uint8_t lead;
    if (decode_escape(p, end, &lead)) {
      int n = utf8::sequence_length(lead);
      if (n == 0) {
        // A byte that starts no sequence stands for the code point of the same value.
        uint8_t encoded[utf8::kMaxSequence];
        out.append(reinterpret_cast<char*>(encoded), size_t(utf8::encode_char(lead, encoded)));
        p += kEscapeLength;
        continue;
      }
      uint8_t sequence[utf8::kMaxSequence] = {lead};
      int taken = 1;
      while (taken < n && decode_escape(p + taken * kEscapeLength, end, &sequence[taken])) ++taken;
      int32_t cp = -1;
      if (taken == n) unicode::fast_decode_utf8_char(sequence, sequence + n, &cp);
      if (cp >= 0) {
        out.append(reinterpret_cast<char*>(sequence), size_t(n));
        p += n * kEscapeLength;
        continue;
      }
    }
    // No escape taken: the UTF-8 sequence here goes through unchanged.
    int32_t cp;
    const uint8_t* next = unicode::fast_decode_utf8_char(p, end, &cp);
    out.append(reinterpret_cast<const char*>(p), size_t(next - p));
    p = next;
  }
  string::append_utf8(target->node(), out);
}

void encode_percent(const Cell* source, Cell* target, Selector selector) {
  string::append_utf8(target->node(), percent_encoded(source, table_of(selector)));
}

// ---- actions ----

namespace {
void make(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  if (is_block_like(spec->type())) return to(prototype, spec, type, result);
  string::make(prototype, spec, type, result);
}
}  // namespace

void to(const Cell* prototype, const Cell* spec, TypeId type, Cell* result) {
  if (type == TYPE_URL && is_block_like(spec->type())) {
    *result = from_block(spec, type);
    return;
  }
  string::to(prototype, spec, type, result);
}

namespace {
int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* argument,
             int32_t part, int32_t) {
  // Only a text with a scheme (a colon after a word) is a url! token at all.
  std::string text = percent_encoded(value, kMoldSet);
  if (!text_construct::reads_back(value, text))
    return text_construct::mold(value, buffer, all, argument, part);
  if (argument) text.resize(std::min(text.size(), size_t(std::max(part, 0))));
  string::append_utf8(buffer->node(), text);
  return part - int32_t(text.size());
}

void eval_path(const PathStep& step, Cell* result) {
  if (step.value) error::raise(error::CAT_SCRIPT, "bad-path-set", step.path, step.element);
  Cell element = *step.element;
  if (element.is(TYPE_GET_WORD)) element = word::get_checked(&element);
  const Cell* url = step.parent;
  Cell text;
  string::make_at_unit(&text, 0, string::unit_of(string::buffer_of(url)));
  string::form_value(&element, &text);
  Cell made = string::copy_text(url, url->type());
  uint32_t n = string::length(url);
  bool url_slash = n > 0 && string::abs_at(url, url->head_index() + n - 1) == '/';
  bool text_slash = !string::at_tail(&text) && string::head_char(&text) == '/';
  if (url_slash && text_slash) text.data1 += 1;
  if (!url_slash && !text_slash) string::append_char(made.node(), '/');
  string::concatenate(&made, &text, -1, 0, true, string::CONCAT_APPEND);
  *result = made;
}
}  // namespace

void refuse(const Cell* refinement) {
  if (refinement) error::raise(error::CAT_INTERNAL, "not-done");
}

namespace {

// The HTTP client serves URLs whose text begins with "http" (https too); the others go to a
// port.
bool http_url(const Cell* url) { return text_construct::utf8_of(url).starts_with("http"); }

[[noreturn]] void invalid_arg(const Cell* value) {
  error::raise(error::CAT_SCRIPT, "invalid-arg", value);
}

// url/open-port: the library's URL parser (url-parser/parse-url) makes the port's spec object.
Cell open_port(const Cell* url) {
  const Cell parser_word = word::load("url-parser");
  const Cell parse_word = word::load("parse-url");
  const Cell* parser = call::get_value(&parser_word);
  const Cell* parse = parser->is(TYPE_OBJECT) ? object::select_slot(parser, &parse_word)
                                              : nullptr;
  if (!parse) invalid_arg(&parser_word);
  Cell spec;
  call::value(parse, &parse_word, url, 1, &spec);
  if (!spec.is(TYPE_OBJECT)) invalid_arg(url);
  Cell port;
  const Cell type = datatype::make(TYPE_PORT);
  port::make(&type, &spec, TYPE_PORT, &port);
  return port;
}

void open(Cell* url, const OpenOptions& options, Cell* result) {
  Cell port = open_port(url);
  actions::get<ACT_OPEN>(TYPE_PORT)(&port, options, result);
}

void read(Cell* source, const ReadOptions& options, Cell* result) {
  if (!http_url(source)) {
    Cell port = open_port(source);
    return actions::get<ACT_READ>(TYPE_PORT)(&port, options, result);
  }
  refuse(options.part);
  refuse(options.seek);
  refuse(options.as);
  http::request("GET", source, nullptr, nullptr, options.binary, options.lines, options.info,
                result);
}

// A block value is [method headers data], each part optional; any other value is POSTed.
void write(Cell* destination, Cell* value, const WriteOptions& options, Cell* result) {
  if (!http_url(destination)) {
    Cell port = open_port(destination);
    return actions::get<ACT_WRITE>(TYPE_PORT)(&port, value, options, result);
  }
  refuse(options.seek);
  refuse(options.allow);
  refuse(options.as);
  std::string method = "POST";
  const Cell* headers = nullptr;
  const Cell* data = value;
  if (value->is(TYPE_BLOCK)) {
    const Cell* items = block::head(value);
    const uint32_t n = block::length(value);
    method = "GET";
    if (n >= 1) {
      if (!items[0].is(TYPE_WORD)) invalid_arg(items);
      method = http::method_name(items);
    }
    if (n >= 2 && !items[1].is(TYPE_BLOCK)) invalid_arg(items + 1);
    headers = n >= 2 ? items + 1 : nullptr;
    data = n >= 3 ? items + 2 : n ? nullptr : value;
  }
  if (data && !data->is(TYPE_NONE) && !data->is(TYPE_BLOCK) && !data->is(TYPE_STRING) &&
      !data->is(TYPE_BINARY))
    invalid_arg(data);
  http::request(method, destination, headers, data, options.binary, options.lines,
                options.info, result);
}

}  // namespace

void init() {
  using actions::own;
  datatype::register_type(
      TYPE_URL, TYPE_STRING, "url!",
      actions::ActionList()
          .own(own<ACT_MAKE>(make))
          .own(own<ACT_TO>(to))
          .own(own<ACT_MOLD>(mold))
          .own(own<ACT_EVAL_PATH>(eval_path))
          .own(own<ACT_OPEN>(open))
          .own(own<ACT_READ>(read))
          .own(own<ACT_WRITE>(write))
          .inherit({ACT_FORM, ACT_COMPARE, ACT_APPEND, ACT_AT, ACT_BACK, ACT_CHANGE, ACT_CLEAR,
                    ACT_COPY, ACT_FIND, ACT_HEAD, ACT_HEAD_Q, ACT_INDEX_Q, ACT_INSERT,
                    ACT_LENGTH_Q, ACT_MOVE, ACT_NEXT, ACT_PICK, ACT_POKE, ACT_REMOVE,
                    ACT_REVERSE, ACT_SELECT, ACT_SKIP, ACT_SWAP, ACT_TAIL, ACT_TAIL_Q,
                    ACT_TAKE, ACT_MODIFY}));
}

}  // namespace xol::url
