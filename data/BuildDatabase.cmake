# Builds a database from Jet scripts with the engine shell:
#
#   cmake -DSHELL=<sonavoxa-sql> -DOUTPUT=<file.mdb> -DSCRIPTS=<a.sql;b.sql> -P BuildDatabase.cmake
#
# The database is built under a temporary name next to OUTPUT and takes OUTPUT's name only when
# every statement of every script succeeded, so a failed build leaves no half-built database
# behind (and the old one is gone, so a stale file cannot pass for a fresh one). Scripts run in
# their own folder: .query NAME FILE names its file relative to the script.
foreach(var SHELL OUTPUT SCRIPTS)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "BuildDatabase.cmake needs -D${var}=...")
    endif()
endforeach()

set(temp "${OUTPUT}.building")
file(REMOVE "${OUTPUT}" "${temp}")
execute_process(COMMAND "${SHELL}" --create "${temp}" RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Cannot create ${temp}: ${err}")
endif()
foreach(script IN LISTS SCRIPTS)
    get_filename_component(folder "${script}" DIRECTORY)
    execute_process(COMMAND "${SHELL}" "${temp}"
        INPUT_FILE "${script}"
        WORKING_DIRECTORY "${folder}"
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        file(REMOVE "${temp}")
        message(FATAL_ERROR "${script} failed (exit ${rc}):\n${err}${out}")
    endif()
endforeach()
file(RENAME "${temp}" "${OUTPUT}")
