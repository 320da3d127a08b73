// http/request: one synchronous HTTP exchange for the read and write actions of url!.
//
// The transport is libcurl (platform/http.h). Without a header block three default headers go
// out; a header block replaces all of them. The answer is the body (a string!, a binary! or a
// block of lines), or with `info` the block [status headers body], where headers is a map! from
// header names (words) to their values (a string!, or a block of strings for a name that came
// more than once). The HTTP status is not interpreted: a 404 reply still answers its body.
#pragma once

#include <string>

#include "runtime/cell.h"

namespace xol::http {

// The method a word names: GET, HEAD and POST for get, head and post, any other word
// upper-cased (put sends PUT).
std::string method_name(const Cell* word);

// Performs the exchange. `headers` is a block of name/value pairs or null, `data` the body or
// null (never sent by GET or HEAD). A failed exchange raises access `no-connect` with the URL
// and the reason; a header name or value holding a line break raises script `invalid-arg`.
void request(const std::string& method, const Cell* url, const Cell* headers, const Cell* data,
             bool binary, bool lines, bool info, Cell* result);

// Starts the transport; once, at start-up.
void init();

}  // namespace xol::http
