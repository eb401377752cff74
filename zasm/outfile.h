// Writing an output file whole or not at all.
#pragma once

#include <string>

namespace zasm {

// Writes data to the file name through a temporary file in the same folder,
// renamed over the name only when everything is written: an existing file
// is never left half-written. A name that is not a regular file (a device,
// a pipe) is written directly, and "-" is standard output. Returns "" or
// the message: "write error: " and the host's text when the writing fails,
// the name and the host's text when the file cannot be made.
std::string write_file(const std::string& name, const std::string& data);

// Reads a whole file into text; returns "" or the host's text.
std::string read_file(const std::string& name, std::string& text);

}  // namespace zasm
