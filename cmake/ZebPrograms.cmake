# Building one of the layer's behaviour programs (through the same driver as
# `./zeb cc` and the platform files) and one CTest test per run of it, judged
# by the same checker as the suite's programs.  Which programs there are,
# their options and their runs come from the harness (ctest_programs.py);
# what each run must produce and the platform's known failures, the checker
# reads itself.
set(ZEB_CC ${CMAKE_SOURCE_DIR}/layer/cc/zeb_cc.py)
set(ZEB_CHECK ${CMAKE_SOURCE_DIR}/harness/check.py)
set(ZEB_RESULTS ${CMAKE_BINARY_DIR}/results)

set(ZEB_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}")

function(zeb_program name source language options runs)
  set(exe ${CMAKE_BINARY_DIR}/programs/${name})
  set(flags)
  foreach(f IN LISTS ZEB_PROGRAM_FLAGS)
    list(APPEND flags --flag=${f})
  endforeach()
  add_custom_command(OUTPUT ${exe}
    COMMAND ${Python3_EXECUTABLE} ${ZEB_CC} ${options} ${source} -o ${exe}
            --lower ${ZEB_LOWER_PATH} --runtime $<TARGET_FILE:zebseh> --cxx ${CMAKE_CXX_COMPILER}
            --keep ${CMAKE_BINARY_DIR}/lowered/${name}.cpp ${flags}
    DEPENDS ${source} zebseh ${ZEB_LOWER_DEP} ${ZEB_LAYER_HEADERS} ${ZEB_CC}
            ${CMAKE_SOURCE_DIR}/layer/runtime/link-flags.txt
    COMMENT "Building ${name}" VERBATIM)
  add_custom_target(program-${name} ALL DEPENDS ${exe})
  foreach(run IN LISTS runs)
    add_test(NAME ${run}
      COMMAND ${Python3_EXECUTABLE} ${ZEB_CHECK} --name ${run} --program ${exe} --source ${source}
              --emulator "${ZEB_EMULATOR}" --platform ${ZEB_PLATFORM} --results-dir ${ZEB_RESULTS})
    set_tests_properties(${run} PROPERTIES LABELS "${ZEB_PROGRAM_LABEL}" TIMEOUT 60)
  endforeach()
endfunction()

# Every program of a set (suite, behaviour) of the harness, labelled LABEL.
# A file added, removed or changed in FOLDER configures again.
function(zeb_programs set folder label)
  file(GLOB data CONFIGURE_DEPENDS ${folder}/*)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${data})
  set(listing ${CMAKE_BINARY_DIR}/programs-${set}.cmake)
  execute_process(COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/harness/ctest_programs.py ${set} ${listing}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "harness/ctest_programs.py could not list the ${set} programs")
  endif()
  set(ZEB_PROGRAM_LABEL ${label})
  include(${listing})
endfunction()
