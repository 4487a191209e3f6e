# vantrel_startup_libraries_first(<program>): the libraries most symbols at
# start are looked up in come first on the program's link line: Qt Core, Gui
# and Widgets (Qt's libraries among themselves), the C++ library and the C
# library (every library's). The dynamic loader searches the libraries in the
# order the program names them, and in the order CMake gives (each library
# before those it uses, the system's last) every such lookup first passed
# over the program's own dependencies (the network, serial and
# remote-control libraries), which showed in start-up. None of these defines
# a symbol of another but for libm's copies of a few of libc's functions.
# Link options come before the libraries on the command line; --no-as-needed
# keeps the names where they are given. Not under the sanitizers, whose
# runtime must come first.
function(vantrel_startup_libraries_first program)
    if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT VANTREL_SANITIZE)
        target_link_options(${program} PRIVATE "LINKER:--push-state,--no-as-needed"
            "$<TARGET_LINKER_FILE:Qt6::Core>" "$<TARGET_LINKER_FILE:Qt6::Gui>"
            "$<TARGET_LINKER_FILE:Qt6::Widgets>" -lstdc++ -l:libc.so.6 "LINKER:--pop-state")
    endif()
endfunction()
