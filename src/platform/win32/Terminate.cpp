// An uncaught text failure ends the process at once; the default handler would link in a
// demangler for a message that a GUI program has nowhere to print.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
