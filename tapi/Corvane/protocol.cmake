# cvnproto: the call-control protocol records, the received-message view and the message
# catalogue. A static library linked into libCorvane.so and into the simulator (tools/ccmsim).
add_library(cvnproto STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/src/protocol/CCMLayout.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/protocol/CCMView.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/protocol/CCMMessage.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/protocol/CCMAD.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/protocol/CCMCC.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/protocol/CCMCS.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/protocol/CCMPC.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/protocol/CCMPR.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/protocol/MsgCatalogue.cpp)
set_target_properties(cvnproto PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(cvnproto PUBLIC
  ${CMAKE_CURRENT_SOURCE_DIR}/include
  ${CMAKE_CURRENT_SOURCE_DIR}/src/protocol)
target_link_libraries(cvnproto PUBLIC winplat kivcommon PRIVATE kiv_warnings)

set(CVNPROTO_TESTS ccm_records_test ccm_view_test ccm_send_test msg_catalogue_test
                   phone_messages_test)
foreach(test IN LISTS CVNPROTO_TESTS)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tests/${test}.cpp)
    kiv_add_tests(LABEL unit LIBS cvnproto SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/${test}.cpp)
  endif()
endforeach()
