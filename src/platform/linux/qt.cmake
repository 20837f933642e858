# The Linux desktop front on Qt 6: dialogs, the web view, sound and the
# console executable. Qt stays inside this library and the executable.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Network WebEngineCore WebEngineWidgets Multimedia)

add_library(kx_platform_qt STATIC
    bus_connection.cpp
    bus_game_services.cpp
    bus_services_object.cpp
    bus_single_instance.cpp
    qt_window_system.cpp
    qt_dialog_host.cpp
    qt_dialog_metrics.cpp
    qt_dialog_modal.cpp
    qt_browser.cpp
    qt_browser_wire.cpp
    qt_event_wait.cpp
    qt_sound.cpp
    qt_web_engine_setup.cpp
)
set_target_properties(kx_platform_qt PROPERTIES AUTOMOC ON)
target_include_directories(kx_platform_qt PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(kx_platform_qt
    PUBLIC kx_platform_linux kx_core Qt6::Widgets Qt6::WebEngineWidgets Qt6::Multimedia
           PkgConfig::SYSTEMD
    PRIVATE kx_warnings)

# The console itself.
add_executable(velora velora_main.cpp resources/velora.qrc)
set_target_properties(velora PROPERTIES AUTORCC ON)
target_link_libraries(velora PRIVATE kx_platform_qt kx_warnings)

include(GNUInstallDirs)
install(TARGETS velora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/velora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/velora.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
