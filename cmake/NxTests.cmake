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
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} nx_test_support nx_loopback_fence GTest::gtest GTest::gmock)
  else()
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} nx_test_support nx_loopback_fence GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()

# A test folder whose tests run inside the real main window: the shared
# offscreen main, the main-window test set-up (tests/mainwindow), and the
# version and picture folder that the window's tests compare with.
function(nx_window_test_folder name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  nx_test_folder(${name} LIBS ${ARG_LIBS} nx_mainwindow nx_sim nx_test_captions
                 MAIN ${PROJECT_SOURCE_DIR}/tests/support/widgets_main.cpp)
  if(NOT TARGET ${name})
    return()
  endif()
  set(support ${PROJECT_SOURCE_DIR}/tests/mainwindow/mainwindow_support.cpp)
  get_target_property(srcs ${name} SOURCES)
  if(NOT support IN_LIST srcs)
    target_sources(${name} PRIVATE ${support})
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/mainwindow)
  target_compile_definitions(${name} PRIVATE
    NX_PROJECT_VERSION="${PROJECT_VERSION}"
    NX_ASSETS_DIR="${PROJECT_SOURCE_DIR}/assets")
endfunction()
