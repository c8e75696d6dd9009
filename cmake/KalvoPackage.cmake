# The Debian package: what cmake --install lays out, under /usr, with dependencies from the shared
# libraries the programs link plus the run-time parts Kalvo reaches without linking them.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "kalvo")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Kalvo")
set(CPACK_PACKAGE_CONTACT "Kalvo <dev@kalvo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "telephone answering machine for the desktop")
set(CPACK_PACKAGE_DESCRIPTION "Kalvo answers a SIP telephone line after a set number of rings, plays\n\
a greeting, records the caller's message and lists the calls in its main\n\
window, where the messages are played back. It sits in the tray and\n\
blinks when new messages wait; callers who key a password hear the\n\
messages remotely.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SECTION "comm")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  "${CMAKE_BINARY_DIR}/_CPack_Packages/Linux/DEB/${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-Linux/usr/${KALVO_INSTALL_PKGLIBDIR}")
# Sayer's voices are data, not a library; sound goes to PulseAudio (or PipeWire's PulseAudio service),
# and Help > Contents opens the guide in the desktop's browser.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "espeak-ng-data, libpulse0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, xdg-utils")
# The desktop database, icon cache and manual index are refreshed by dpkg's triggers, so the
# package needs no maintainer scripts.
include(CPack)
