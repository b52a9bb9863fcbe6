# The one list of warning flags every target of the project compiles with.
add_library(kiv_warnings INTERFACE)
target_compile_options(kiv_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Werror
  -Wnon-virtual-dtor -Woverloaded-virtual -Wformat=2 -Wcast-qual
  -Wno-missing-field-initializers
  # The records keep their wire bytes in a private array that only the base class reads.
  $<$<CXX_COMPILER_ID:Clang>:-Wno-unused-private-field>)

# GCC 12 reports false maybe-uninitialized warnings inside the standard library when it
# instruments code with a sanitizer; they are not findings in our code.
if(KIV_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(kiv_warnings INTERFACE -Wno-maybe-uninitialized)
endif()
