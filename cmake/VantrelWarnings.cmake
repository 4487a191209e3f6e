# Every target of ours calls vantrel_target_defaults() so warnings and
# sanitizers are set in one place instead of leaking into Qt's own targets
# through global flags.
add_library(vantrel_defaults INTERFACE)
target_compile_options(vantrel_defaults INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
target_compile_definitions(vantrel_defaults INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_DISABLE_DEPRECATED_UP_TO=0x060400)
if(VANTREL_WERROR)
    target_compile_options(vantrel_defaults INTERFACE -Werror)
endif()
# Debian's hardening: a read-only GOT, and libc calls checked against the
# buffer sizes the compiler knows (which needs an optimised build).
target_link_options(vantrel_defaults INTERFACE -Wl,-z,relro -Wl,-z,now)
if(NOT VANTREL_SANITIZE)
    set(optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
    target_compile_options(vantrel_defaults INTERFACE -fstack-protector-strong
        $<${optimised}:-U_FORTIFY_SOURCE> $<${optimised}:-D_FORTIFY_SOURCE=2>)
endif()
if(VANTREL_SANITIZE)
    target_compile_options(vantrel_defaults INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(vantrel_defaults INTERFACE -fsanitize=address,undefined)
endif()

function(vantrel_target_defaults target)
    target_link_libraries(${target} PRIVATE vantrel_defaults)
    # For the precompiled headers, chosen once every target exists.
    set_property(GLOBAL APPEND PROPERTY VANTREL_TARGETS ${target})
endfunction()
