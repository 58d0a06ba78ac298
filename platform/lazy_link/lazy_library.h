#pragma once

// A shared library loaded at the first call of one of its functions rather than when the program
// starts. The build generates, for each function the program calls, a stub that jumps through a
// slot; each slot first holds a binder that loads the library, looks the function up, stores its
// address in the slot and goes on to it with the caller's arguments untouched.

extern "C" {

struct VokaruLazyLibrary {
  const char* soname;
  const char* const* names;  // the functions, in slot order
  void** slots;
};

// Loads the library, binds slot `index` and answers the function's address. A library or
// function that can't be found ends the program with a message, as the dynamic linker does when
// a library a program needs at start is missing.
void* vokaru_lazy_bind(const VokaruLazyLibrary* library, unsigned index) noexcept;
}
