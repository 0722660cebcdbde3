#pragma once
// Whole reads of the small text files the system publishes about itself (/proc, /sys, /etc).
#include "platform/Types.h"

#include <string>

namespace platform {

// Reads at most maxBytes bytes of the file into out; false when it cannot be opened or read, or
// is not a regular file (a pipe, a device or a folder is refused without waiting).
// Files longer than the limit give their first maxBytes bytes.
bool ReadSmallFile(const std::string& path, u32 maxBytes, std::string& out);

// The first line of a small file without its line end and surrounding blanks; empty when the
// file cannot be read.
std::string ReadFirstLine(const std::string& path);

} // namespace platform
