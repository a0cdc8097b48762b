# Run by cpack after it made its packages (CPACK_PACKAGE_FILES): writes each .tar.gz again with every entry
# owned by 0/0, given numerically, folders and executables with mode 0755 and the other files 0644, in name
# order. Unpacked by root, such a tarball hands nothing to the user who built it. Needs GNU tar.

foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(NOT package MATCHES "\\.tar\\.gz$")
        continue()
    endif()
    set(scratch "${package}.d")
    file(REMOVE_RECURSE "${scratch}")
    file(MAKE_DIRECTORY "${scratch}")
    execute_process(COMMAND tar -xzf "${package}" WORKING_DIRECTORY "${scratch}" COMMAND_ERROR_IS_FATAL ANY)
    file(GLOB entries RELATIVE "${scratch}" "${scratch}/*")
    execute_process(COMMAND tar --create --gzip --file "${package}" --sort=name --numeric-owner --owner=0
                            --group=0 --mode=u=rwX,go=rX -- ${entries}
                    WORKING_DIRECTORY "${scratch}" COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${scratch}")
endforeach()
