// The thunk of stack_probe.h, for 32-bit x86 with the MinGW symbol prefix (_).
// Called in place of the target: the return address is set aside and replaced
// by the thunk's own, so the target finds its arguments where its caller put
// them. On return only ECX and the flags are changed, which no caller keeps
// across a call; EAX and EDX (the result) are left alone.
#include "stack_probe.h"

#if !defined(__i386__)
#error "the stack probe is for 32-bit x86 only"
#endif

extern "C" {
void *fieldkit_probe_target = nullptr;
std::uint32_t fieldkit_probe_expected_pop = 0;
std::int32_t fieldkit_probe_popped = 0;
}

asm(R"(
    .data
    .balign 4
probe_return:
    .long 0
probe_arguments:
    .long 0

    .text
    .globl _fieldkit_stack_probe
_fieldkit_stack_probe:
    popl probe_return
    movl %esp, probe_arguments
    pushl $probe_back
    jmp *_fieldkit_probe_target
probe_back:
    movl %esp, %ecx
    subl probe_arguments, %ecx
    movl %ecx, _fieldkit_probe_popped
    movl probe_arguments, %esp
    addl _fieldkit_probe_expected_pop, %esp
    jmp *probe_return
)");
