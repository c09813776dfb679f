# CARROWMERE_SANITIZE=ON builds everything with AddressSanitizer (LeakSanitizer
# included) and UndefinedBehaviorSanitizer; `make check-sanitize` runs the
# tests so built (tools/check-sanitize.sh).
option(CARROWMERE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(CARROWMERE_SANITIZE)
    # Frame pointers give LeakSanitizer's cheap unwinder whole stacks of our
    # code; every undefined behaviour ends the program, so none goes unseen.
    # GCC leaves float-cast-overflow out of "undefined" (Clang does not): a
    # real value out of an int's range, or not a number, converted to int is
    # undefined, and the world's grid indices and colours are such conversions.
    set(carrowmere_sanitizers address,undefined,float-cast-overflow)
    add_compile_options(-fsanitize=${carrowmere_sanitizers} -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined,float-cast-overflow)
    add_link_options(-fsanitize=${carrowmere_sanitizers})

    # LeakSanitizer looks for leaks after main returns, when the X connection
    # is closed and Mesa has unloaded its DRI driver: that driver's one-time
    # allocations, no longer reachable from its unmapped globals, would be
    # reported from an "<unknown module>" that no suppression can name. These
    # programs therefore keep every library loaded (a dlclose that does
    # nothing), so its memory stays reachable and its frames keep their names.
    add_library(carrowmere_keep_libraries OBJECT ${CMAKE_CURRENT_LIST_DIR}/keep-libraries-loaded.cpp)
    link_libraries(carrowmere_keep_libraries)
    # Libraries find dlclose in the program only if it exports it.
    add_link_options(-Wl,--export-dynamic-symbol=dlclose)
endif()
