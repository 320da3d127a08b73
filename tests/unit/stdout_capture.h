// Test helper: runs a function with file descriptor 1 redirected to a temporary file and answers
// every byte written to it, so tests see exactly what the console layer sent to write(2).
// Assertions belong after the capture: gtest itself reports on stdout.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

namespace xol::test {

template <class Body>
std::string capture_stdout(Body&& body) {
  std::fflush(stdout);
  std::FILE* file = std::tmpfile();
  const int saved = ::dup(1);
  ::dup2(::fileno(file), 1);
  body();
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(saved);
  std::string bytes;
  std::rewind(file);
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, n);
  std::fclose(file);
  return bytes;
}

}  // namespace xol::test
