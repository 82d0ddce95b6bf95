// The stub's version in its image, as an ident-style mark ("$zorsfx: 0.1.0 (git 1a2b3c4) $") that
// `zor info` and `zor --version` look for. Nothing in the stub reads it; the linker script keeps it.
#include "zor_version.h"

extern "C" [[gnu::used, gnu::section(".rdata$zorsfx_version")]] const char zorsfxVersion[] =
    "$zorsfx: " ZOR_VERSION_TEXT " $";
