# Read by cpack once for each package it makes, with CPACK_GENERATOR naming that package's generator.

if(CPACK_GENERATOR STREQUAL "DEB")
    # Depends comes from dpkg-shlibdeps, which cpack runs on the files that "file" says are programs; a .deb
    # without it would install without its libraries.
    find_program(VORSK_DPKG_SHLIBDEPS dpkg-shlibdeps)
    find_program(VORSK_FILE file)
    if(NOT VORSK_DPKG_SHLIBDEPS OR NOT VORSK_FILE)
        message(FATAL_ERROR "dpkg-shlibdeps or file was not found: install dpkg-dev and file to make the "
                            ".deb (cpack -G TGZ makes the tarball alone)")
    endif()
    # The program and the completion, with the documents in Debian's layout.
    set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_VORSK_DEB_PROJECTS}")
endif()
