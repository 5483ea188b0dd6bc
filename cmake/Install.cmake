include(CMakePackageConfigHelpers)

# Emscripten makes the library static, and its package is the npm one
# (scripts/build-web.sh): nothing to install.
if(EMSCRIPTEN)
  add_custom_target(installable)
  return()
endif()

install(TARGETS kelvo_video_process EXPORT kelvoVideoProcessTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/kelvo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_BINARY_DIR}/include/kelvo/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kelvo)
install(EXPORT kelvoVideoProcessTargets NAMESPACE kelvo::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kelvoVideoProcess)

configure_package_config_file(cmake/kelvoVideoProcessConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kelvoVideoProcessConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kelvoVideoProcess)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kelvoVideoProcessConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kelvoVideoProcessConfig.cmake
  ${PROJECT_BINARY_DIR}/kelvoVideoProcessConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kelvoVideoProcess)

configure_file(cmake/kelvo_video_process.pc.in ${PROJECT_BINARY_DIR}/kelvo_video_process.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kelvo_video_process.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The stand-in host library and its demo are test fixtures. A real host's
# library has the stand-in's name, so neither goes to <libdir> or <bindir>:
# on request they go to a private folder, where the demo finds the stand-in
# beside it. -DKELVO_INSTALL_HOST_DEMO=ON adds them to every install;
# `cmake --install BUILD --component host_demo` installs them once.
option(KELVO_INSTALL_HOST_DEMO
  "Install the stand-in host library and kelvo-host-demo into <libdir>/kelvo" OFF)
if(KELVO_INSTALL_HOST_DEMO)
  set(host_demo_exclude "")
else()
  set(host_demo_exclude EXCLUDE_FROM_ALL)
endif()
if(TARGET kelvo-host-demo)
  install(TARGETS kelvo_rtc_sdk kelvo-host-demo
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/kelvo COMPONENT host_demo ${host_demo_exclude}
    RUNTIME DESTINATION ${CMAKE_INSTALL_LIBDIR}/kelvo COMPONENT host_demo ${host_demo_exclude})
endif()

# Everything a user installs, built without the tests and benchmarks:
#   cmake --build build --target installable
# A target with an install rule joins this list.
add_custom_target(installable)
foreach(target IN ITEMS kelvo_video_process kelvo-enhance gstkelvo kelvo-obs)
  if(TARGET ${target})
    add_dependencies(installable ${target})
  endif()
endforeach()
if(KELVO_INSTALL_HOST_DEMO AND TARGET kelvo-host-demo)
  add_dependencies(installable kelvo-host-demo kelvo_rtc_sdk)
endif()
