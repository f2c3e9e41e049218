# `make package`: a Debian package of everything `make install` installs,
# built with CPack into the build directory as fwkit_<version>_<arch>.deb.
# Its Depends come from dpkg-shlibdeps on the programs, so installing it
# with apt pulls in the runtime libraries they link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fwkit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Fetchwright")
set(CPACK_PACKAGE_CONTACT "Fetchwright developers <dev@fetchwright.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "library snapshot tool, property-list inspector and the fwkit extension library")
set(CPACK_PACKAGE_DESCRIPTION
    "library-snapshot records which files, large files, iTunes tracks and playlists a user has, as a binary property list. plist-dump prints and converts property lists. The fwkit headers, static libraries, CMake package config and pkg-config file are included for programs that link the library.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not stripped: strip would empty the static libraries of their symbols.
set(CPACK_STRIP_FILES OFF)
include(CPack)
