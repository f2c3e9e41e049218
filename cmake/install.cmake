include(CMakePackageConfigHelpers)

get_property(fw_libraries GLOBAL PROPERTY FW_INSTALLED_LIBRARIES)
install(TARGETS ${fw_libraries} fwkit_platform
        EXPORT fwkitTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS library-snapshot plist-dump RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

get_property(fw_header_dirs GLOBAL PROPERTY FW_HEADER_DIRS)
foreach(dir IN LISTS fw_header_dirs)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/${dir}/
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/fwkit/${dir}
          FILES_MATCHING PATTERN "*.h")
endforeach()

install(EXPORT fwkitTargets NAMESPACE fwkit::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/fwkit)
configure_package_config_file(cmake/fwkitConfig.cmake.in
  ${CMAKE_BINARY_DIR}/fwkitConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/fwkit)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/fwkitConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/fwkitConfig.cmake
              ${CMAKE_BINARY_DIR}/fwkitConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/fwkit)

configure_file(cmake/fwkit.pc.in ${CMAKE_BINARY_DIR}/fwkit.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/fwkit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(FW_HAVE_GTK)
  configure_file(cmake/fwkit-gtk.pc.in ${CMAKE_BINARY_DIR}/fwkit-gtk.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/fwkit-gtk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# Manual pages, with the version and the preference file's name filled in.
foreach(page library-snapshot plist-dump)
  configure_file(man/${page}.1.in ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

include(cmake/package.cmake)
