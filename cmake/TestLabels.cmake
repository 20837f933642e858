# kx_label_tests(<target> <labels...>): gives every test that
# gtest_discover_tests found in <target> these labels. Discovery writes one
# label list only and splits a list into separate words, so the labels are set
# afterwards, from the list of names discovery leaves in <target>_TESTS.
# Call it after gtest_discover_tests for the same target.
function(kx_label_tests target)
    string(JOIN "\\;" labels ${ARGN})
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake)
    file(WRITE ${script}
        "if(${target}_TESTS)\n"
        "  set_tests_properties(\${${target}_TESTS} PROPERTIES LABELS \"${labels}\")\n"
        "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()
