# cmake -DBINARY=<program> -DLIBRARY=<name> -DLOADED=YES|NO -P loaded_library.cmake
# Fails unless the system loads the library with the program (ldd) exactly when
# LOADED says so.
execute_process(COMMAND ldd "${BINARY}" OUTPUT_VARIABLE libraries RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "ldd cannot read ${BINARY}")
endif()
string(FIND "${libraries}" "${LIBRARY}" at)
if(LOADED AND at EQUAL -1)
  message(FATAL_ERROR "${BINARY} does not load ${LIBRARY}:\n${libraries}")
elseif(NOT LOADED AND NOT at EQUAL -1)
  message(FATAL_ERROR "${BINARY} loads ${LIBRARY}:\n${libraries}")
endif()
