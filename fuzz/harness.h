// What the library's fuzz targets share: a platform on a virtual clock with
// its drive root in a private temporary directory, reset for every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Resets the platform and the library's session; the drive root and the
// current directory are a private temporary directory (made once).
void fresh_platform();
const std::string& temp_dir();
// Creates an empty trace file in the drive root.
void enable_trace();
// Aborts (a finding) when `ok` is false.
void check(bool ok, const char* what);

}  // namespace fuzz
