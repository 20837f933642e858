# The internet port on libcurl; included by the Linux backend's CMakeLists.
find_package(CURL REQUIRED)
find_package(Threads REQUIRED)
# libcurl's TLS library, to share one certificate store between handshakes.
find_package(OpenSSL REQUIRED)
target_sources(kx_platform_linux PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/curl_ca_store.cpp
    ${CMAKE_CURRENT_LIST_DIR}/curl_errors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/curl_handle_table.cpp
    ${CMAKE_CURRENT_LIST_DIR}/curl_inet_api.cpp
    ${CMAKE_CURRENT_LIST_DIR}/curl_inet_config.cpp
    ${CMAKE_CURRENT_LIST_DIR}/curl_request.cpp
    ${CMAKE_CURRENT_LIST_DIR}/curl_request_transfer.cpp)
target_link_libraries(kx_platform_linux PUBLIC CURL::libcurl OpenSSL::SSL OpenSSL::Crypto Threads::Threads)
