// http/request over the platform's transport (see http.h).
//
// Header text from the network is kept whatever its bytes: names and values are decoded as OS
// text, so a stray Latin-1 byte survives instead of failing the whole reply.
#include "runtime/io/http.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/http.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block_storage.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/string_storage.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_types.h"
#include "runtime/datatypes/url.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/value_ops.h"
#include "runtime/datatypes/error_raise.h"
#include "runtime/io/files.h"
#include "runtime/text/utf8.h"

namespace xol::http {
namespace {

// Room of the response headers map, and of a repeated header's block of values.
constexpr int32_t kHeadersRoom = 20;
constexpr int32_t kRepeatRoom = 4;

const platform::HttpHeaders kDefaultHeaders = {
    {"Content-Type", "application/x-www-form-urlencoded"},
    {"Accept-Charset", "UTF-8"},
    {"User-Agent", "Mozilla/5.0 (X11; Linux x86_64)"},
};

struct NamedMethod {
  const char* word;
  const char* method;
};
constexpr NamedMethod kMethods[] = {{"get", "GET"}, {"head", "HEAD"}, {"post", "POST"}};

// The text of a value: a string! as it is, any other value formed.
std::string text_of(const Cell* value) {
  if (value->is(TYPE_STRING)) return text_construct::utf8_of(value);
  Cell formed;
  values::form_value(value, kNoPartLimit, &formed);
  return text_construct::utf8_of(&formed);
}

// A header's text may not hold a line break: it would end the header on the wire.
std::string header_text(const Cell* value, std::string text) {
  if (text.find_first_of("\r\n") != std::string::npos)
    error::raise(error::CAT_SCRIPT, "invalid-arg", value);
  return text;
}

platform::HttpHeaders headers_of(const Cell* block) {
  platform::HttpHeaders headers;
  const Cell* cells = block::head(block);
  for (uint32_t i = 0; i + 1 < block::length(block); i += 2) {
    const Cell* name = cells + i;
    const bool spelled = name->type() >= TYPE_WORD && name->type() <= TYPE_GET_WORD;
    std::string name_text = spelled ? std::string(symbol::name(word::symbol_of(name)))
                                    : text_of(name);
    headers.emplace_back(header_text(name, std::move(name_text)),
                         header_text(cells + i + 1, text_of(cells + i + 1)));
  }
  return headers;
}

std::string body_of(const Cell* data) {
  if (data->is(TYPE_BINARY)) return std::string(binary::bytes(data));
  return text_of(data);
}

// The URL as it goes on the wire: bytes that can never stand bare in a URL (controls, space,
// DEL and every byte of a character outside ASCII) are percent-escaped; the rest, escapes
// already there included, go as they are.
std::string wire_url(const Cell* url) {
  constexpr uint8_t kFirstBare = 0x21, kDelete = 0x7F;
  std::string wire;
  for (const char c : text_construct::utf8_of(url)) {
    const uint8_t byte = uint8_t(c);
    if (byte >= kFirstBare && byte < kDelete) {
      wire += c;
    } else {
      char escape[3];
      wire.append(escape, size_t(url::escape_byte(byte, escape)));
    }
  }
  return wire;
}

Cell os_text(const std::string& text, TypeId type = TYPE_STRING) {
  Cell made;
  string::make_at(&made, uint32_t(text.size()), type);
  utf8::load_os_text(reinterpret_cast<const uint8_t*>(text.data()), text.size(), made.node());
  return made;
}

// The map of header names to values; a name that came more than once (in any letter case)
// gets the block of all its values, in order of arrival, under its first spelling.
Cell headers_map(const platform::HttpHeaders& headers) {
  struct Group {
    const std::string* name;
    std::vector<const std::string*> values;
  };
  std::vector<Group> groups;
  std::unordered_map<std::string, size_t> group_of;   // by the name in lower case
  for (const auto& [name, value] : headers) {
    std::string folded = name;
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](char c) { return char(std::tolower(uint8_t(c))); });
    const auto [found, added] = group_of.try_emplace(std::move(folded), groups.size());
    if (added) groups.push_back({&name, {}});
    groups[found->second].values.push_back(&value);
  }
  Cell map;
  map::make_at(&map, std::max<int32_t>(kHeadersRoom, int32_t(groups.size())));
  for (const Group& group : groups) {
    Cell key;
    word::make_at(symbol::make(*group.name), &key);
    Cell value = os_text(*group.values[0]);
    if (group.values.size() > 1) {
      Cell first = value;
      block::make_at(&value, std::max<int32_t>(kRepeatRoom, int32_t(group.values.size())));
      block::append_cell(&value, &first);
      for (size_t i = 1; i < group.values.size(); ++i) {
        Cell more = os_text(*group.values[i]);
        block::append_cell(&value, &more);
      }
    }
    Cell ignored;
    map::put(&map, &key, &value, false, &ignored);
  }
  return map;
}

Cell body_value(const std::string& body, bool binary, bool lines) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(body.data());
  if (binary) return binary::load(body);
  if (lines) return simple_io::split_lines(bytes, body.size());
  return simple_io::string_from_bytes(bytes, body.size(), false);
}

}  // namespace

std::string method_name(const Cell* word) {
  const std::string_view spelling = symbol::name(word::symbol_of(word));
  for (const NamedMethod& named : kMethods)
    if (symbol::resolve(symbol::make(named.word)) == symbol::resolve(word::symbol_of(word)))
      return named.method;
  std::string method(spelling);
  std::transform(method.begin(), method.end(), method.begin(),
                 [](char c) { return char(std::toupper(uint8_t(c))); });
  return method;
}

void request(const std::string& method, const Cell* url, const Cell* headers, const Cell* data,
             bool binary, bool lines, bool info, Cell* result) {
  platform::HttpRequest exchange{method, wire_url(url),
                                 headers ? headers_of(headers) : kDefaultHeaders, {}};
  if (data && !data->is(TYPE_NONE) && method != "GET" && method != "HEAD")
    exchange.body = body_of(data);
  platform::HttpResponse response;
  if (!platform::http_exchange(exchange, platform::HttpSettings{}, &response)) {
    Cell reason = os_text(response.failure);
    error::raise(error::CAT_ACCESS, "no-connect", url, &reason);
  }
  Cell body = body_value(response.body, binary, lines);
  if (!info) {
    *result = body;
    return;
  }
  Cell answer;
  block::make_at(&answer, 3);
  Cell status = integer::make(int32_t(response.status));
  block::append_cell(&answer, &status);
  Cell map = headers_map(response.headers);
  block::append_cell(&answer, &map);
  block::append_cell(&answer, &body);
  *result = answer;
}

void init() { platform::http_init(); }

}  // namespace xol::http
