# Every target of ours builds with these; a new warning is a bug to fix, not to silence.
add_library(kx_warnings INTERFACE)
if(MSVC)
    target_compile_options(kx_warnings INTERFACE /W4 /permissive-)
else()
    target_compile_options(kx_warnings INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
        -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wimplicit-fallthrough)
    if(KX_WERROR)
        target_compile_options(kx_warnings INTERFACE -Werror)
    endif()
endif()
