// The version of this build, and the version mark a self-extractor stub carries in its image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zor {

// "0.1.0 (git 1a2b3c4)": the project's version and, when built from a checkout, its git description.
const char* VersionText();

// Finds the stub's version mark ("$zorsfx: TEXT $") in `size` bytes of an image and returns TEXT; empty
// when there is none.
std::string FindStubVersion(const uint8_t* image, size_t size);

// What `zor --version` and `zor version` print (two lines, no newline at the end): the tool's version and
// that of the stub it writes.
std::string VersionReport();

}  // namespace zor
