# Installation: the program and its desktop integration.
include(GNUInstallDirs)
install(TARGETS carrowmere RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(carrowmere_id org.carrowmere.Carrowmere)
set(carrowmere_desktop_dir ${CMAKE_CURRENT_SOURCE_DIR}/resources/desktop)
set(carrowmere_icon_dir ${CMAKE_CURRENT_SOURCE_DIR}/resources/icons)

install(FILES ${carrowmere_desktop_dir}/${carrowmere_id}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${carrowmere_desktop_dir}/${carrowmere_id}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${carrowmere_icon_dir}/${carrowmere_id}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The PNGs are rendered by tools/icons.sh and committed.
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${carrowmere_icon_dir}/${size}x${size}/${carrowmere_id}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Man pages and Debian changelogs are shipped compressed. gzip -n leaves the
# name and time out of the header, so that the same source gives the same
# bytes. Done when configuring, so that an install needs no build target
# beyond the program.
find_program(GZIP gzip REQUIRED)
function(carrowmere_compress source name output)
    set(compressed ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name}.gz)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/compressed)
    execute_process(
        COMMAND ${GZIP} -9nc ${source}
        OUTPUT_FILE ${compressed}
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Could not compress ${source}")
    endif()
    set(${output} ${compressed} PARENT_SCOPE)
endfunction()

carrowmere_compress(${CMAKE_CURRENT_SOURCE_DIR}/resources/man/carrowmere.6 carrowmere.6 carrowmere_man_page)
install(FILES ${carrowmere_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)

# The window's own icon, for window managers and task bars that do not look
# the desktop file up. PNGs, since an SVG would need the Qt SVG module.
qt_add_resources(carrowmere icons
    PREFIX /icons
    BASE ${carrowmere_icon_dir}
    FILES
        ${carrowmere_icon_dir}/16x16/${carrowmere_id}.png
        ${carrowmere_icon_dir}/32x32/${carrowmere_id}.png
        ${carrowmere_icon_dir}/48x48/${carrowmere_id}.png
        ${carrowmere_icon_dir}/64x64/${carrowmere_id}.png
        ${carrowmere_icon_dir}/128x128/${carrowmere_id}.png
        ${carrowmere_icon_dir}/256x256/${carrowmere_id}.png)

if(BUILD_TESTING)
    # Warnings and hints too: a hint about categories means a misplaced menu entry.
    add_test(NAME desktop-file
        COMMAND desktop-file-validate ${carrowmere_desktop_dir}/${carrowmere_id}.desktop)
    set_tests_properties(desktop-file PROPERTIES FAIL_REGULAR_EXPRESSION "error|warning|hint")

    # --strict fails on infos as well. Not --pedantic: it objects to the
    # capital in the id, which the desktop file's name must share.
    add_test(NAME metainfo
        COMMAND appstreamcli validate --no-net --strict ${carrowmere_desktop_dir}/${carrowmere_id}.metainfo.xml)

    add_test(NAME install
        COMMAND ${CMAKE_COMMAND}
            -DBINARY_DIR=${CMAKE_BINARY_DIR}
            -DPREFIX=${CMAKE_BINARY_DIR}/install-check
            -DBINDIR=${CMAKE_INSTALL_BINDIR}
            -DDATADIR=${CMAKE_INSTALL_DATADIR}
            -DMANDIR=${CMAKE_INSTALL_MANDIR}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/check-install.cmake)
endif()

include(cmake/package.cmake)
