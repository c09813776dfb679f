# Makes the Debian package from a built tree into a scratch folder, unpacks it
# and checks that it holds the expected files and nothing else, with the
# owners and modes dpkg wants, that its control fields name what a fresh
# Debian needs to run the game, and that lintian, when there, has neither an
# error nor a warning for it. The scratch folder is kept when a check fails.
#   cmake -DBINARY_DIR=<build> -DSCRATCH=<scratch> -DCPACK=<cpack>
#         -P cmake/check-package.cmake
cmake_minimum_required(VERSION 3.21)

foreach(variable BINARY_DIR SCRATCH CPACK)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "${variable} is not set")
    endif()
endforeach()

find_program(DPKG_DEB dpkg-deb)
if(NOT DPKG_DEB)
    message(FATAL_ERROR "dpkg-deb is missing: it comes with dpkg, which every Debian has")
endif()
find_program(LINTIAN lintian)

set(package carrowmere)
set(id org.carrowmere.Carrowmere)
set(program usr/games/${package})
# The libraries dpkg-shlibdeps must find, and the plugins Qt loads at run time.
set(required_depends libqt6widgets6 libxcb-xkb1 qt6-qpa-plugins qt6-image-formats-plugins)

set(expected
    ${program}
    usr/share/applications/${id}.desktop
    usr/share/metainfo/${id}.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/${id}.svg
    usr/share/man/man6/${package}.6.gz
    usr/share/doc/${package}/copyright
    usr/share/doc/${package}/changelog.Debian.gz
    usr/share/lintian/overrides/${package})
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected usr/share/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()

set(failures)
# A semicolon would split a failure in two in the list.
macro(fail text)
    string(REPLACE ";" "," failure "${text}")
    list(APPEND failures "${failure}")
endmacro()

macro(run)
    execute_process(COMMAND ${ARGN}
        RESULT_VARIABLE result
        OUTPUT_VARIABLE output
        ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        list(JOIN ARGN " " command)
        message(FATAL_ERROR "${command} failed (${result}):\n${output}${errors}")
    endif()
endmacro()

# cpack's own folder, not the build tree's, so that the package `make package`
# left there stays as it was.
file(REMOVE_RECURSE ${SCRATCH})
execute_process(
    COMMAND ${CPACK} --config ${BINARY_DIR}/CPackConfig.cmake -G DEB -B ${SCRATCH}
    WORKING_DIRECTORY ${BINARY_DIR}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cpack failed (${result}):\n${output}")
endif()
file(GLOB debs ${SCRATCH}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "cpack made ${count} packages, not one:\n${output}")
endif()
get_filename_component(deb_name ${debs} NAME)

foreach(field Package Version Architecture Section Priority Depends)
    run(${DPKG_DEB} --field ${debs} ${field})
    string(STRIP "${output}" field_${field})
endforeach()
if(NOT field_Package STREQUAL package)
    fail("Package: is '${field_Package}', not ${package}")
endif()
if(NOT field_Section STREQUAL "games")
    fail("Section: is '${field_Section}', not games")
endif()
if(NOT field_Priority STREQUAL "optional")
    fail("Priority: is '${field_Priority}', not optional")
endif()
if(NOT deb_name STREQUAL "${package}_${field_Version}_${field_Architecture}.deb")
    fail("the file is ${deb_name}, not ${package}_${field_Version}_${field_Architecture}.deb")
endif()
string(REGEX REPLACE " *\\([^)]*\\)" "" depends "${field_Depends}")
string(REGEX REPLACE " *[,|] *" ";" depends "${depends}")
foreach(name ${required_depends})
    if(NOT name IN_LIST depends)
        fail("Depends: lacks ${name}: '${field_Depends}'")
    endif()
endforeach()

set(root ${SCRATCH}/root)
run(${DPKG_DEB} -x ${debs} ${root})
include(${CMAKE_CURRENT_LIST_DIR}/expect-files.cmake)
expect_exactly(${root} expected)
if(EXISTS ${root}/${program})
    execute_process(COMMAND test -x ${root}/${program} RESULT_VARIABLE executable)
    if(NOT executable EQUAL 0)
        fail("${program} is not executable")
    endif()
endif()

# The modes and owners as the archive holds them, whatever the umask of the
# extraction: root's, 0755 for folders and the program, 0644 for the rest.
run(${DPKG_DEB} --contents ${debs})
string(REPLACE "\n" ";" entries "${output}")
foreach(entry ${entries})
    if(NOT entry MATCHES "^([^ ]+) +([^ ]+) +[0-9]+ +[^ ]+ +[^ ]+ +\\./(.*)$")
        continue()
    endif()
    set(mode ${CMAKE_MATCH_1})
    set(owner ${CMAKE_MATCH_2})
    string(REGEX REPLACE "/$" "" path "${CMAKE_MATCH_3}")
    if(mode MATCHES "^d")
        set(wanted drwxr-xr-x)
    elseif(path STREQUAL program)
        set(wanted -rwxr-xr-x)
    else()
        set(wanted -rw-r--r--)
    endif()
    if(NOT mode STREQUAL wanted OR NOT owner STREQUAL "root/root")
        fail("${path} is ${mode} ${owner}, not ${wanted} root/root")
    endif()
endforeach()

# The package's version is the changelog's top entry.
set(changelog ${root}/usr/share/doc/${package}/changelog.Debian.gz)
if(EXISTS ${changelog})
    run(gzip -dc ${changelog})
    string(REGEX MATCH "^${package} \\(([^)]*)\\)" top "${output}")
    if(NOT CMAKE_MATCH_1 STREQUAL field_Version)
        fail("changelog.Debian's top entry is for '${CMAKE_MATCH_1}', not ${field_Version}")
    endif()
endif()

if(LINTIAN)
    execute_process(
        COMMAND ${LINTIAN} --tag-display-limit 0 ${debs}
        RESULT_VARIABLE result
        OUTPUT_VARIABLE output
        ERROR_VARIABLE errors)
    # Warnings fail too: the package has none, and a new one wants a look.
    string(REPLACE ";" "," output "${output}")
    string(REGEX MATCHALL "(^|\n)[EW]: [^\n]*" complaints "${output}")
    foreach(complaint ${complaints})
        string(STRIP "${complaint}" complaint)
        fail("lintian: ${complaint}")
    endforeach()
    # lintian exits 2 for a tag it fails on and 1 when it could not check.
    if(result EQUAL 1)
        fail("lintian could not check the package:\n${errors}")
    endif()
else()
    message(STATUS "lintian is not installed: the package was not linted")
endif()

if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "The package ${deb_name}, unpacked in ${root}:\n  ${text}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
list(LENGTH expected count)
message(STATUS "${deb_name} holds the ${count} expected files and nothing else; "
    "Depends: ${field_Depends}")
