# cmake -DNM=<nm> -DLIBRARY=<plug-in> -P PluginExports.cmake
# Fails unless the plug-in's dynamic symbol table defines exactly the exports listed here.
set(expected
  qvkel_finalizePlugin
  qvkel_getPluginInterface
  qvkel_initializePlugin
  qvroco_ra_qvvandrelbrenmooru_TerminalIterator_calculateResetTerminal
  qvroco_ra_qvvandrelbrenmooru_TerminalIterator_destroy
  qvroco_ra_qvvandrelbrenmooru_TerminalIterator_getBoolAttribute
  qvroco_ra_qvvandrelbrenmooru_TerminalIterator_getStringAttribute
  qvroco_ra_qvvandrelbrenmooru_TerminalIterator_getU32Attribute
  qvroco_ra_qvvandrelbrenmooru_TerminalIterator_isEnd
  qvroco_ra_qvvandrelbrenmooru_TerminalIterator_next
  qvroco_ra_qvvandrelbrenmooru_TerminalIterator_resetTerminal
  qvroco_ra_qvvandrelbrenmooru_beginExceptionalRouteDestruction
  qvroco_ra_qvvandrelbrenmooru_calculateRoute
  qvroco_ra_qvvandrelbrenmooru_createSession
  qvroco_ra_qvvandrelbrenmooru_createSessionWithDemotionFunc
  qvroco_ra_qvvandrelbrenmooru_destroyRoute
  qvroco_ra_qvvandrelbrenmooru_destroySession
  qvroco_ra_qvvandrelbrenmooru_getAPIVersion
  qvroco_ra_qvvandrelbrenmooru_getAllTerminals
  qvroco_ra_qvvandrelbrenmooru_getHandledConstraints
  qvroco_ra_qvvandrelbrenmooru_getRouteTerminalPath
  qvroco_ra_qvvandrelbrenmooru_programRoute
  qvroco_ra_qvvandrelbrenmooru_reserveRoute
  qvroco_ra_qvvandrelbrenmooru_unprogramRoute
  qvroco_ra_qvvandrelbrenmooru_unreserveRoute)

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE out RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}: ${err}")
endif()
# Global symbols only (upper-case kinds); versioned names lose their version.
string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Z] [^\n]+" lines "${out}")
set(exported "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Z] ([^@ ]+).*" "\\1" name "${line}")
  list(APPEND exported ${name})
endforeach()
list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  string(JOIN "\n  " got ${exported})
  message(FATAL_ERROR "the plug-in exports:\n  ${got}")
endif()
message(STATUS "the plug-in exports its three entry points and the routing-adaptor family, nothing else")
