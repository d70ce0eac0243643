# Common settings for the project's own targets: warnings as errors, sanitizers, test registration.

if(KVC_SANITIZE)
    add_compile_options(-fsanitize=${KVC_SANITIZE} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${KVC_SANITIZE})
endif()

function(kvc_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS)
endfunction()

# kvc_add_test(NAME <name> TARGET <target> [LABELS <labels>] [TIMEOUT <s>] [ARGS <args>])
# Every test runs with a HOME and XDG folders of its own (scripts/with-test-home); tests that
# need a display or sound get DISPLAY and PULSE_SERVER from scripts/test-env around ctest.
function(kvc_add_test)
    cmake_parse_arguments(T "" "NAME;TARGET;TIMEOUT" "LABELS;ARGS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_test(NAME ${T_NAME}
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-test-home $<TARGET_FILE:${T_TARGET}> ${T_ARGS})
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()
