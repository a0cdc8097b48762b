# The documents of the Debian package, made in a folder of the build tree:
#
#   copyright            LICENSE in Debian's machine-readable copyright format
#   changelog.gz         CHANGELOG.md as a Debian changelog, one entry per version
#   VorskExtract.1.gz    the manual page
#   README.md.gz         the README
#
# The copyright file and the changelog are written when CMake configures (again whenever LICENSE or
# CHANGELOG.md change); the compressed files are built by the target vorsk_debian_documents, part of "all".

# Appends the day of the week ("Sun" to "Sat") of the date YEAR-MONTH-DAY to a variable.
function(vorsk_weekday year month day result)
    set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
    math(EXPR index "${month} - 1")
    list(GET offsets ${index} offset)
    if(month LESS 3)
        math(EXPR year "${year} - 1")
    endif()
    math(EXPR weekday "(${year} + ${year} / 4 - ${year} / 100 + ${year} / 400 + ${offset} + ${day}) % 7")
    set(names Sun Mon Tue Wed Thu Fri Sat)
    list(GET names ${weekday} name)
    set(${result} ${name} PARENT_SCOPE)
endfunction()

# Appends to the variable RESULT the words of TEXT filled into lines of at most 80 columns, the first line
# starting with FIRST and the others with REST.
function(vorsk_fill result text first rest)
    string(REPLACE " " ";" words "${text}")
    set(filled "${${result}}")
    set(line "${first}")
    set(empty TRUE)
    foreach(word IN LISTS words)
        if(word STREQUAL "")
            continue()
        endif()
        string(LENGTH "${line} ${word}" length)
        if(NOT empty AND length GREATER 80)
            string(APPEND filled "${line}\n")
            set(line "${rest}")
            set(empty TRUE)
        endif()
        if(empty)
            string(APPEND line "${word}")
        else()
            string(APPEND line " ${word}")
        endif()
        set(empty FALSE)
    endforeach()
    string(APPEND filled "${line}\n")
    set(${result} "${filled}" PARENT_SCOPE)
endfunction()

# Writes the Debian changelog made from the Markdown changelog SOURCE into DESTINATION. Each "## VERSION -
# YYYY-MM-DD" section becomes an entry, dated that day at noon UTC; an "## Unreleased" section is left out. Its paragraphs and list items keep their
# order and nesting, indented by two more columns, with "*" for the items at the left margin, and are
# filled again to Debian's 80 columns.
function(vorsk_debian_changelog source destination package maintainer)
    file(READ "${source}" text)
    # Lines as a list: semicolons and brackets, which would split or join list items, stand aside as
    # control characters meanwhile.
    string(ASCII 1 semicolon)
    string(ASCII 2 opening)
    string(ASCII 3 closing)
    string(REPLACE ";" "${semicolon}" text "${text}")
    string(REPLACE "[" "${opening}" text "${text}")
    string(REPLACE "]" "${closing}" text "${text}")
    string(REPLACE "\n" ";" lines "${text}")
    set(result "")
    set(entry "")
    # The paragraph or item being gathered: its words, the start of its first line and of the others.
    set(words "")
    set(first "")
    set(rest "")
    set(body "")
    set(blank FALSE)
    foreach(line IN LISTS lines ITEMS "## END")
        # A blank line, a heading, an item or a line indented otherwise than the gathered text ends it.
        if(NOT words STREQUAL "")
            string(LENGTH "${rest}" indent)
            string(REGEX MATCH "^ *" leading "  ${line}")
            string(LENGTH "${leading}" line_indent)
            if(line STREQUAL "" OR line MATCHES "^ *(- |## )" OR NOT line_indent EQUAL indent)
                vorsk_fill(body "${words}" "${first}" "${rest}")
                set(words "")
            endif()
        endif()
        if(line MATCHES "^## ")
            if(entry)
                string(APPEND result "${entry}\n\n${body}\n -- ${maintainer}  ${date}\n\n")
            endif()
            if(line STREQUAL "## END")
                break()
            endif()
            if(line MATCHES "^## Unreleased")
                # Changes not released yet belong to no version: left out.
                set(entry "")
                continue()
            endif()
            if(NOT line MATCHES "^## ([0-9][^ ]*) - ([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
                message(FATAL_ERROR
                        "${source}: a version heading reads \"## VERSION - YYYY-MM-DD\", not \"${line}\"")
            endif()
            set(version ${CMAKE_MATCH_1})
            set(year ${CMAKE_MATCH_2})
            set(month_text ${CMAKE_MATCH_3})
            set(day_text ${CMAKE_MATCH_4})
            math(EXPR month "${month_text}")
            math(EXPR day "${day_text}")
            vorsk_weekday(${year} ${month} ${day} weekday)
            set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
            math(EXPR index "${month} - 1")
            list(GET months ${index} month_name)
            set(date "${weekday}, ${day_text} ${month_name} ${year} 12:00:00 +0000")
            set(entry "${package} (${version}) unstable; urgency=medium")
            set(body "")
            set(blank FALSE)
        elseif(entry)
            if(line STREQUAL "")
                # Blank lines inside an entry are kept, one at a time; those at its ends are dropped.
                if(NOT body STREQUAL "")
                    set(blank TRUE)
                endif()
            elseif(NOT words STREQUAL "")
                string(STRIP "${line}" line)
                string(APPEND words " ${line}")
            else()
                if(blank)
                    string(APPEND body "\n")
                    set(blank FALSE)
                endif()
                string(REGEX MATCH "^( *)(- )?(.*)$" parts "${line}")
                set(indent "  ${CMAKE_MATCH_1}")
                set(words "${CMAKE_MATCH_3}")
                if(CMAKE_MATCH_2 STREQUAL "")
                    set(first "${indent}")
                    set(rest "${indent}")
                elseif(CMAKE_MATCH_1 STREQUAL "")
                    set(first "${indent}* ")
                    set(rest "${indent}  ")
                else()
                    set(first "${indent}- ")
                    set(rest "${indent}  ")
                endif()
            endif()
        endif()
    endforeach()
    string(REPLACE "${semicolon}" ";" result "${result}")
    string(REPLACE "${opening}" "[" result "${result}")
    string(REPLACE "${closing}" "]" result "${result}")
    string(REGEX REPLACE "\n\n$" "\n" result "${result}")
    file(WRITE "${destination}" "${result}")
endfunction()

# Writes LICENSE (a copyright line, then the licence's text) as a machine-readable copyright file.
function(vorsk_debian_copyright source destination contact)
    file(READ "${source}" text)
    if(NOT text MATCHES "^MIT License\n\nCopyright \\(c\\) ([^\n]+)\n\n(.*[^\n])\n*$")
        message(FATAL_ERROR "${source} does not start with \"MIT License\" and a copyright line")
    endif()
    set(holder "${CMAKE_MATCH_1}")
    set(licence "${CMAKE_MATCH_2}")
    # In the licence's text every line is indented by one column and a blank line is a lone ".".
    string(REPLACE "\n\n" "\n.\n" licence "${licence}")
    string(REPLACE "\n" "\n " licence "${licence}")
    file(WRITE "${destination}"
         "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
         "Upstream-Name: ${PROJECT_NAME}\n"
         "Upstream-Contact: ${contact}\n"
         "\n"
         "Files: *\n"
         "Copyright: ${holder}\n"
         "License: Expat\n"
         " ${licence}\n")
endfunction()

# Makes the documents in DIRECTORY.
function(vorsk_debian_documents directory)
    find_program(VORSK_GZIP gzip REQUIRED)
    set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 "${PROJECT_SOURCE_DIR}/CHANGELOG.md" "${PROJECT_SOURCE_DIR}/LICENSE")
    vorsk_debian_changelog("${PROJECT_SOURCE_DIR}/CHANGELOG.md" "${directory}/changelog"
                           "${CPACK_DEBIAN_PACKAGE_NAME}" "${CPACK_PACKAGE_CONTACT}")
    vorsk_debian_copyright("${PROJECT_SOURCE_DIR}/LICENSE" "${directory}/copyright"
                           "${CPACK_PACKAGE_CONTACT}")
    set(outputs "${directory}/copyright")
    foreach(source IN ITEMS "${directory}/changelog" "${PROJECT_SOURCE_DIR}/docs/VorskExtract.1"
                            "${PROJECT_SOURCE_DIR}/README.md")
        get_filename_component(name "${source}" NAME)
        add_custom_command(OUTPUT "${directory}/${name}.gz"
                           COMMAND "${VORSK_GZIP}" -9 -n -c "${source}" > "${directory}/${name}.gz"
                           DEPENDS "${source}" VERBATIM)
        list(APPEND outputs "${directory}/${name}.gz")
    endforeach()
    add_custom_target(vorsk_debian_documents ALL DEPENDS ${outputs})
endfunction()
