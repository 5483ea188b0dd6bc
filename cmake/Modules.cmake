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

# kelvo_test(<name> [GL|ANY] LIBS <targets...>)
# One test program per folder under tests/. GL programs need a GL context and
# are built only with GL; ANY programs run on whichever backends the build
# has. Either kind is labelled <name>_gl in a GL build, so that it can be run
# again under xvfb-run (ctest -L _gl$), where the GLFW path is taken.
function(kelvo_test name)
  cmake_parse_arguments(T "GL;ANY" "" "LIBS" ${ARGN})
  if(T_GL AND NOT KELVO_WITH_GL)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(with_gl FALSE)
  if((T_GL OR T_ANY) AND KELVO_WITH_GL)
    set(with_gl TRUE)
  endif()
  if(with_gl)
    list(APPEND sources ${PROJECT_SOURCE_DIR}/tests/support/main/gl_test_main.cpp)
    set(test_main kelvo_test_support)
  else()
    set(test_main GTest::gtest_main)
  endif()
  add_executable(kelvo_test_${name} ${sources})
  add_dependencies(kelvo_tests kelvo_test_${name})
  target_include_directories(kelvo_test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests
    ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(kelvo_test_${name} PRIVATE ${T_LIBS} GTest::gtest ${test_main})
  target_compile_definitions(kelvo_test_${name} PRIVATE KELVO_WITH_GL=$<BOOL:${KELVO_WITH_GL}>)
  # One label per program (a list would not survive test discovery): the
  # folder name, with "_gl" appended for programs that run with a GL context.
  set(label ${name})
  if(with_gl)
    set(label ${name}_gl)
  endif()
  gtest_discover_tests(kelvo_test_${name}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    PROPERTIES LABELS ${label} TIMEOUT 600
    DISCOVERY_TIMEOUT 60)
endfunction()
