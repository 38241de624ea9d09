# zym_library(<name> [DEPS <targets>...])
#   A static library of every .cpp/.c below the current source folder. Headers are
#   included as "<folder>/<file>.h" relative to src/.
function(zym_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.c")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  zym_uses_widgets(widgets ${ARG_DEPS})
  set_property(TARGET ${name} PROPERTY ZYM_USES_WIDGETS ${widgets})
endfunction()

# zym_uses_widgets(<out> <targets>...)
#   TRUE when one of the targets is Qt6::Widgets or a zym_library that links it.
function(zym_uses_widgets out)
  set(result FALSE)
  foreach(dep IN LISTS ARGN)
    if(dep STREQUAL "Qt6::Widgets")
      set(result TRUE)
    elseif(TARGET ${dep})
      get_target_property(w ${dep} ZYM_USES_WIDGETS)
      if(w)
        set(result TRUE)
      endif()
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# zym_test(<name> [LIBS <targets>...] [TIMEOUT <seconds>])
#   One GoogleTest executable from the .cpp files directly in the current folder, with the
#   shared test main (a QCoreApplication, or a QApplication when the executable links Qt
#   Widgets, so that dialogs can be made). Tests whose name contains "Conformance" carry
#   the CTest label "conformance".
function(zym_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_executable(${name} ${sources})
  zym_uses_widgets(widgets ${ARG_LIBS})
  if(widgets)
    set(test_main zym_test_main_widgets)
  else()
    set(test_main zym_test_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} zym_test_support ${test_main}
                        GTest::gtest GTest::gmock)
  # The test environment (source, binary and shared folders, headless Qt and audio) is set
  # by the test main itself: test discovery would hand CTest only the first entry of a list.
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}/"
    TEST_FILTER "-*Conformance*"
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS ${name})
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}/"
    TEST_FILTER "*Conformance*"
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS conformance)
endfunction()

# zym_fuzz_targets(LIBS <targets>...)
#   With ZYM_FUZZ, one libFuzzer executable per .cpp in the current folder's fuzz/.
function(zym_fuzz_targets)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  if(NOT ZYM_FUZZ)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*.cpp")
  foreach(src IN LISTS sources)
    get_filename_component(target ${src} NAME_WE)
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  endforeach()
endfunction()
