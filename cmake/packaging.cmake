# `cpack -G DEB` (run in the build tree) makes a Debian package of what
# cmake/install.cmake installs, under /usr.
set(CPACK_PACKAGE_NAME varnel)
if(PROJECT_VERSION)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
else()
  # The release date the program shows (-version), as a version number.
  set(CPACK_PACKAGE_VERSION 2026.12.08)
endif()
set(CPACK_PACKAGE_CONTACT "varnel developers <bugs@varnel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "report and repair problems in HTML and XML pages")
# The long description, as lines of the control file.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "varnel reads HTML pages (or well-formed XML), reports what is wrong\n"
       "with them with line and column, repairs the document tree, makes the\n"
       "doctype agree with the content and writes the page out neatly\n"
       "indented and wrapped. On request it turns presentational markup into\n"
       "style rules, strips the markup Word 2000 adds, converts HTML to XHTML\n"
       "or splits a page into slides.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.varnel.org/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are those of the files in the package, as dpkg-shlibdeps
# (package dpkg-dev) finds them; a library of our own in the package is
# found beside them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS usr/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
