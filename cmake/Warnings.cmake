# Every target of ours builds with these; a new warning is a bug to fix, not to silence.
add_library(kx_warnings INTERFACE)
if(MSVC)
    target_compile_options(kx_warnings INTERFACE /W4 /permissive-)
else()
    # C sources (the SDK's C interface test) take all but the C++ ones.
    target_compile_options(kx_warnings INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
        $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor> $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>
        $<$<COMPILE_LANGUAGE:CXX>:-Woverloaded-virtual> -Wimplicit-fallthrough)
    # GCC 12 reports overlapping copies inside libstdc++'s own string
    # concatenation at -O3 that cannot happen (a known false positive).
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(kx_warnings INTERFACE -Wno-restrict)
    endif()
    if(KX_WERROR)
        target_compile_options(kx_warnings INTERFACE -Werror)
    endif()
endif()
