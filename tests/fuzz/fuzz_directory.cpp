// Fuzz target: the directory walk over an input that holds the archive's directory segments.
#include "archive/directory.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  fuzz::FuzzInput in(data, size);
  uint32_t entries = in.Below(64, 1);
  test::DecoderFixture f;
  f.SetProgram(in.Rest());
  f.archiveOffset = 0;
  if (f.BeginDirectory(0) != 0) return 0;
  for (uint32_t i = 0; i < entries; ++i) {
    DirectoryEntry e;
    const uint8_t* name = nullptr;
    if (NextDirectoryEntry(f.directory(), f.d(), e, name) != 0) break;
    const uint8_t* buffer = f.directory().directoryBuffer;
    if (name < buffer || name + e.nameLength > buffer + kDirectoryChunkMax) __builtin_trap();
  }
  return 0;
}
