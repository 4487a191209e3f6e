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
if(VANTREL_SANITIZE)
    target_compile_options(vantrel_defaults INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(vantrel_defaults INTERFACE -fsanitize=address,undefined)
endif()

function(vantrel_target_defaults target)
    target_link_libraries(${target} PRIVATE vantrel_defaults)
endfunction()
