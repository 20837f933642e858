# Writes the installed console's desktop entry and bus activation file into
# <out_dir>, for the program KX_CONSOLE_PROGRAM whose rank sounds lie in
# KX_CONSOLE_DATA_DIR/media. Run at install time, when the prefix is known.
# The values are quoted and escaped as -RegServer quotes them for the user's
# own copies (desktop_registration.cpp).

# Key files unescape "\\" in string values.
function(_kx_key_file_escaped text out)
    string(REPLACE "\\" "\\\\" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(kx_write_desktop_files out_dir resources_dir)
    if(KX_CONSOLE_PROGRAM MATCHES "^[A-Za-z0-9/._+-]+$")
        set(exec "${KX_CONSOLE_PROGRAM}")
    else()
        # The bus splits Exec= as a shell would; inside single quotes only "'" needs care.
        string(REPLACE "'" "'\\''" exec "${KX_CONSOLE_PROGRAM}")
        set(exec "'${exec}'")
    endif()
    _kx_key_file_escaped("${exec}" KX_BUS_EXEC)
    _kx_key_file_escaped("${KX_CONSOLE_DATA_DIR}" KX_CONSOLE_DATA_DIR)
    configure_file("${resources_dir}/velora.desktop.in" "${out_dir}/velora.desktop" @ONLY)
    configure_file("${resources_dir}/velora.service.in" "${out_dir}/${KX_BUS_NAME}.service" @ONLY)
endfunction()
