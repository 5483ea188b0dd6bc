include(CMakePackageConfigHelpers)

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
