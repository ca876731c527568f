# What `cmake --install` and the Debian package put where a Linux desktop looks
# for it: the programs, the launcher, the file types, the icon theme entries,
# the AppStream description and the udev rule for the instruments' adapters.

include(GNUInstallDirs)
set(kalvora_data "${PROJECT_SOURCE_DIR}/data")

install(TARGETS kalvora kalvora-cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${kalvora_data}/kalvora.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${kalvora_data}/kalvora-mime.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages"
        RENAME kalvora.xml)
install(FILES "${kalvora_data}/org.kalvora.Kalvora.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${kalvora_data}/kalvora.svg" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
install(DIRECTORY "${KALVORA_ICON_DIR}/" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor"
        FILES_MATCHING PATTERN "kalvora.png")

# udev reads its rules from /usr/lib/udev/rules.d (the package's place) and
# /etc/udev/rules.d (the administrator's); a /usr/local install has neither, so
# the folder can be set. The settings window installs the same rule to /etc on request.
set(KALVORA_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule goes, relative to the install prefix unless absolute")
install(FILES "${kalvora_data}/udev/60-kalvora-instruments.rules" DESTINATION "${KALVORA_UDEV_RULES_DIR}")

# cpack -G DEB: one package with the shared-library dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "kalvora")
set(CPACK_PACKAGE_VENDOR "Kalvora")
set(CPACK_PACKAGE_CONTACT "Kalvora developers <kalvora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The SQLite driver and the platform plugins are loaded at run time, so no library names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "policykit-1 | pkexec")
set(CPACK_STRIP_FILES ON)
include(CPack)
