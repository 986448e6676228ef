// The programs' replacements for two pieces of the C++ runtime; each must be linked as an
// object, before the runtime library is searched, to take the runtime's place.
//
// The terminate handler: an exception nobody catches ends the process at once. The runtime's
// own handler would print the exception's demangled type to a console these GUI programs do
// not have, and its name demangler adds 45 KiB to each of them.
//
// The throw helpers the library's containers and strings call: the runtime's build their
// exceptions' messages in reference-counted strings, which bring about 40 KiB of a second
// string implementation along. No code of these programs catches those exceptions by type
// (a script's protected call catches any exception, anything else terminates), so the ones
// that carry a message are thrown as message-less exceptions instead.
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
// A string or container asked to grow past its largest size: memory it cannot have.
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw exception(); }
void __throw_domain_error(const char*) { throw exception(); }
void __throw_invalid_argument(const char*) { throw exception(); }
void __throw_out_of_range(const char*) { throw exception(); }
void __throw_out_of_range_fmt(const char*, ...) { throw exception(); }
void __throw_runtime_error(const char*) { throw exception(); }
void __throw_range_error(const char*) { throw exception(); }
void __throw_overflow_error(const char*) { throw exception(); }
void __throw_underflow_error(const char*) { throw exception(); }

}  // namespace std
