# kelvo_module(<name> DIRS <folders...> DEPS <targets...>)
# One static library per source folder, so that each layer builds and is
# tested on its own. The shared library takes all of them whole.
set_property(GLOBAL PROPERTY KELVO_LIBRARY_MODULES "")
function(kelvo_module name)
  cmake_parse_arguments(M "" "" "DIRS;DEPS" ${ARGN})
  set(sources "")
  foreach(dir IN LISTS M_DIRS)
    file(GLOB found CONFIGURE_DEPENDS
      ${PROJECT_SOURCE_DIR}/${dir}/*.cpp ${PROJECT_SOURCE_DIR}/${dir}/*.c)
    list(APPEND sources ${found})
  endforeach()
  list(FILTER sources EXCLUDE REGEX "/engine/export\\.cpp$")
  if(NOT sources)
    # A folder that has no code yet still gives a library to link against.
    set(sources ${PROJECT_BINARY_DIR}/generated/empty_${name}.cpp)
    file(WRITE ${sources} "// no sources yet\n")
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include
    ${PROJECT_BINARY_DIR}/include ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${M_DEPS})
  set_property(GLOBAL APPEND PROPERTY KELVO_LIBRARY_MODULES ${name})
endfunction()

# kelvo_test(<name> [GL] LIBS <targets...>)
# One test program per folder under tests/. GL programs are labelled
# <name>_gl so that they can be run again under xvfb-run (ctest -L _gl$),
# where the GLFW path is taken.
function(kelvo_test name)
  cmake_parse_arguments(T "GL" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  if(T_GL)
    list(APPEND sources ${PROJECT_SOURCE_DIR}/tests/support/main/gl_test_main.cpp)
    set(test_main "")
  else()
    set(test_main GTest::gtest_main)
  endif()
  add_executable(kelvo_test_${name} ${sources})
  target_include_directories(kelvo_test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(kelvo_test_${name} PRIVATE ${T_LIBS} kelvo_test_support GTest::gtest ${test_main})
  # One label per program (a list would not survive test discovery): the
  # folder name, with "_gl" appended for programs that need a GL context.
  set(label ${name})
  if(T_GL)
    set(label ${name}_gl)
  endif()
  gtest_discover_tests(kelvo_test_${name}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    PROPERTIES LABELS ${label} TIMEOUT 600
    DISCOVERY_TIMEOUT 60)
endfunction()
