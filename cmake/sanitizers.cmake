# CARROWMERE_SANITIZE=ON builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer (see `make check-sanitize`).
option(CARROWMERE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(CARROWMERE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
