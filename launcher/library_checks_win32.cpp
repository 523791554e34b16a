// Linked into the executables only, ahead of the C++ library.
//
// The library's checks in std::basic_string, std::vector and their relatives end in the
// std::__throw_* functions. The library's own versions throw std::length_error and its
// relatives, whose message members are the old copy-on-write std::string: linking them brings
// a second string implementation and its exception classes into every executable (over 40 KB
// of the 32-bit build). These throw one small error type instead. Nothing catches the specific
// classes: the entry point and the VM thread catch std::exception and end the launch with -1.
// Memory exhaustion still throws std::bad_alloc, which stages catch by name.

#include <bits/functexcept.h>

#include <exception>
#include <new>
#include <typeinfo>

namespace {

/// A failed precondition of the C++ library: an index out of range, a size beyond what can be
/// allocated, a null pointer where text was expected.
class LibraryCheckFailure final : public std::exception {
public:
    explicit LibraryCheckFailure(const char* what) noexcept : what_(what) {}
    const char* what() const noexcept override { return what_ ? what_ : "library check"; }

private:
    const char* what_;
};

}  // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* what) { throw LibraryCheckFailure(what); }
void __throw_domain_error(const char* what) { throw LibraryCheckFailure(what); }
void __throw_invalid_argument(const char* what) { throw LibraryCheckFailure(what); }
void __throw_length_error(const char* what) { throw LibraryCheckFailure(what); }
void __throw_out_of_range(const char* what) { throw LibraryCheckFailure(what); }
// The format's arguments would only decorate a message that nobody shows.
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryCheckFailure(format); }
void __throw_runtime_error(const char* what) { throw LibraryCheckFailure(what); }
void __throw_range_error(const char* what) { throw LibraryCheckFailure(what); }
void __throw_overflow_error(const char* what) { throw LibraryCheckFailure(what); }
void __throw_underflow_error(const char* what) { throw LibraryCheckFailure(what); }

}  // namespace std
