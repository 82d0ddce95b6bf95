# Compiler flags shared by every target. The engine is built without exceptions and RTTI everywhere;
# the tool's front-end (CLI11) keeps the language defaults.
set(ZOR_WARNINGS -Wall -Wextra)
if(ZOR_WERROR)
  list(APPEND ZOR_WARNINGS -Werror)
endif()

# Flags for code that must also run inside the stub: no exceptions, no RTTI, no unwind tables.
set(ZOR_ENGINE_FLAGS -fno-exceptions -fno-rtti)

if(ZOR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(ZOR_BUILD_STUB)
  # The stub has no C runtime: its own entry point, only kernel32/user32/gdi32, smallest code.
  set(ZOR_STUB_COMPILE_FLAGS -Os -fno-exceptions -fno-rtti -fno-threadsafe-statics
      -ffunction-sections -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-ident
      -fno-stack-protector)
  set(ZOR_STUB_LINK_FLAGS -static -mwindows -nostdlib -s -Wl,--gc-sections -Wl,--disable-dynamicbase
      -Wl,--disable-reloc-section -Wl,--no-insert-timestamp -Wl,-e,_entry@0
      -Wl,-T,${PROJECT_SOURCE_DIR}/cmake/stub.ld)
  # libgcc supplies the stack probe for large frames and 64-bit arithmetic helpers.
  set(ZOR_STUB_LIBS kernel32 user32 gdi32 gcc)
  # Link-time optimisation across the engine and the stub: about a tenth smaller code, which the 24 KiB
  # limit needs now that the decoders and the driver are linked in.
  set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
endif()

if(ZOR_BUILD_STUB)
  # The stub links exactly the libraries named above, none of the platform's defaults.
  set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
  set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
endif()

# Build steps written in Python: the stub's icon and its integrity stamp, test fixtures.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
