// What the compiler and the engine expect from a C runtime that the stub does not link: the memory
// primitives (memchr serves the call filter's scan), and the pure-virtual trap.
#include <stddef.h>

#include <windows.h>

extern "C" {

// String instructions are the smallest code for these on x86, and the compiler cannot turn them back into
// calls to themselves.
void* memcpy(void* destination, const void* source, size_t count) {
  void* result = destination;
  asm volatile("rep movsb" : "+D"(destination), "+S"(source), "+c"(count) : : "memory");
  return result;
}

void* memset(void* destination, int value, size_t count) {
  void* result = destination;
  asm volatile("rep stosb" : "+D"(destination), "+c"(count) : "a"(value) : "memory");
  return result;
}

void* memmove(void* destination, const void* source, size_t count) {
  if (destination <= source) return memcpy(destination, source, count);
  void* result = destination;
  const char* from = static_cast<const char*>(source) + count - 1;
  char* to = static_cast<char*>(destination) + count - 1;
  asm volatile("std\n\trep movsb\n\tcld" : "+D"(to), "+S"(from), "+c"(count) : : "memory");
  return result;
}

int memcmp(const void* a, const void* b, size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(a);
  const unsigned char* q = static_cast<const unsigned char*>(b);
  for (; count; --count, ++p, ++q) {
    if (*p != *q) return *p - *q;
  }
  return 0;
}

void* memchr(const void* source, int value, size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(source);
  for (; count; --count, ++p) {
    if (*p == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(p);
  }
  return nullptr;
}

// Only reachable through a broken object; end quietly like every other exit of the stub.
void __cxa_pure_virtual() { ExitProcess(0); }

}  // extern "C"
