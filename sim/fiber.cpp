#include "sim/fiber.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define SIM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_ASAN 1
#endif
#endif

#if defined(SIM_ASAN)
#include <sanitizer/common_interface_defs.h>
#endif

#if !defined(__x86_64__)
#error "the virtual board's context switch is written for x86-64"
#endif

// sim_switch_stack(void** saveSp, void* newSp): saves the callee-saved
// registers, the SSE control word and the x87 control word on the current
// stack, stores the stack pointer through saveSp, and resumes the context
// whose stack pointer is newSp.
// sim_fiber_trampoline: the first return address of a new fiber; calls
// sim_fiber_main(r12).
asm(R"(
    .text
    .globl sim_switch_stack
    .type sim_switch_stack,@function
sim_switch_stack:
    pushq %rbp
    pushq %rbx
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    subq $8, %rsp
    stmxcsr (%rsp)
    fnstcw 4(%rsp)
    movq %rsp, (%rdi)
    movq %rsi, %rsp
    ldmxcsr (%rsp)
    fldcw 4(%rsp)
    addq $8, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rbx
    popq %rbp
    ret
    .size sim_switch_stack,.-sim_switch_stack

    .globl sim_fiber_trampoline
    .type sim_fiber_trampoline,@function
sim_fiber_trampoline:
    movq %r12, %rdi
    call sim_fiber_main@PLT
    ud2
    .size sim_fiber_trampoline,.-sim_fiber_trampoline
)");

extern "C" void sim_switch_stack(void** saveSp, void* newSp);
extern "C" void sim_fiber_trampoline();

namespace sim {

void FiberMainThunk(void* arg) { Fiber::Entry(static_cast<Fiber*>(arg)); }

}  // namespace sim

extern "C" [[noreturn]] void sim_fiber_main(void* arg) {
  sim::FiberMainThunk(arg);
  std::fputs("virtual board: a fiber body returned\n", stderr);
  std::abort();
}

namespace sim {

namespace {
// The context that switched last; the switched-in side completes the
// sanitizer hand-over with it.
Fiber* g_pSwitchFrom = nullptr;
}  // namespace

Fiber::Fiber() = default;

Fiber::Fiber(size_t stackBytes, std::function<void()> body) : m_body(std::move(body)) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  m_stackBytes = (stackBytes + page - 1) / page * page;
  m_mapBytes = m_stackBytes + page;
  m_stack = mmap(nullptr, m_mapBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (m_stack == MAP_FAILED) {
    std::perror("virtual board: fiber stack");
    std::abort();
  }
  // The guard page below the stack turns an overflow into a fault.
  mprotect(m_stack, page, PROT_NONE);
  m_stackLow = static_cast<char*>(m_stack) + page;
  m_asanBottom = m_stackLow;
  m_asanSize = m_stackBytes;
  Prepare();
}

Fiber::~Fiber() {
  if (m_stack != nullptr) munmap(m_stack, m_mapBytes);
}

void Fiber::Prepare() {
  // Initial frame, as sim_switch_stack expects to find it: control words,
  // r15..r12, rbx, rbp, then the trampoline as return address. After the
  // trampoline is entered the stack pointer is 16-byte aligned.
  auto top = reinterpret_cast<uintptr_t>(m_stackLow) + m_stackBytes;
  top &= ~static_cast<uintptr_t>(15);
  auto* ret = reinterpret_cast<uint64_t*>(top - 24);
  ret[0] = reinterpret_cast<uint64_t>(&sim_fiber_trampoline);
  uint64_t* regs = ret - 6;  // r15, r14, r13, r12, rbx, rbp
  regs[0] = 0;
  regs[1] = 0;
  regs[2] = 0;
  regs[3] = reinterpret_cast<uint64_t>(this);  // r12
  regs[4] = 0;
  regs[5] = 0;
  auto* ctl = reinterpret_cast<uint32_t*>(regs - 1);
  ctl[0] = 0x1F80;  // MXCSR default
  ctl[1] = 0x037F;  // x87 control word default
  m_sp = regs - 1;
  m_fakeStack = nullptr;
}

void Fiber::Restart() {
  if (m_stack != nullptr) Prepare();
}

void Fiber::Entry(Fiber* self) {
  self->FinishSwitchIn();
  self->m_body();
}

void Fiber::FinishSwitchIn() {
#if defined(SIM_ASAN)
  const void* fromBottom = nullptr;
  size_t fromSize = 0;
  __sanitizer_finish_switch_fiber(m_fakeStack, &fromBottom, &fromSize);
  if (g_pSwitchFrom != nullptr && !g_pSwitchFrom->HasOwnStack()) {
    g_pSwitchFrom->m_asanBottom = fromBottom;
    g_pSwitchFrom->m_asanSize = fromSize;
  }
#endif
}

void Fiber::Switch(Fiber& from, Fiber& to, bool bExiting) {
  g_pSwitchFrom = &from;
#if defined(SIM_ASAN)
  __sanitizer_start_switch_fiber(bExiting ? nullptr : &from.m_fakeStack, to.m_asanBottom, to.m_asanSize);
#else
  (void)bExiting;
#endif
  sim_switch_stack(&from.m_sp, to.m_sp);
  // Resumed: someone switched back to `from`.
  from.FinishSwitchIn();
}

}  // namespace sim
