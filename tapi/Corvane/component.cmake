# The call-control component: the server connection and reader thread, the endpoint, the
# message interpreter and the COM surface. corvane_core holds all of it (white-box tests link
# it); the shared library Corvane (build/lib/libCorvane.so) adds the four Dll* entry points and
# exports nothing else.
set(CORVANE_COMPONENT_DIR ${CMAKE_CURRENT_SOURCE_DIR}/src/component)
add_library(corvane_core STATIC
  ${CORVANE_COMPONENT_DIR}/CvnText.cpp
  ${CORVANE_COMPONENT_DIR}/CvnSocket.cpp
  ${CORVANE_COMPONENT_DIR}/CvnSocketReader.cpp
  ${CORVANE_COMPONENT_DIR}/CvnDispatch.cpp
  ${CORVANE_COMPONENT_DIR}/CPCorvane.cpp
  ${CORVANE_COMPONENT_DIR}/CvnEndPoint.cpp
  ${CORVANE_COMPONENT_DIR}/CvnNotificationHook.cpp
  ${CORVANE_COMPONENT_DIR}/MsgInterpreter.cpp
  ${CORVANE_COMPONENT_DIR}/CvnModule.cpp
  ${CORVANE_COMPONENT_DIR}/CvnRegistration.cpp)
set_target_properties(corvane_core PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(corvane_core PUBLIC ${CORVANE_COMPONENT_DIR})
target_link_libraries(corvane_core PUBLIC cvnproto winplat kivcommon PRIVATE kiv_warnings)

add_library(Corvane SHARED ${CORVANE_COMPONENT_DIR}/CvnExports.cpp)
target_link_libraries(Corvane PRIVATE corvane_core kiv_warnings)
# Template code of the standard library instantiated inside the static libraries would otherwise
# be exported too.
target_link_options(Corvane PRIVATE -Wl,--exclude-libs,ALL)

# Component tests: cvn_*_test.cpp. The interpreter test is a unit test; the others run the
# component against loopback servers and load build/lib/libCorvane.so through the registry as a
# client does, so they depend on it being built.
set(CORVANE_UNIT_TESTS cvn_interpreter_test)
file(GLOB CORVANE_COMPONENT_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/cvn_*_test.cpp)
foreach(src IN LISTS CORVANE_COMPONENT_TESTS)
  get_filename_component(name "${src}" NAME_WE)
  if(name IN_LIST CORVANE_UNIT_TESTS)
    kiv_add_tests(LABEL unit LIBS corvane_core SOURCES ${src})
  else()
    kiv_add_tests(LABEL integration LIBS corvane_core ccmsim_lib SOURCES ${src})
    add_dependencies(${name} Corvane regsvr)
  endif()
endforeach()
