# Third-party dependencies, all from Debian packages (scripts/install-deps.sh).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(PNG REQUIRED)
if(KELVO_WITH_GLFW)
  find_package(glfw3 3.3 REQUIRED)
endif()
if(KELVO_WITH_GL)
  pkg_check_modules(EPOXY REQUIRED IMPORTED_TARGET epoxy)
  pkg_check_modules(EGL REQUIRED IMPORTED_TARGET egl)
endif()

# libyuv ships no pkg-config file.
find_path(LIBYUV_INCLUDE_DIR libyuv.h REQUIRED)
find_library(LIBYUV_LIBRARY yuv REQUIRED)
add_library(kelvo_libyuv INTERFACE)
target_include_directories(kelvo_libyuv SYSTEM INTERFACE ${LIBYUV_INCLUDE_DIR})
target_link_libraries(kelvo_libyuv INTERFACE ${LIBYUV_LIBRARY})

find_path(RAPIDJSON_INCLUDE_DIR rapidjson/document.h REQUIRED)
add_library(kelvo_rapidjson INTERFACE)
target_include_directories(kelvo_rapidjson SYSTEM INTERFACE ${RAPIDJSON_INCLUDE_DIR})

if(KELVO_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(KELVO_BUILD_BENCH)
  find_package(benchmark QUIET)
endif()
