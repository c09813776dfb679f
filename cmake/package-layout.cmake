# Run by cpack on the staged install, before it makes the Debian package.
#
# Debian keeps the programs of games in /usr/games, and lintian fails a
# package in section games whose program is elsewhere. A plain install keeps
# bin/, where ~/.local/bin and /usr/local/bin are on the PATH; so only the
# package moves the program.
cmake_minimum_required(VERSION 3.21)

set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(program carrowmere)
set(directory_permissions
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(file_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

if(NOT EXISTS ${root}/bin/${program})
    message(FATAL_ERROR "The staged install lacks bin/${program}")
endif()
file(MAKE_DIRECTORY ${root}/games)
file(RENAME ${root}/bin/${program} ${root}/games/${program})
file(GLOB left ${root}/bin/*)
if(NOT left)
    file(REMOVE_RECURSE ${root}/bin)
endif()

# Install's strip leaves the compiler's .comment and .note sections, which
# lintian asks to drop, as dh_strip would.
if(CPACK_CARROWMERE_STRIP)
    execute_process(
        COMMAND ${CPACK_CARROWMERE_STRIP} --remove-section=.comment --remove-section=.note
            ${root}/games/${program}
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${CPACK_CARROWMERE_STRIP} failed on ${program}")
    endif()
endif()

# lintian's overrides belong to the package alone.
set(overrides ${root}/share/lintian/overrides)
file(MAKE_DIRECTORY ${overrides})
file(COPY_FILE ${CPACK_CARROWMERE_DEBIAN_DIR}/lintian-overrides ${overrides}/${program})
file(CHMOD ${overrides}/${program} PERMISSIONS ${file_permissions})

# The install makes its folders as the umask of whoever packages allows, and
# a 0700 folder in /usr would lock every player out.
file(GLOB_RECURSE directories LIST_DIRECTORIES true ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*)
foreach(directory ${directories})
    if(IS_DIRECTORY ${directory})
        file(CHMOD ${directory} PERMISSIONS ${directory_permissions})
    endif()
endforeach()
