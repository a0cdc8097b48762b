# Install rules and packages. PROJECT_VERSION is the one version of the tool, its packages, its manual page
# and its changelog; configuring fails when the manual page or the changelog names another.
#
#     cmake --install build --prefix /usr/local      (DESTDIR is honoured as well)
#     cmake --build build --target package           (Linux: .deb and .tar.gz; MinGW build: .zip)
#     cpack --config build/CPackConfig.cmake -B packages   (the same, into another folder)

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

# Install components: Runtime (the program and its bash completion) and Documentation (the manual page,
# README, licence and changelog) make a source install, the tarball and the zip. The .deb takes Runtime and
# Debian instead: the same documents in Debian's layout, which a plain install leaves out.
if(WIN32)
    # The Windows zip is flat: the executable beside its README, licence and changelog.
    install(TARGETS VorskExtract RUNTIME DESTINATION . COMPONENT Runtime)
    install(FILES README.md LICENSE CHANGELOG.md DESTINATION . COMPONENT Documentation)
else()
    include(GNUInstallDirs)
    # Folders made by an install are 0755 whatever the umask.
    set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
        OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    install(TARGETS VorskExtract RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT Runtime)
    # bash-completion loads a command's completion on first use from this folder under each of
    # XDG_DATA_DIRS (/usr/local/share and /usr/share by default).
    install(FILES packaging/VorskExtract.bash RENAME VorskExtract
            DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" COMPONENT Runtime)
    install(FILES docs/VorskExtract.1 DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT Documentation)
    install(FILES README.md LICENSE CHANGELOG.md
            DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT Documentation)
endif()

set(CPACK_PACKAGE_NAME "VorskExtract")
set(CPACK_PACKAGE_VENDOR "The VorskExtract developers")
set(CPACK_PACKAGE_CONTACT "VorskExtract developers <vorskextract@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "extracts the resources of a game's content directory")
set(CPACK_PACKAGE_DESCRIPTION
    "VorskExtract mounts a game's resource archives (*.archive), reads its header\n"
    "libraries (*.pc_headerlib) and writes every resource that the chosen locale\n"
    "admits to a file of its own, named after the resource's 64-bit identifier,\n"
    "plus four index files that say what the identifiers stand for. It only reads\n"
    "its inputs.")
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
# dpkg-shlibdeps run on the executable (libc6, libgcc-s1 and libstdc++6). Without dpkg-shlibdeps (package
# dpkg-dev) or file, making the .deb fails rather than leave Depends out; the check runs when cpack makes
# a .deb, through the project configuration file, which also gives the .deb its components.
set(CPACK_DEBIAN_PACKAGE_NAME "vorskextract")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_VORSK_DEB_PROJECTS
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};Runtime;/;${CMAKE_BINARY_DIR};${PROJECT_NAME};Debian;/")
if(NOT WIN32)
    # Debian's layout: the manual page compressed, and /usr/share/doc/<package> with the licence as
    # "copyright", the changelog in Debian's format as "changelog.gz" (the package's version carries no
    # Debian revision) and the README compressed. The changelog and the copyright file are written here
    # from CHANGELOG.md and LICENSE; gzip -n leaves names and times out, so the files depend on their
    # sources only.
    include("${PROJECT_SOURCE_DIR}/packaging/DebianDocuments.cmake")
    vorsk_debian_documents("${CMAKE_BINARY_DIR}/debian")
    install(FILES "${CMAKE_BINARY_DIR}/debian/VorskExtract.1.gz"
            DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT Debian EXCLUDE_FROM_ALL)
    install(FILES "${CMAKE_BINARY_DIR}/debian/copyright" "${CMAKE_BINARY_DIR}/debian/changelog.gz"
                  "${CMAKE_BINARY_DIR}/debian/README.md.gz"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_PACKAGE_NAME}"
            COMPONENT Debian EXCLUDE_FROM_ALL)
    find_program(VORSK_DPKG_SHLIBDEPS dpkg-shlibdeps)
    find_program(VORSK_FILE file)
    if((NOT VORSK_DPKG_SHLIBDEPS OR NOT VORSK_FILE) AND "DEB" IN_LIST CPACK_GENERATOR)
        message(STATUS "dpkg-shlibdeps or file not found (Debian packages dpkg-dev, file): "
                       "the package target cannot make the .deb")
    endif()
endif()
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/packaging/CPackProject.cmake")
# Tarballs hold root-owned entries (0/0) with modes 0755 for folders and the program, 0644 for the rest,
# whoever built them: cpack's archives carry the builder's ids, so each tarball is written again.
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/packaging/RootOwnedTarball.cmake")

include(CPack)
