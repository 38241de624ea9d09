# Compiles small sources with a NO_WIDGETS library's own include path (cmake -P, from
# CTest): a widget header, also one included after a header of the library, or a header of
# the window library, must stop the build; a Qt Core header and the library's own headers
# must not. A probe is "<header>[+<header>...]=<expected>".
string(REPLACE "|" ";" includes "${INCLUDES}")
set(flags -std=c++20 -fsyntax-only -fPIC)
foreach(dir IN LISTS includes)
  list(APPEND flags "-I${dir}")
endforeach()
set(probes "<QWidget>=barrier" "<QtWidgets/QPushButton>=barrier" "<QtWidgets>=barrier"
           "\"app/ui/RadioWindowController.h\"=missing" "<QObject>=pass")
if(LIBRARY STREQUAL "appradio")
  # The play session, the station model and the directory service.
  list(APPEND probes "\"app/radio/PlaySession.h\"=pass" "\"app/radio/ZYMRadioStation.h\"=pass"
       "\"app/radio/ZYMRadioStationState.h\"=pass" "\"app/radio/ZYMRadioService.h\"=pass"
       "\"app/radio/ZYMRadioStation.h\"+<QWidget>=barrier"
       "\"app/radio/ZYMRadioService.h\"+<QtWidgets/QListView>=barrier"
       "\"app/radio/ZYMCodecRanking.h\"+<QApplication>=barrier")
elseif(LIBRARY STREQUAL "appfoundation")
  list(APPEND probes "\"app/foundation/UserDefaults.h\"=pass"
       "\"app/foundation/NotificationCenter.h\"+<QMessageBox>=barrier"
       "\"app/signon/DialogPresenter.h\"=missing")
else()
  message(FATAL_ERROR "no probes for library '${LIBRARY}'")
endif()
set(failures 0)
foreach(probe IN LISTS probes)
  string(FIND "${probe}" "=" at)
  string(SUBSTRING "${probe}" 0 ${at} header)
  math(EXPR after "${at} + 1")
  string(SUBSTRING "${probe}" ${after} -1 expected)
  string(REPLACE "+" ";" headers "${header}")
  set(text "")
  foreach(h IN LISTS headers)
    string(APPEND text "#include ${h}\n")
  endforeach()
  file(WRITE "${WORK}/probe.cpp" "${text}")
  execute_process(COMMAND "${CXX}" ${flags} "${WORK}/probe.cpp" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(expected STREQUAL "pass")
    set(ok FALSE)
    if(rc EQUAL 0)
      set(ok TRUE)
    endif()
  elseif(expected STREQUAL "barrier")
    string(FIND "${err}" "is a widget header" found)
    set(ok FALSE)
    if(NOT rc EQUAL 0 AND found GREATER -1)
      set(ok TRUE)
    endif()
  else()
    string(FIND "${err}" "No such file" found)
    set(ok FALSE)
    if(NOT rc EQUAL 0 AND found GREATER -1)
      set(ok TRUE)
    endif()
  endif()
  if(ok)
    message(STATUS "${header}: ${expected} as expected")
  else()
    message(SEND_ERROR "${header}: expected ${expected}, got exit ${rc}:\n${err}")
  endif()
endforeach()
