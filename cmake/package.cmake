# The Debian package, built by `make package` or by `cpack -G DEB` in the
# build tree: carrowmere_<version>-<revision>_<arch>.deb.

set(carrowmere_debian_dir ${CMAKE_CURRENT_SOURCE_DIR}/resources/debian)
set(carrowmere_maintainer "Carrowmere developers <carrowmere@users.noreply.github.com>")

# The package's revision comes from the top entry of the Debian changelog,
# whose upstream version must be the project's. A version bumped without an
# entry only warns here, so that the game still builds; the package test
# fails on it.
file(STRINGS ${carrowmere_debian_dir}/changelog carrowmere_changelog_top LIMIT_COUNT 1)
if(NOT carrowmere_changelog_top MATCHES "^carrowmere \\(([^)]+)-([^)-]+)\\) ")
    message(FATAL_ERROR "resources/debian/changelog does not start with an entry "
        "\"carrowmere (<version>-<revision>) ...\"")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_2})
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(WARNING "resources/debian/changelog is at ${CMAKE_MATCH_1}, the project at "
        "${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION}-1 at its top")
    set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
endif()

# Debian wants both in /usr/share/doc/<package>, and lintian reads the
# copyright in the machine-readable format.
carrowmere_compress(${carrowmere_debian_dir}/changelog changelog.Debian carrowmere_changelog)
install(FILES ${carrowmere_debian_dir}/copyright ${carrowmere_changelog}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/carrowmere)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME carrowmere)
set(CPACK_PACKAGE_VENDOR "The Carrowmere developers")
set(CPACK_PACKAGE_CONTACT ${carrowmere_maintainer})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${carrowmere_maintainer})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Zombie outbreak simulation game")
set(CPACK_PACKAGE_DESCRIPTION [[
Carrowmere is a zombie outbreak in real time. Five hundred zombies flock over
a world strewn with buildings, fast and as one by night, slow and scattered
by day, and a day lasts about a minute. Thirty survivors band together, flee
and fight back, bare-handed or with guns whose every shot draws the dead.

Buildings are made of wall cells that stop everyone until crowds wear them
down. Noises draw the dead, and new waves keep coming from the edges of the
world. You steer one survivor and score for every moment it lives; give up
control and watch the whole outbreak with a free camera.
]])

set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build keeps its debugging symbols; the package does not.
set(CPACK_STRIP_FILES ON)
# Moves the program to /usr/games, strips it further, adds lintian's
# overrides and opens the folders to all, in the package only. cpack hands
# the script every variable named CPACK_*.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/package-layout.cmake)
set(CPACK_CARROWMERE_STRIP ${CMAKE_STRIP})
set(CPACK_CARROWMERE_DEBIAN_DIR ${carrowmere_debian_dir})
# Whatever the umask of whoever packages, dpkg and lintian want 0644 control
# files; package-layout.cmake sees to the folders.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps names the libraries the program links. Qt loads its platform
# plugin (xcb) and the TIFF reader for the building maps at run time, so no
# link shows them and they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-image-formats-plugins")
# The game asks for Arial; Liberation Sans has its metrics. Without it the
# text falls back to whatever font fontconfig has, which still works.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation)

include(CPack)

# Nobody ships a package of the sanitizers' build, and the test runs none of
# its code.
if(BUILD_TESTING AND NOT CARROWMERE_SANITIZE)
    add_test(NAME package
        COMMAND ${CMAKE_COMMAND}
            -DBINARY_DIR=${CMAKE_BINARY_DIR}
            -DSCRATCH=${CMAKE_BINARY_DIR}/package-check
            -DCPACK=${CMAKE_CPACK_COMMAND}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/check-package.cmake)
    set_tests_properties(package PROPERTIES TIMEOUT 180)
endif()
