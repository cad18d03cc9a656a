include(GoogleTest)

# quillet_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l] [FIXTURES f] [QT])
# Builds one test program into the tests folder and registers each of its cases with CTest.
# QT marks a Qt Test program (one CTest entry); otherwise the program uses GoogleTest.
function(quillet_add_test name)
    cmake_parse_arguments(T "QT" "TIMEOUT" "SOURCES;LIBS;LABELS;FIXTURES" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE quillet_options ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUILLET_TEST_DIR})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    # Tests find the program folder and the sources through compile definitions, not the
    # environment, so that a test program started by hand behaves as under CTest.
    target_compile_definitions(${name} PRIVATE
        QUILLET_PROGRAM_DIR="${QUILLET_PROGRAM_DIR}/"
        QUILLET_SOURCE_DIR="${PROJECT_SOURCE_DIR}/")
    set(props ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
        list(APPEND props LABELS "${T_LABELS}")
    endif()
    if(T_FIXTURES)
        list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
    endif()
    if(T_QT)
        target_link_libraries(${name} PRIVATE Qt6::Test)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ${props})
    else()
        target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock)
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
            PROPERTIES ${props})
    endif()
endfunction()
