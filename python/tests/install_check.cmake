# Installs the build into a scratch prefix and uses it from there as a user
# would: the package imported with only the prefix's site folder on
# PYTHONPATH, and the tool run, each finding the libraries through its run
# path. Arguments: BUILD, PREFIX, SITE (relative to PREFIX), PYTHON.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}"
  OUTPUT_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install into ${PREFIX} failed")
endif()
set(ENV{PYTHONPATH} "${PREFIX}/${SITE}")
unset(ENV{LD_LIBRARY_PATH})
execute_process(COMMAND "${PYTHON}" -c "
import sys, qelcntr
assert qelcntr.__file__.startswith(sys.argv[1]), qelcntr.__file__
print(qelcntr.Region([[0, 0], [4, 0], [4, 3], [0, 3]]).area())
" "${PREFIX}" WORKING_DIRECTORY "${PREFIX}" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "12.0")
  message(FATAL_ERROR "import qelcntr from ${PREFIX}/${SITE} failed: ${out}${err}")
endif()
if(EXISTS "${PREFIX}/bin/qelshape")
  execute_process(COMMAND "${PREFIX}/bin/qelshape" --help RESULT_VARIABLE rc OUTPUT_QUIET
    ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the installed qelshape does not run: ${err}")
  endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
