# Installation: the program and its desktop integration.
include(GNUInstallDirs)
install(TARGETS carrowmere RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
