# The layers of src/ as static libraries. Each compiles against a view of
# src/ that holds only the folders it may include, so an include that runs
# against the direction does not compile; scripts/check-includes.py checks
# the same table for every file, backends and entry points included.

set(KX_SOURCE_ROOT ${PROJECT_SOURCE_DIR}/src)

# kx_layer(<target> SOURCES <files...> SEES <folders of src/...> LINKS <targets...>)
function(kx_layer target)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;SEES;LINKS")
    add_library(${target} STATIC ${ARG_SOURCES})
    set(view ${CMAKE_BINARY_DIR}/include-views/${target})
    file(MAKE_DIRECTORY ${view})
    foreach(folder IN LISTS ARG_SEES)
        file(CREATE_LINK ${KX_SOURCE_ROOT}/${folder} ${view}/${folder} SYMBOLIC)
    endforeach()
    target_include_directories(${target} PUBLIC ${view})
    target_link_libraries(${target} PUBLIC ${ARG_LINKS} PRIVATE kx_warnings)
endfunction()
