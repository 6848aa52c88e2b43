# Install rules and the Debian package (cpack -G DEB, see scripts/package.sh).
#
# The monitor looks for monitor.ini in its own folder unless it is given an absolute path. Installed in
# /usr/bin it keeps that rule; the desktop entry starts it through corvane-monitor-start, which gives it
# the user's own copy of the sample configuration by its absolute path.

include(GNUInstallDirs)
# Installing and packing take what is built and build nothing themselves: the package needs only the
# two programs (scripts/package.sh builds just those), and the package test packs a built tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CORVANE_PACKAGE_NAME corvane-monitor)
set(corvane_share_dir ${CMAKE_INSTALL_DATAROOTDIR}/${CORVANE_PACKAGE_NAME})
set(corvane_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CORVANE_PACKAGE_NAME})

install(TARGETS corvane-monitor corvane-engine-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/corvane-monitor-start DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/data/monitor.ini ${PROJECT_SOURCE_DIR}/data/demo.log
        DESTINATION ${corvane_share_dir})

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${corvane_doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/tools/engine-sim/README.md DESTINATION ${corvane_doc_dir}
        RENAME README.engine-sim.md)
# Manual pages are installed as they appear in docs/.
file(GLOB corvane_man_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.1)
if(corvane_man_pages)
    install(FILES ${corvane_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The headless watch as a system service, one instance per settings file in /etc/corvane-monitor/.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvane-monitor-watch@.service
        DESTINATION lib/systemd/system)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvane-monitor.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvane-monitor.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME ${CORVANE_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${CORVANE_PACKAGE_NAME})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CORVANE_PACKAGE_MAINTAINER "CorvaneMonitor maintainers <maintainers@users.noreply.c-seed-80031178.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CORVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A live board of every channel of every span, the alarm list with sounds and e-mail paging, the
engine's clock and watchdogs, statistics, call details and a chat between operators. It talks to the
switch's engine over UDP or TCP. The package also holds corvane-engine-sim, a simulated engine for
demonstrations and tests, and a sample configuration with a recorded demonstration log.")
# The libraries come from dpkg-shlibdeps. Qt finds its platform plugins in libqt6gui6 and draws the
# icon with libqt6svg6, both libraries the programs link; the fixed-size elements of the main window
# were laid out for Arial's widths, which Liberation Sans keeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
# Tones go to a PulseAudio server (Qt Multimedia's audio output); without one the monitor is silent.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xvfb")
include(CPack)

# The package of this tree, unpacked into a throwaway root and run from there. It packs what is built
# and rebuilds nothing; the sanitizer build's programs are no package.
if(NOT CORVANE_SANITIZE)
    add_test(NAME test_package
             COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/test-package.sh ${CMAKE_BINARY_DIR}
                     ${PROJECT_VERSION} ${PROJECT_SOURCE_DIR})
    set_tests_properties(test_package PROPERTIES LABELS package TIMEOUT 300)
endif()
