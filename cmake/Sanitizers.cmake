# KX_SANITIZE applies to every target of the build tree, libraries included, so
# that a fault in the core is caught from the tests that drive it.
if(KX_SANITIZE)
    add_compile_options(-fsanitize=${KX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${KX_SANITIZE})
endif()
