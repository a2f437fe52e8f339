// Replaces libstdc++'s default terminate handler, whose message names the
// exception's demangled type: that pulls in the whole demangler (about 46 KB)
// for a GUI program that has no console to print to and throws nothing.
// Linked into the executable itself, ahead of libstdc++, so libstdc++'s own
// definition is never taken.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler();
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
