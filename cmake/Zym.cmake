# zym_library(<name> [NO_WIDGETS] [PUBLIC_HEADERS <glob>...] [PRIVATE_HEADERS <file>...]
#             [PUBLIC <targets>...] [PRIVATE <targets>...])
#   A static library of every .cpp/.c below the current source folder, except in subfolders
#   that are libraries of their own. Headers are included as "<folder>/<file>.h" with
#   <folder> relative to src/. The library's own sources see all of its headers; every
#   other target sees only the public ones (PUBLIC_HEADERS, globs relative to the folder,
#   minus PRIVATE_HEADERS), and only when it links the library: an include that reaches
#   upwards, or into another library's insides, does not compile.
#   Both views are folders of symbolic links in the build tree, made when CMake runs
#   (a new header re-runs it): zym-include/<name>/ (public), zym-private/<name>/ (all).
#   Link a dependency PUBLIC only when a public header includes its headers.
#   NO_WIDGETS: a layer below the windows. Its sources (and the headers they include) see
#   a QtWidgets header as an #error, even when a library it links brings Qt Widgets along,
#   and no app/ui header is staged for it, as it must not link appui.
function(zym_library name)
  cmake_parse_arguments(ARG "NO_WIDGETS" "" "PUBLIC_HEADERS;PRIVATE_HEADERS;PUBLIC;PRIVATE" ${ARGN})
  file(RELATIVE_PATH folder "${CMAKE_SOURCE_DIR}/src" "${CMAKE_CURRENT_SOURCE_DIR}")

  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.c")
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}"
       "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  file(GLOB_RECURSE sublibraries RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}"
       "${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt")
  foreach(sub IN LISTS sublibraries)
    get_filename_component(subdir "${sub}" DIRECTORY)
    _zym_drop_prefix(sources "${CMAKE_CURRENT_SOURCE_DIR}/${subdir}/")
    _zym_drop_prefix(headers "${subdir}/")
  endforeach()

  set(public_headers)
  foreach(pattern IN LISTS ARG_PUBLIC_HEADERS)
    file(GLOB matched RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/${pattern}")
    if(NOT matched)
      message(FATAL_ERROR "${name}: no public header matches ${pattern}")
    endif()
    list(APPEND public_headers ${matched})
  endforeach()
  if(ARG_PRIVATE_HEADERS)
    list(REMOVE_ITEM public_headers ${ARG_PRIVATE_HEADERS})
  endif()
  list(REMOVE_DUPLICATES public_headers)

  set(public_root "${CMAKE_BINARY_DIR}/zym-include/${name}")
  set(private_root "${CMAKE_BINARY_DIR}/zym-private/${name}")
  _zym_stage_headers("${public_root}/${folder}" "${public_headers}")
  _zym_stage_headers("${private_root}/${folder}" "${headers}")

  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${public_root}" PRIVATE "${private_root}")
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  set_target_properties(${name} PROPERTIES ZYM_PRIVATE_INCLUDE "${private_root}")
  zym_uses_widgets(widgets ${ARG_PUBLIC} ${ARG_PRIVATE})
  set_property(TARGET ${name} PROPERTY ZYM_USES_WIDGETS ${widgets})
  if(ARG_NO_WIDGETS)
    foreach(dep IN LISTS ARG_PUBLIC ARG_PRIVATE)
      if(dep STREQUAL "appui" OR dep STREQUAL "Qt6::Widgets")
        message(FATAL_ERROR "${name} is below the windows and cannot link ${dep}")
      endif()
    endforeach()
    _zym_widget_barrier(barrier)
    target_include_directories(${name} BEFORE PRIVATE "${barrier}/flat" "${barrier}/nested")
  endif()
endfunction()

# Sets <out> to a folder whose flat/ and nested/QtWidgets/ hold one file per header of Qt
# Widgets, each an #error: put first on a target's include path, any include of a widget
# header (<QWidget>, <QtWidgets/QWidget>, <QtWidgets>, <qwidget.h>) stops its build.
function(_zym_widget_barrier out)
  set(dir "${CMAKE_BINARY_DIR}/zym-no-widgets")
  set(${out} "${dir}" PARENT_SCOPE)
  if(EXISTS "${dir}/stamp")
    return()
  endif()
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  get_target_property(includes Qt6::Widgets INTERFACE_INCLUDE_DIRECTORIES)
  set(widgets_dir)
  foreach(inc IN LISTS includes)
    if(inc MATCHES "/QtWidgets$")
      set(widgets_dir "${inc}")
    endif()
  endforeach()
  if(NOT widgets_dir)
    message(FATAL_ERROR "the QtWidgets header folder was not found")
  endif()
  file(GLOB names RELATIVE "${widgets_dir}" "${widgets_dir}/*")
  foreach(header IN LISTS names)
    if(IS_DIRECTORY "${widgets_dir}/${header}")
      continue()
    endif()
    set(text "#error \"${header} is a widget header: this layer is below the windows\"\n")
    file(WRITE "${dir}/flat/${header}" "${text}")
    file(WRITE "${dir}/nested/QtWidgets/${header}" "${text}")
  endforeach()
  file(WRITE "${dir}/stamp" "")
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

# Removes the entries starting with <prefix> from the list variable <var>.
function(_zym_drop_prefix var prefix)
  set(kept)
  foreach(entry IN LISTS ${var})
    string(FIND "${entry}" "${prefix}" at)
    if(NOT at EQUAL 0)
      list(APPEND kept "${entry}")
    endif()
  endforeach()
  set(${var} ${kept} PARENT_SCOPE)
endfunction()

# Replaces <dir> with symbolic links to the given headers of the current source folder.
function(_zym_stage_headers dir headers)
  file(REMOVE_RECURSE "${dir}")
  file(MAKE_DIRECTORY "${dir}")
  foreach(header IN LISTS headers)
    get_filename_component(sub "${dir}/${header}" DIRECTORY)
    file(MAKE_DIRECTORY "${sub}")
    file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}/${header}" "${dir}/${header}" SYMBOLIC)
  endforeach()
endfunction()

# zym_internal_headers(<target> <library>...)
#   Lets a test, fuzz target or benchmark include the internal headers of the libraries it
#   exercises (only those; it still links them as usual).
function(zym_internal_headers target)
  foreach(library IN LISTS ARGN)
    target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:${library},ZYM_PRIVATE_INCLUDE>)
  endforeach()
endfunction()

# zym_test(<name> [LIBS <targets>...] [INTERNAL <libraries>...] [TIMEOUT <seconds>])
#   One GoogleTest executable from the .cpp files directly in the current folder, with the
#   shared test main (a QCoreApplication, or a QApplication when the executable links Qt
#   Widgets, so that dialogs can be made). INTERNAL: the libraries under test, whose
#   internal headers the tests may include. Tests whose name contains "Conformance" carry
#   the CTest label "conformance".
function(zym_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS;INTERNAL" ${ARGN})
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
  zym_internal_headers(${name} ${ARG_INTERNAL})
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

# zym_fuzz_targets(LIBS <targets>... [INTERNAL <libraries>...])
#   With ZYM_FUZZ, one libFuzzer executable per .cpp in the current folder's fuzz/.
function(zym_fuzz_targets)
  cmake_parse_arguments(ARG "" "" "LIBS;INTERNAL" ${ARGN})
  if(NOT ZYM_FUZZ)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*.cpp")
  foreach(src IN LISTS sources)
    get_filename_component(target ${src} NAME_WE)
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS})
    zym_internal_headers(${target} ${ARG_INTERNAL})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  endforeach()
endfunction()
