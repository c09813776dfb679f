# Installs a built tree into a scratch prefix and checks that the program, its
# desktop integration, its man page and its licence land where desktops and
# man look for them, that the program and its desktop files name each other
# consistently, and that nothing else is installed.
#   cmake -DBINARY_DIR=<build> -DPREFIX=<scratch> -DBINDIR=bin -DDATADIR=share
#         -DMANDIR=share/man -P cmake/check-install.cmake
cmake_minimum_required(VERSION 3.21)

foreach(variable BINARY_DIR PREFIX BINDIR DATADIR MANDIR)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "${variable} is not set")
    endif()
endforeach()

set(id org.carrowmere.Carrowmere)
set(program carrowmere)
set(icon_sizes 16 24 32 48 64 128 256)

set(failures)
macro(fail text)
    list(APPEND failures "${text}")
endmacro()

file(REMOVE_RECURSE ${PREFIX})
execute_process(
    COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${PREFIX}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

set(desktop_file ${DATADIR}/applications/${id}.desktop)
set(metainfo_file ${DATADIR}/metainfo/${id}.metainfo.xml)
set(expected
    ${BINDIR}/${program}
    ${desktop_file}
    ${metainfo_file}
    ${DATADIR}/icons/hicolor/scalable/apps/${id}.svg
    ${MANDIR}/man6/${program}.6.gz
    ${DATADIR}/doc/${program}/copyright
    ${DATADIR}/doc/${program}/changelog.Debian.gz)
foreach(size ${icon_sizes})
    list(APPEND expected ${DATADIR}/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/expect-files.cmake)
expect_exactly(${PREFIX} expected)

if(EXISTS ${PREFIX}/${BINDIR}/${program})
    execute_process(COMMAND test -x ${PREFIX}/${BINDIR}/${program} RESULT_VARIABLE executable)
    if(NOT executable EQUAL 0)
        fail("${BINDIR}/${program} is not executable")
    endif()
endif()

# A theme finds an icon by its directory: each PNG must have that size. The
# width and height are the first two words of the IHDR chunk, at byte 16.
foreach(size ${icon_sizes})
    set(png ${PREFIX}/${DATADIR}/icons/hicolor/${size}x${size}/apps/${id}.png)
    if(EXISTS ${png})
        file(READ ${png} header OFFSET 16 LIMIT 8 HEX)
        string(SUBSTRING ${header} 0 8 width)
        string(SUBSTRING ${header} 8 8 height)
        math(EXPR width "0x${width}")
        math(EXPR height "0x${height}")
        if(NOT width EQUAL size OR NOT height EQUAL size)
            fail("${size}x${size} icon is ${width}x${height}")
        endif()
    endif()
endforeach()

# The desktop file starts the installed program, shows the installed icon and
# recognises the program's windows; the metainfo names the same component and
# launches that desktop file.
if(EXISTS ${PREFIX}/${desktop_file})
    file(STRINGS ${PREFIX}/${desktop_file} exec REGEX "^Exec=")
    file(STRINGS ${PREFIX}/${desktop_file} icon REGEX "^Icon=")
    file(STRINGS ${PREFIX}/${desktop_file} window_class REGEX "^StartupWMClass=")
    if(NOT exec STREQUAL "Exec=${program}")
        fail("desktop file: '${exec}' does not start ${program}")
    endif()
    # On X11 the toolkit names the window's class after the program.
    if(NOT window_class STREQUAL "StartupWMClass=${program}")
        fail("desktop file: '${window_class}' does not match the window class ${program}")
    endif()
    if(NOT icon STREQUAL "Icon=${id}")
        fail("desktop file: '${icon}' is not the installed icon ${id}")
    endif()
endif()
if(EXISTS ${PREFIX}/${metainfo_file})
    file(READ ${PREFIX}/${metainfo_file} metainfo)
    foreach(element
            "<id>${id}</id>"
            "<launchable type=\"desktop-id\">${id}.desktop</launchable>"
            "<binary>${program}</binary>")
        string(FIND "${metainfo}" "${element}" at)
        if(at EQUAL -1)
            fail("metainfo lacks ${element}")
        endif()
    endforeach()
endif()

if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "Installed into ${PREFIX}:\n  ${text}")
endif()
file(REMOVE_RECURSE ${PREFIX})
list(LENGTH expected count)
message(STATUS "The install holds the ${count} expected files and nothing else")
