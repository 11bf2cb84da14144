# nx_test_folder(<name> LIBS <libs...> [MAIN <file>])
# Builds every *_test.cpp of the calling folder into one test program and
# registers its cases with CTest. A folder with window tests passes its own
# MAIN, which selects the offscreen platform before the QApplication exists.
function(nx_test_folder name)
  cmake_parse_arguments(ARG "" "MAIN" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp
                                   ${CMAKE_CURRENT_SOURCE_DIR}/*_support.cpp)
  if(NOT srcs)
    return()
  endif()
  if(ARG_MAIN)
    add_executable(${name} ${srcs} ${ARG_MAIN})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} nx_test_support GTest::gtest GTest::gmock)
  else()
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} nx_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()
