// What the file layer's two back-ends share: reads of the program file that keep our record of its
// position.
#include "platform/file_layer.h"

namespace zor {

int32_t ArchiveRead(FileLayer& layer, void* buffer, uint32_t count) {
  const int32_t done = FileRead(layer, layer.programFile, buffer, count);
  if (done != -1) layer.programFilePos += static_cast<uint32_t>(done);
  return done;
}

}  // namespace zor
