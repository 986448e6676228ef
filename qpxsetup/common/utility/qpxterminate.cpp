// The programs' terminate handler: an exception nobody catches ends the process at once. The
// C++ runtime's own handler would print the exception's demangled type to a console these
// GUI programs do not have, and its name demangler adds 45 KiB to each of them.
#include <cstdlib>

namespace __gnu_cxx {

// Replaces the runtime's handler of the same name; it must be linked as an object, before
// the runtime library is searched.
void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
