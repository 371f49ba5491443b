# Building one program of the suite (through the same driver as `./zeb cc`,
# or with clang for Windows on the Wine platform) and one CTest test per run
# of it, judged by the checker.  Included by the top-level CMakeLists.txt, so
# that the suite and the layer's behaviour programs share it.
set(ZEB_CC ${CMAKE_SOURCE_DIR}/platform/cc/zeb_cc.py)
set(ZEB_CHECK ${CMAKE_SOURCE_DIR}/harness/check.py)
set(ZEB_RESULTS ${CMAKE_BINARY_DIR}/results)

set(ZEB_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}")
if(ZEB_NATIVE_SEH)
  # x86-64 Windows: clang-19 with table-based SEH, mingw-w64's headers and
  # run-times linked statically (Wine would not find the C++ run-time's DLL).
  # Without -fasync-exceptions a fault inside a __try body itself is not
  # caught; with it clang-19 crashes on C++ catch handlers that make no call
  # (mingw target), so C++ sources, whose faults all happen in called
  # functions, are built without it.
  find_program(ZEB_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  if(NOT ZEB_WINE64)
    find_program(ZEB_WINE64 wine64 REQUIRED)
  endif()
  set(ZEB_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(ZEB_EMULATOR "env WINEPREFIX=${ZEB_WINEPREFIX} WINEDEBUG=-all ${ZEB_WINE64}")
  set(ZEB_WINE_FLAGS --target=x86_64-w64-mingw32 -fms-extensions -O0 -g -static)
  # The private prefix is made once, before any program runs in it.
  add_custom_command(OUTPUT ${ZEB_WINEPREFIX}/.made
    COMMAND env WINEPREFIX=${ZEB_WINEPREFIX} WINEDEBUG=-all ${ZEB_WINE64} wineboot --init
    COMMAND env WINEPREFIX=${ZEB_WINEPREFIX} wineserver -w
    COMMAND ${CMAKE_COMMAND} -E touch ${ZEB_WINEPREFIX}/.made
    COMMENT "Making the Wine prefix" VERBATIM)
  add_custom_target(wine-prefix ALL DEPENDS ${ZEB_WINEPREFIX}/.made)
  # One Wine server for the whole run: programs started while a server of
  # the prefix is shutting down can fail to start at all.
  # Its output is closed, or the test runner would wait for the server; a
  # server already running (status 2) serves as well.
  add_test(NAME wine-server
    COMMAND sh -c "WINEPREFIX='${ZEB_WINEPREFIX}' wineserver -p 120 </dev/null >/dev/null 2>&1; [ $? -le 2 ]")
  set_tests_properties(wine-server PROPERTIES FIXTURES_SETUP wine)
endif()

# Programs known to fail on this platform, each with its reason.
set(xfail_file ${CMAKE_SOURCE_DIR}/expected-failures/${ZEB_PLATFORM}.txt)
if(EXISTS ${xfail_file})
  file(STRINGS ${xfail_file} xfail_lines)
  foreach(line IN LISTS xfail_lines)
    if(line MATCHES "^([A-Za-z0-9@._-]+): (.+)$")
      set(xfail_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
    endif()
  endforeach()
endif()

# The architecture a deliverable is built for on the ARM platform.
function(zeb_arch_of name out)
  if(name MATCHES "^ZEB" OR name STREQUAL "cxx-static-local-indirect-call" OR name STREQUAL "mixed-setjmp-fibonacci")
    set(${out} arm32 PARENT_SCOPE)
  else()
    set(${out} arm64 PARENT_SCOPE)
  endif()
endfunction()

function(zeb_add_run name program label expect)
  set(extra)
  if(ZEB_NATIVE_SEH)
    list(APPEND extra --text-mode)
  endif()
  if(DEFINED xfail_${name})
    list(APPEND extra --xfail "${xfail_${name}}")
  endif()
  add_test(NAME ${name}
    COMMAND ${Python3_EXECUTABLE} ${ZEB_CHECK} --name ${name} --program ${program}
            --emulator "${ZEB_EMULATOR}" --platform ${ZEB_PLATFORM}
            --results-dir ${ZEB_RESULTS} ${expect} ${extra} -- ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS "${label}" TIMEOUT 60)
  if(ZEB_NATIVE_SEH)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()

function(zeb_program source label)
  get_filename_component(name ${source} NAME_WE)
  zeb_arch_of(${name} arch)
  # The layer's behaviour programs run on every architecture.
  if(NOT label STREQUAL "behaviour" AND NOT ZEB_ARCH STREQUAL "all" AND NOT ZEB_ARCH STREQUAL arch)
    return()
  endif()
  set(exe ${CMAKE_BINARY_DIR}/programs/${name})
  set(flags)
  foreach(f IN LISTS ZEB_PROGRAM_FLAGS)
    list(APPEND flags --flag=${f})
  endforeach()
  if(ZEB_NATIVE_SEH)
    set(exe ${exe}.exe)
    if(source MATCHES "\\.c$")
      set(compiler clang-19 -Xclang -fasync-exceptions)
    else()
      set(compiler clang++-19)
    endif()
    add_custom_command(OUTPUT ${exe}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/programs
      COMMAND ${compiler} ${ZEB_WINE_FLAGS} ${source} -o ${exe}
      DEPENDS ${source} COMMENT "Building ${name}.exe" VERBATIM)
    add_custom_target(program-${name} ALL DEPENDS ${exe})
    add_dependencies(program-${name} wine-prefix)
  else()
  add_custom_command(OUTPUT ${exe}
    COMMAND ${Python3_EXECUTABLE} ${ZEB_CC} ${source} -o ${exe}
            --lower ${ZEB_LOWER_PATH} --runtime $<TARGET_FILE:zebseh> --cxx ${CMAKE_CXX_COMPILER}
            --keep ${CMAKE_BINARY_DIR}/lowered/${name}.cpp ${flags}
    DEPENDS ${source} zebseh ${ZEB_LOWER_DEP} ${ZEB_PLATFORM_HEADERS} ${ZEB_CC}
    COMMENT "Building ${name}" VERBATIM)
  add_custom_target(program-${name} ALL DEPENDS ${exe})
  endif()

  get_filename_component(dir ${source} DIRECTORY)
  set(expect)
  if(EXISTS ${dir}/${name}.out)
    list(APPEND expect --expect ${dir}/${name}.out)
  endif()
  if(EXISTS ${dir}/${name}.status)
    file(READ ${dir}/${name}.status status)
    string(STRIP "${status}" status)
    list(APPEND expect --status ${status})
  endif()
  zeb_add_run(${name} ${exe} ${label} "${expect}")

  # Further runs with arguments: NAME@ARG1_ARG2.out
  file(GLOB runs ${dir}/${name}@*.out)
  foreach(run IN LISTS runs)
    get_filename_component(run_name ${run} NAME)
    string(REGEX REPLACE "\\.out$" "" run_name ${run_name})
    string(REGEX REPLACE "^[^@]*@" "" run_args ${run_name})
    string(REPLACE "_" ";" run_args "${run_args}")
    zeb_add_run(${run_name} ${exe} ${label} "--expect;${run}" ${run_args})
  endforeach()
endfunction()

