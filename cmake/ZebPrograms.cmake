# Building one of the layer's behaviour programs (through the same driver as
# `./zeb cc` and the platform files) and one CTest test per run of it, judged
# by the same checker as the suite's programs.
set(ZEB_CC ${CMAKE_SOURCE_DIR}/layer/cc/zeb_cc.py)
set(ZEB_CHECK ${CMAKE_SOURCE_DIR}/harness/check.py)
set(ZEB_RESULTS ${CMAKE_BINARY_DIR}/results)

set(ZEB_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}")

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

function(zeb_add_run name program label expect)
  set(extra)
  if(DEFINED xfail_${name})
    list(APPEND extra --xfail "${xfail_${name}}")
  endif()
  add_test(NAME ${name}
    COMMAND ${Python3_EXECUTABLE} ${ZEB_CHECK} --name ${name} --program ${program}
            --emulator "${ZEB_EMULATOR}" --platform ${ZEB_PLATFORM}
            --results-dir ${ZEB_RESULTS} ${expect} ${extra} -- ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS "${label}" TIMEOUT 60)
endfunction()

function(zeb_program source label)
  get_filename_component(name ${source} NAME_WE)
  set(exe ${CMAKE_BINARY_DIR}/programs/${name})
  set(flags)
  foreach(f IN LISTS ZEB_PROGRAM_FLAGS)
    list(APPEND flags --flag=${f})
  endforeach()
  # The program's own compiler options (NAME.options), as the platform
  # files give them.
  get_filename_component(options_dir ${source} DIRECTORY)
  set(options)
  if(EXISTS ${options_dir}/${name}.options)
    file(READ ${options_dir}/${name}.options options)
    separate_arguments(options UNIX_COMMAND "${options}")
  endif()
  add_custom_command(OUTPUT ${exe}
    COMMAND ${Python3_EXECUTABLE} ${ZEB_CC} ${options} ${source} -o ${exe}
            --lower ${ZEB_LOWER_PATH} --runtime $<TARGET_FILE:zebseh> --cxx ${CMAKE_CXX_COMPILER}
            --keep ${CMAKE_BINARY_DIR}/lowered/${name}.cpp ${flags}
    DEPENDS ${source} zebseh ${ZEB_LOWER_DEP} ${ZEB_PLATFORM_HEADERS} ${ZEB_CC}
    COMMENT "Building ${name}" VERBATIM)
  add_custom_target(program-${name} ALL DEPENDS ${exe})

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

