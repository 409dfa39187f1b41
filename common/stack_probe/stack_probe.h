// Calls a function found at run time (a DLL export) through a pointer of the
// type an application gives it, and tells how far the caller's stack pointer
// moved across the call: 0 when the function removes from the stack exactly
// what that type makes the caller expect it to (32-bit x86 only).
//
// On 32-bit Windows a stdcall function removes its arguments itself (ret N);
// a caller that types it otherwise, or with other argument sizes, is left
// with a stack pointer that is off by the difference. Nothing shows that
// at once, so the probe measures it: the call goes to an assembly thunk that
// notes the stack pointer, passes the call on with the arguments untouched,
// notes the stack pointer again when the function returns, and puts it back
// where the caller's type expects it, so that the test program survives a
// mismatch to report it.
#ifndef FIELDKIT_STACK_PROBE_H
#define FIELDKIT_STACK_PROBE_H

#include <cstddef>
#include <cstdint>

extern "C" {
// The function the thunk passes the next call on to.
extern void *fieldkit_probe_target;
// Bytes of arguments that the caller's type expects the function to remove.
extern std::uint32_t fieldkit_probe_expected_pop;
// Bytes that the function did remove, set when it returns.
extern std::int32_t fieldkit_probe_popped;
// The thunk; called only through a pointer cast to the caller's type.
void fieldkit_stack_probe(void);
}

namespace stack_probe {

// What a caller assumes of a function pointer type: who removes the
// arguments, and how many bytes they take on the stack (each rounded up to 4).
template <class F> struct CallingConvention;

template <class R, class... A> struct CallingConvention<R(__stdcall *)(A...)> {
    static constexpr bool calleeCleans = true;
    static constexpr std::size_t argumentBytes = (((sizeof(A) + 3) / 4 * 4) + ... + 0);
};

template <class R, class... A> struct CallingConvention<R(__cdecl *)(A...)> {
    static constexpr bool calleeCleans = false;
    static constexpr std::size_t argumentBytes = (((sizeof(A) + 3) / 4 * 4) + ... + 0);
};

// Calls FUNCTION as a caller typed with F does, with ARGS; returns how many
// bytes the caller's stack pointer moved across the call (0 when it did not).
template <class F, class... Args> int stackShiftOfCall(void *function, Args... args)
{
    using Convention = CallingConvention<F>;
    fieldkit_probe_target = function;
    fieldkit_probe_expected_pop = Convention::calleeCleans ? Convention::argumentBytes : 0;
    fieldkit_probe_popped = -1;
    const F probe = reinterpret_cast<F>(&fieldkit_stack_probe);
    probe(args...);
    return fieldkit_probe_popped - static_cast<int>(fieldkit_probe_expected_pop);
}

} // namespace stack_probe

#endif
