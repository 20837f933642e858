# The game SDK for Windows: KXCommServices over COM, a static library with
# the interface's header that widl makes from the console's own description.
add_library(kestrix-game STATIC
    src/game_services_c.cpp
    src/game_services_win.cpp
    src/interface_ids_win.cpp
    src/result_names.cpp)
add_dependencies(kestrix-game kx_win_interface)
# The name a game's own CMake uses, as on Linux.
add_library(Kestrix::game ALIAS kestrix-game)
target_include_directories(kestrix-game PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                           ${KX_WIN_INTERFACE_DIR})
target_compile_features(kestrix-game PUBLIC cxx_std_20)
target_link_libraries(kestrix-game PUBLIC ole32 uuid PRIVATE kx_warnings)

# Word Maze for Windows (wordmaze.exe), on the same rules as the Linux one.
add_subdirectory(samples/wordmaze)
