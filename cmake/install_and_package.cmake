# What `cmake --install` puts under the prefix: the two programs, dvlib
# (shared and static) with its header, a pkg-config file and a CMake package
# for host programs, and the man pages; and the Debian package of all of it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(TARGET ozmira)
  install(TARGETS ozmira RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS ozmira-export RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS dvlib dvlib_static
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# pkg-config: the file finds the prefix from its own place, so the same file
# serves `cmake --install --prefix ANY` and the Debian package.
file(RELATIVE_PATH DVLIB_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" DVLIB_PC_TO_PREFIX "${DVLIB_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/dvlib.pc.in ${CMAKE_BINARY_DIR}/dvlib.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/dvlib.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# CMake package: find_package(dvlib) gives dvlib::dvlib and dvlib::dvlib_static.
set(DVLIB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/dvlib)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/dvlibConfig.cmake.in
  ${CMAKE_BINARY_DIR}/dvlibConfig.cmake
  INSTALL_DESTINATION ${DVLIB_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/dvlibConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/dvlibConfig.cmake ${CMAKE_BINARY_DIR}/dvlibConfigVersion.cmake
        DESTINATION ${DVLIB_CMAKE_DIR})

# Man pages, compressed as Debian keeps them (-n: no time stamp inside), each
# into the folder of its section (the page name's last letter).
set(OZMIRA_MAN_PAGES ozmira.1 ozmira-export.1 dvlib.3)
set(compressed_pages)
foreach(page ${OZMIRA_MAN_PAGES})
  set(source ${PROJECT_SOURCE_DIR}/docs/man/${page})
  set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
  string(REGEX REPLACE ".*\\." "" section ${page})
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9 -n -c ${source} > ${compressed}
    DEPENDS ${source}
    COMMENT "Compressing man page ${page}")
  list(APPEND compressed_pages ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(ozmira_man_pages ALL DEPENDS ${compressed_pages})

# The Debian package: `cpack -G DEB` in the build folder. Its Depends come from
# dpkg-shlibdeps (dpkg-dev), which reads the libraries the programs link:
# libdv, SDL 1.2, libdeflate and the C and C++ runtimes.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ozmira)
set(CPACK_PACKAGE_VENDOR ozmira)
set(CPACK_PACKAGE_CONTACT "ozmira developers <ozmira@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${PROJECT_DESCRIPTION}
 ozmira plays raw PAL DV files (runs of 144000-byte 625/50 frames) in a window
 from the keyboard; ozmira-export writes their frames as PNG images and prints
 their attributes. dvlib gives C and C++ programs frame-level access to such
 files (shared and static library, header, pkg-config file and CMake package);
 the static library needs libdv's development files to link.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libdv4-dev, pkg-config")
include(CPack)
