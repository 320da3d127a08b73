// Reading a whole file into memory: the one file service that running a script needs before
// the file ports exist.
#pragma once

#include <string>

namespace xol::platform {

// Replaces `contents` with the bytes of the file; false when it cannot be opened or read.
bool read_file(const char* path, std::string* contents);

}  // namespace xol::platform
