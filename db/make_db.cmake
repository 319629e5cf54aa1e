# Makes an empty database from the schema at TARGET unless a file is already there.
if(EXISTS "${TARGET}")
  return()
endif()
find_program(SQLITE3_CLI sqlite3 REQUIRED)
set(tmp "${TARGET}.new")
file(REMOVE "${tmp}")
execute_process(COMMAND ${SQLITE3_CLI} -bail "${tmp}"
                INPUT_FILE "${SCHEMA}" RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  file(REMOVE "${tmp}")
  message(FATAL_ERROR "Could not make ${TARGET} from ${SCHEMA}: ${err}")
endif()
# Renamed into place only when complete, so an interrupted build leaves no half-made file.
file(RENAME "${tmp}" "${TARGET}")
