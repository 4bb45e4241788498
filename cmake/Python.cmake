# The Python module `morvane` (pybind11, numpy): built into build/python/morvane so
# that PYTHONPATH=build/python finds it without installing; its tests run from ctest.
# Built against Debian's interpreter; another one can be named with
# -DMORVANE_PYTHON_EXECUTABLE=...
option(MORVANE_PYTHON "Build the Python module morvane" ON)
if(NOT MORVANE_PYTHON)
  return()
endif()
if(MORVANE_SANITIZE OR MORVANE_FUZZ)
  # a sanitizer-instrumented module cannot be loaded into the plain interpreter
  message(STATUS "Python module left out of the sanitizer and fuzz build")
  return()
endif()

set(MORVANE_PYTHON_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "Python interpreter the module is built for")
set(Python3_EXECUTABLE ${MORVANE_PYTHON_EXECUTABLE})
find_package(Python3 REQUIRED COMPONENTS Interpreter Development.Module)
find_package(pybind11 CONFIG REQUIRED)

# the model goes into a shared module: position-independent, but without giving up
# inlining within a file for the sake of symbol interposition, which nothing here uses
# (so the programs get the same code as before)
set_target_properties(morvane_model morvane_frontend PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_compile_options(morvane_model PRIVATE -fno-semantic-interposition)
target_compile_options(morvane_frontend PRIVATE -fno-semantic-interposition)

set(MORVANE_PYTHON_DIR ${CMAKE_BINARY_DIR}/python)
pybind11_add_module(morvane_python MODULE python/src/Module.cpp)
set_target_properties(morvane_python PROPERTIES
  OUTPUT_NAME _morvane
  LIBRARY_OUTPUT_DIRECTORY ${MORVANE_PYTHON_DIR}/morvane
  AUTOMOC OFF)
target_link_libraries(morvane_python PRIVATE morvane_frontend)
# the model's symbols stay inside the module (bound locally, no calls through the PLT)
target_link_options(morvane_python PRIVATE -Wl,--exclude-libs,ALL)

# the pure-Python part of the package beside the extension
file(GLOB MORVANE_PY_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/python/morvane/*.py)
set(MORVANE_PY_COPIES)
foreach(src ${MORVANE_PY_SOURCES})
  get_filename_component(name ${src} NAME)
  add_custom_command(OUTPUT ${MORVANE_PYTHON_DIR}/morvane/${name}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${src} ${MORVANE_PYTHON_DIR}/morvane/${name}
    DEPENDS ${src})
  list(APPEND MORVANE_PY_COPIES ${MORVANE_PYTHON_DIR}/morvane/${name})
endforeach()
add_custom_target(morvane_python_files ALL DEPENDS ${MORVANE_PY_COPIES})
add_dependencies(morvane_python morvane_python_files)

add_test(NAME python.pytest
  COMMAND ${MORVANE_PYTHON_EXECUTABLE} -m pytest -q -p no:cacheprovider ${CMAKE_SOURCE_DIR}/python/tests)
set_tests_properties(python.pytest PROPERTIES LABELS python TIMEOUT 600
  ENVIRONMENT "PYTHONPATH=${MORVANE_PYTHON_DIR};MORVANE_CLI=$<TARGET_FILE:morvane-cli>;MORVANE_DEMO_DIR=${MORVANE_DEMO_DIR};MORVANE_TEST_DATA=${MORVANE_TEST_DATA};MORVANE_EXAMPLES=${CMAKE_SOURCE_DIR}/examples")

# installed into the interpreter's package folder: Debian's /usr/lib/python3/dist-packages
# under the prefix /usr, lib/python3.X/dist-packages under any other prefix (as Debian's
# /usr/local). Decided when installing, so a package built with cpack lands in /usr.
set(MORVANE_PY_VERSION_DIR "python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}")
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(_morvane_pydir \"\${CMAKE_INSTALL_PREFIX}/lib/python3/dist-packages/morvane\")
  else()
    set(_morvane_pydir \"\${CMAKE_INSTALL_PREFIX}/lib/${MORVANE_PY_VERSION_DIR}/dist-packages/morvane\")
  endif()
  file(INSTALL DESTINATION \"\${_morvane_pydir}\" TYPE FILE FILES ${MORVANE_PY_SOURCES})
  file(INSTALL DESTINATION \"\${_morvane_pydir}\" TYPE MODULE FILES \"$<TARGET_FILE:morvane_python>\")
" COMPONENT python)

# what the module costs over morvane-cli (Google Benchmark with an embedded interpreter)
if(MORVANE_BENCH)
  find_package(Python3 COMPONENTS Development.Embed)
  if(Python3_Development.Embed_FOUND)
    add_executable(bench_python bench/python/bench_python.cpp)
    target_link_libraries(bench_python PRIVATE morvane_frontend pybind11::embed Python3::Python benchmark::benchmark)
    target_compile_definitions(bench_python PRIVATE MORVANE_PYTHON_DIR="${MORVANE_PYTHON_DIR}")
    add_dependencies(bench_python morvane_python)
  endif()
endif()
