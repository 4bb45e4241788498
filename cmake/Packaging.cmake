# Installing (cmake --install) and the Debian package (cpack -G DEB).
#   cmake --install build --prefix /usr/local
#   cd build && cpack -G DEB          -> morvane_<version>_<arch>.deb, installed under /usr
include(GNUInstallDirs)

install(TARGETS morvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/morvane-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET morvane)
  install(TARGETS morvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/morvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Help > Contents finds the manual at <bin>/../share/morvane/manual
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/manual/ DESTINATION ${CMAKE_INSTALL_DATADIR}/morvane/manual)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/org.morvane.Morvane.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/org.morvane.Morvane.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/morvane.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/examples/level_and_filter.py
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morvane/examples)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvane)
set(CPACK_PACKAGE_VENDOR "Morvane")
set(CPACK_PACKAGE_CONTACT "Morvane developers <morvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "view, process and analyse height images of scanning probe microscopes")
set(CPACK_PACKAGE_DESCRIPTION "Morvane opens AFM/STM topography, current and similar channels in its own
format, Burleigh, TopoMetrix, Omicron and bitmap files, shows them in false colour, levels,
filters and transforms them, and measures line profiles, roughness and unit cells. The
package holds the desktop application, the batch tool morvane-cli and the Python 3
module morvane.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# installed with the prefix /usr (not through DESTDIR), so the Python module goes to
# Debian's /usr/lib/python3/dist-packages
set(CPACK_SET_DESTDIR OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# what dpkg-shlibdeps cannot see: the interpreter and numpy of the module, and Qt's
# platform plugins loaded at run time
set(_morvane_deps)
if(TARGET morvane_python)
  math(EXPR _morvane_next "${Python3_VERSION_MINOR} + 1")
  list(APPEND _morvane_deps "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR})"
       "python3 (<< ${Python3_VERSION_MAJOR}.${_morvane_next})" python3-numpy)
endif()
if(TARGET morvane)
  list(APPEND _morvane_deps qt6-qpa-plugins)
endif()
list(JOIN _morvane_deps ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-matplotlib")
include(CPack)
