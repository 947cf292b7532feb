# Runs the QML test runner on INPUT in the home folder HOME_DIR emptied
# first: the first process of a restart test finds a new user's folders
# however often it runs (ctest --repeat runs it again on what it stored).
file(REMOVE_RECURSE "${HOME_DIR}")
execute_process(COMMAND "${RUNNER}" -input "${INPUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${INPUT}: ${result}")
endif()
