include(GoogleTest)

# veloran_add_gtest(NAME n SOURCES ... [LIBS ...] [LABELS ...] [QT] [WIDGETS])
# QT: the test links Qt Test and runs inside a QGuiApplication (offscreen);
# WIDGETS: inside a QApplication instead, for code that needs Qt Widgets.
function(veloran_add_gtest)
    cmake_parse_arguments(T "QT;WIDGETS" "NAME;TIMEOUT;RESOURCE_LOCK" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/support)
    if(T_QT)
        target_sources(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/qt_gtest_main.cpp)
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gmock Qt6::Test Qt6::Gui)
        if(T_WIDGETS)
            target_compile_definitions(${T_NAME} PRIVATE VELORAN_GTEST_WIDGETS)
            target_link_libraries(${T_NAME} PRIVATE Qt6::Widgets)
        endif()
    else()
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main GTest::gmock)
    endif()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Threads::Threads)
    set(extra_properties)
    if(T_RESOURCE_LOCK)
        set(extra_properties RESOURCE_LOCK ${T_RESOURCE_LOCK})
    endif()
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT ${T_TIMEOUT}
                   ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${extra_properties})
    # Labels are set after discovery: the discovery script would split a
    # list of them into separate properties.
    set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_labels.cmake)
    file(WRITE ${labels_file}
        "if(${T_NAME}_TESTS)\n  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES LABELS \"${T_LABELS}\")\nendif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
    # The ThreadSanitizer run builds just these.
    if("threaded" IN_LIST T_LABELS)
        if(NOT TARGET threaded_tests)
            add_custom_target(threaded_tests)
        endif()
        add_dependencies(threaded_tests ${T_NAME})
    endif()
endfunction()

# veloran_add_program_test(NAME n SOURCES ...): tests that start the built
# program. They never run at the same time: Qt derives the System V key of the
# single-instance segment from the inode of a file, only its low 16 bits, so
# copies started from different private folders can still meet.
function(veloran_add_program_test)
    cmake_parse_arguments(P "" "NAME" "SOURCES" ${ARGN})
    veloran_add_gtest(NAME ${P_NAME} QT LABELS integration RESOURCE_LOCK program
        SOURCES ${P_SOURCES}
            ${CMAKE_SOURCE_DIR}/tests/app/ProgramRunner.cpp ${CMAKE_SOURCE_DIR}/tests/app/ProgramRunner.h
        LIBS Qt6::Core veloran_test_httpserver)
    target_include_directories(${P_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests/app)
    target_compile_definitions(${P_NAME} PRIVATE VELORAN_PROGRAM="$<TARGET_FILE:veloran_deck>")
    add_dependencies(${P_NAME} veloran_deck)
endfunction()

# veloran_add_fuzzer(NAME n SOURCES ... [LIBS ...] CORPUS dir)
# With VELORAN_FUZZ (clang) it is a libFuzzer target; otherwise a replay
# program. Either way ctest replays the seed corpus, so CI always runs it.
# The libFuzzer build also runs each target live for VELORAN_FUZZ_SECONDS
# (test n_live), growing a corpus of its own in the build folder; the target
# fuzz_targets builds them all.
function(veloran_add_fuzzer)
    cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
    add_executable(${F_NAME} ${F_SOURCES})
    target_include_directories(${F_NAME} PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    if(VELORAN_FUZZ)
        target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
        target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
        add_test(NAME ${F_NAME}_replay COMMAND ${F_NAME} -runs=0 ${F_CORPUS})
        set(live ${CMAKE_CURRENT_BINARY_DIR}/live)
        file(MAKE_DIRECTORY ${live}/corpus)
        add_test(NAME ${F_NAME}_live
            COMMAND ${F_NAME} -max_total_time=${VELORAN_FUZZ_SECONDS} -timeout=25 -print_final_stats=1
                    -artifact_prefix=${live}/ ${live}/corpus ${F_CORPUS})
        set_tests_properties(${F_NAME}_live PROPERTIES LABELS fuzz TIMEOUT 600)
        add_dependencies(fuzz_targets ${F_NAME})
    else()
        target_sources(${F_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
        add_test(NAME ${F_NAME}_replay COMMAND ${F_NAME} ${F_CORPUS})
    endif()
    set_tests_properties(${F_NAME}_replay PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()
