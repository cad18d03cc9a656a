# Tests that need devices run inside a test LAN of network namespaces (tools/netlab).
#
# quillet_add_lab_test(<name> SOURCES a.cpp ... [LIBS lib ...] [DEVICES n] [TIMEOUT s]
#                      [LABELS l ...] [LAB_OPTIONS --lans 2 ...] [QT])
#
# Builds the test program <name> (GoogleTest with gmock, or Qt Test with QT; LIBS may name
# quillet_coreapp_main as for quillet_add_test) and registers three CTest entries around a lab
# of its own, <name>-<hash of the build folder>, so that two test programs, or two build
# folders, never share a lab:
#   <name>_lab_up    netlab up --devices n (default 3) [LAB_OPTIONS]  FIXTURES_SETUP <name>_lab
#   <name>           netlab exec pc -- <program>                FIXTURES_REQUIRED <name>_lab
#   <name>_lab_down  netlab down                                FIXTURES_CLEANUP <name>_lab
# The program runs as one CTest entry in the computer's namespace (192.0.2.1); its cases are
# not discovered one by one, because the lab does not exist when CTest would list them.
# Without root netlab exits with 77 and all three entries are reported as skipped. The
# devices' logs of the last run are kept in <build>/Testing/lab-logs/<lab>/.
#
# Inside, the program sees NETLAB, NETLAB_NAME, NETLAB_DIR, NETLAB_DEVICES, NETLAB_DEVSIM, and
# links quillet_testsupport (tools/testsupport/lab.h: device addresses, logs, TFTP folders,
# restarting a device with simulator options, switching a device or its TFTP server off).
# inLab() guards a program started by hand outside its lab.
set(QUILLET_NETLAB ${PROJECT_SOURCE_DIR}/tools/netlab)
string(MD5 _quillet_lab_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${_quillet_lab_hash}" 0 6 QUILLET_LAB_SUFFIX)

function(quillet_add_lab_test name)
    cmake_parse_arguments(T "QT" "TIMEOUT;DEVICES" "SOURCES;LIBS;LABELS;LAB_OPTIONS" ${ARGN})
    if(NOT T_DEVICES)
        set(T_DEVICES 3)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE quillet_options quillet_testsupport ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUILLET_TEST_DIR})
    target_compile_definitions(${name} PRIVATE
        QUILLET_PROGRAM_DIR="${QUILLET_PROGRAM_DIR}/"
        QUILLET_SOURCE_DIR="${PROJECT_SOURCE_DIR}/")
    if(T_QT)
        target_link_libraries(${name} PRIVATE Qt6::Test)
    else()
        quillet_link_gtest(${name} "${T_LIBS}")
    endif()
    # Building the test builds the simulator that its lab runs.
    add_dependencies(${name} devsim)

    set(lab ${name}-${QUILLET_LAB_SUFFIX})
    # netlab exec passes the environment on into the lab.
    quillet_test_environment(environment ${name})
    add_test(NAME ${name}_lab_up COMMAND ${QUILLET_NETLAB} up --name ${lab}
        --devices ${T_DEVICES} --devsim $<TARGET_FILE:devsim> ${T_LAB_OPTIONS})
    add_test(NAME ${name} COMMAND ${QUILLET_NETLAB} exec --name ${lab} pc --
        $<TARGET_FILE:${name}>)
    add_test(NAME ${name}_lab_down COMMAND ${QUILLET_NETLAB} down --name ${lab})
    set(labels lab ${T_LABELS})
    set_tests_properties(${name}_lab_up ${name} ${name}_lab_down PROPERTIES
        RESOURCE_LOCK netlab_${lab} SKIP_RETURN_CODE 77 LABELS "${labels}"
        ENVIRONMENT "${environment}")
    set_tests_properties(${name}_lab_up PROPERTIES FIXTURES_SETUP ${name}_lab TIMEOUT 60)
    # The devices' logs of the last run stay in the build folder for a look after a failure.
    set_tests_properties(${name}_lab_down PROPERTIES FIXTURES_CLEANUP ${name}_lab TIMEOUT 60
        ENVIRONMENT "${environment};NETLAB_KEEP_LOGS=${CMAKE_BINARY_DIR}/Testing/lab-logs")
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED ${name}_lab
        TIMEOUT ${T_TIMEOUT})
endfunction()
