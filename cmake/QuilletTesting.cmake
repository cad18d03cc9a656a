include(GoogleTest)

# quillet_test_environment(OUT NAME)
# Sets OUT to the ENVIRONMENT of the test NAME: a home folder of its own in the build tree with
# the XDG folders in it, and an all-users data folder beside it (outside the home, as the real
# one is), ahead of the system's, which stay readable. So nothing a test starts (Quillet's data
# and documents folders, Qt, fontconfig, a browser) writes into the real home folder or
# /usr/local/share.
function(quillet_test_environment out name)
    set(root ${CMAKE_BINARY_DIR}/test-home/${name})
    set(home ${root}/home)
    file(MAKE_DIRECTORY ${home}/runtime ${root}/all-users)
    # Qt takes a runtime folder only when no one else may enter it.
    file(CHMOD ${home}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    # English for the texts the tests compare, on a Czech desktop too; a Czech test says so.
    set(${out}
        QT_QPA_PLATFORM=offscreen
        LC_ALL=C.UTF-8
        HOME=${home}
        XDG_CONFIG_HOME=${home}/.config
        XDG_CACHE_HOME=${home}/.cache
        XDG_DATA_HOME=${home}/.local/share
        XDG_STATE_HOME=${home}/.local/state
        XDG_RUNTIME_DIR=${home}/runtime
        XDG_DATA_DIRS=${root}/all-users:/usr/local/share:/usr/share
        PARENT_SCOPE)
endfunction()

# quillet_link_gtest(NAME LIBS)
# Links GoogleTest with gmock into the test program NAME, and GoogleTest's own main unless the
# test's LIBS bring one (quillet_coreapp_main).
function(quillet_link_gtest name libs)
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock)
    if(NOT quillet_coreapp_main IN_LIST libs)
        target_link_libraries(${name} PRIVATE GTest::gtest_main)
    endif()
endfunction()

# quillet_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l] [FIXTURES f] [QT])
# Builds one test program into the tests folder and registers each of its cases with CTest.
# QT marks a Qt Test program (one CTest entry); otherwise the program uses GoogleTest, with the
# main of a Qt application object when LIBS names quillet_coreapp_main. Every test program
# links quillet_testsupport (tools/testsupport).
function(quillet_add_test name)
    cmake_parse_arguments(T "QT" "TIMEOUT" "SOURCES;LIBS;LABELS;FIXTURES" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE quillet_options quillet_testsupport ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUILLET_TEST_DIR})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    # Tests find the program folder and the sources through compile definitions, not the
    # environment, so that a test program started by hand behaves as under CTest.
    target_compile_definitions(${name} PRIVATE
        QUILLET_PROGRAM_DIR="${QUILLET_PROGRAM_DIR}/"
        QUILLET_SOURCE_DIR="${PROJECT_SOURCE_DIR}/")
    quillet_test_environment(environment ${name})
    set(props TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
        list(APPEND props LABELS "${T_LABELS}")
    endif()
    if(T_FIXTURES)
        list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
    endif()
    if(T_QT)
        target_link_libraries(${name} PRIVATE Qt6::Test)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ${props} ENVIRONMENT "${environment}")
    else()
        quillet_link_gtest(${name} "${T_LIBS}")
        # The discovery script flattens every property into one list, so an environment of
        # several variables cannot pass as ENVIRONMENT; the program is started through
        # "cmake -E env" instead, which also keeps the listing of its cases out of the real home.
        set_target_properties(${name} PROPERTIES
            CROSSCOMPILING_EMULATOR "${CMAKE_COMMAND};-E;env;${environment}")
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
            PROPERTIES ${props})
    endif()
endfunction()
