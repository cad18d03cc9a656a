# One interface target carries the language level, warnings and Qt defines; every target of the
# project links it, so no global flags are needed.
add_library(quillet_options INTERFACE)
target_compile_features(quillet_options INTERFACE cxx_std_20)
target_compile_options(quillet_options INTERFACE -Wall -Wextra)
target_compile_definitions(quillet_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QUILLET_VERSION_TEXT="${PROJECT_VERSION}")

if(QUILLET_SANITIZE)
    target_compile_options(quillet_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(quillet_options INTERFACE -fsanitize=address,undefined)
endif()

# The hardening Debian builds its own packages with: checked string and memory functions, a
# stack guard, and a relocation table made read-only before the program runs. Fortified
# functions need optimisation and clash with AddressSanitizer's own checks.
if(NOT QUILLET_SANITIZE)
    target_compile_options(quillet_options INTERFACE -fstack-protector-strong
        $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
    target_link_options(quillet_options INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()

# Every include names its header from the source root ("discovery/relynsearch.h"), so no two
# headers of one name can be confused, whichever libraries a target links.
target_include_directories(quillet_options INTERFACE ${PROJECT_SOURCE_DIR})
