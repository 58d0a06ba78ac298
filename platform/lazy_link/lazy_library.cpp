#include "platform/lazy_link/lazy_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const char* detail) {
  std::fprintf(stderr, "vokaru: %s: %s\n", what, detail ? detail : "unknown error");
  std::abort();
}

}  // namespace

extern "C" void* vokaru_lazy_bind(const VokaruLazyLibrary* library, unsigned index) noexcept {
  // The loader counts references itself, so each binding opens the library again rather than
  // sharing a handle between threads.
  void* handle = dlopen(library->soname, RTLD_NOW | RTLD_LOCAL);
  if (!handle) fail(library->soname, dlerror());
  void* address = dlsym(handle, library->names[index]);
  if (!address) fail(library->names[index], dlerror());
  // Another thread may jump through the slot meanwhile: it sees the binder or the function.
  __atomic_store_n(&library->slots[index], address, __ATOMIC_RELEASE);
  return address;
}

// Called by each slot's binder with the library in r10 and the slot in r11, registers that carry
// no arguments. It keeps every argument register (and al, the vector count of variadic calls)
// across the binding, then jumps to the function as if the caller had called it.
asm(R"(
  .pushsection .text.vokaru_lazy_trampoline,"ax",@progbits
  .globl vokaru_lazy_trampoline
  .hidden vokaru_lazy_trampoline
  .type vokaru_lazy_trampoline, @function
  .p2align 4
vokaru_lazy_trampoline:
  .cfi_startproc
  pushq %rdi
  .cfi_adjust_cfa_offset 8
  pushq %rsi
  .cfi_adjust_cfa_offset 8
  pushq %rdx
  .cfi_adjust_cfa_offset 8
  pushq %rcx
  .cfi_adjust_cfa_offset 8
  pushq %r8
  .cfi_adjust_cfa_offset 8
  pushq %r9
  .cfi_adjust_cfa_offset 8
  pushq %rax
  .cfi_adjust_cfa_offset 8
  subq $128, %rsp
  .cfi_adjust_cfa_offset 128
  movdqu %xmm0, 0(%rsp)
  movdqu %xmm1, 16(%rsp)
  movdqu %xmm2, 32(%rsp)
  movdqu %xmm3, 48(%rsp)
  movdqu %xmm4, 64(%rsp)
  movdqu %xmm5, 80(%rsp)
  movdqu %xmm6, 96(%rsp)
  movdqu %xmm7, 112(%rsp)
  movq %r10, %rdi
  movl %r11d, %esi
  call vokaru_lazy_bind@PLT
  movq %rax, %r11
  movdqu 0(%rsp), %xmm0
  movdqu 16(%rsp), %xmm1
  movdqu 32(%rsp), %xmm2
  movdqu 48(%rsp), %xmm3
  movdqu 64(%rsp), %xmm4
  movdqu 80(%rsp), %xmm5
  movdqu 96(%rsp), %xmm6
  movdqu 112(%rsp), %xmm7
  addq $128, %rsp
  .cfi_adjust_cfa_offset -128
  popq %rax
  .cfi_adjust_cfa_offset -8
  popq %r9
  .cfi_adjust_cfa_offset -8
  popq %r8
  .cfi_adjust_cfa_offset -8
  popq %rcx
  .cfi_adjust_cfa_offset -8
  popq %rdx
  .cfi_adjust_cfa_offset -8
  popq %rsi
  .cfi_adjust_cfa_offset -8
  popq %rdi
  .cfi_adjust_cfa_offset -8
  jmp *%r11
  .cfi_endproc
  .size vokaru_lazy_trampoline, .-vokaru_lazy_trampoline
  .popsection
)");
