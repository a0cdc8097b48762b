# Install rules and packages. PROJECT_VERSION is the one version of the tool, its packages, its manual page
# and its changelog; configuring fails when the manual page or the changelog names another.
#
#     cmake --install build --prefix /usr/local      (DESTDIR is honoured as well)
#     cpack --config build/CPackConfig.cmake -B packages   (Linux: .deb and .tar.gz; MinGW build: .zip)

# The manual page's title line and the changelog's newest entry must carry the project's version.
file(STRINGS "${PROJECT_SOURCE_DIR}/docs/VorskExtract.1" vorsk_man_title REGEX "^\\.TH ")
if(NOT vorsk_man_title MATCHES "\"VorskExtract ${PROJECT_VERSION}\"")
    message(FATAL_ERROR "docs/VorskExtract.1 does not name version ${PROJECT_VERSION} on its .TH line")
endif()
# An "## Unreleased" section may stand above that entry.
file(STRINGS "${PROJECT_SOURCE_DIR}/CHANGELOG.md" vorsk_changelog_entries REGEX "^## ")
list(FILTER vorsk_changelog_entries EXCLUDE REGEX "^## Unreleased")
list(GET vorsk_changelog_entries 0 vorsk_changelog_newest)
if(NOT vorsk_changelog_newest MATCHES "^## ${PROJECT_VERSION} ")
    message(FATAL_ERROR "CHANGELOG.md does not start with an entry for version ${PROJECT_VERSION}")
endif()

if(WIN32)
    # The Windows zip is flat: the executable beside its README, licence and changelog.
    install(TARGETS VorskExtract RUNTIME DESTINATION .)
    install(FILES README.md LICENSE CHANGELOG.md DESTINATION .)
else()
    include(GNUInstallDirs)
    install(TARGETS VorskExtract RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
    install(FILES docs/VorskExtract.1 DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
    # bash-completion loads a command's completion on first use from this folder under each of
    # XDG_DATA_DIRS (/usr/local/share and /usr/share by default).
    install(FILES packaging/VorskExtract.bash RENAME VorskExtract
            DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions")
    install(FILES README.md LICENSE CHANGELOG.md DESTINATION "${CMAKE_INSTALL_DOCDIR}")
endif()

set(CPACK_PACKAGE_NAME "VorskExtract")
set(CPACK_PACKAGE_VENDOR "The VorskExtract developers")
set(CPACK_PACKAGE_CONTACT "VorskExtract developers <vorskextract@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "extracts the resources of a game's content directory")
set(CPACK_PACKAGE_DESCRIPTION
    "VorskExtract mounts a game's resource archives (*.archive), reads its header libraries\n"
    "(*.pc_headerlib) and writes every resource that the chosen locale admits to a file of its\n"
    "own, named after the resource's 64-bit identifier, plus four index files that say what the\n"
    "identifiers stand for. It only reads its inputs.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR DEB TGZ)
endif()

# Debian: vorskextract_<version>_<architecture>.deb. The architecture comes from dpkg, and Depends from
# dpkg-shlibdeps run on the executable (libc6, libgcc-s1 and libstdc++6).
set(CPACK_DEBIAN_PACKAGE_NAME "vorskextract")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
