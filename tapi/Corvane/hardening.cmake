# Hardening tests of the component against the simulator and raw loopback servers: faults on
# the connection, connect/disconnect cycles and load (tests/hardening/*_test.cpp). They load
# build/lib/libCorvane.so through the registry as a client does. Under a sanitizer the load
# test runs fewer rounds (CVN_LOAD_ROUNDS) so that it stays within about a minute.
file(GLOB CORVANE_HARDENING_TESTS CONFIGURE_DEPENDS
     ${CMAKE_CURRENT_SOURCE_DIR}/tests/hardening/*_test.cpp)
foreach(src IN LISTS CORVANE_HARDENING_TESTS)
  get_filename_component(name "${src}" NAME_WE)
  kiv_add_tests(LABEL integration LIBS corvane_core ccmsim_lib SOURCES ${src})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  add_dependencies(${name} Corvane regsvr)
  if(KIV_SANITIZE)
    target_compile_definitions(${name} PRIVATE CVN_LOAD_ROUNDS=2)
  endif()
endforeach()
