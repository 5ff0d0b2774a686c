# The real mail and news servers of the SOUP tests, as a ctest fixture: started once before the
# tests that require tidewire_servers, stopped by PID after them (also when one fails).
set(TIDEWIRE_SERVERS_SCRIPTS ${CMAKE_CURRENT_LIST_DIR})

add_test(NAME tidewire_servers_start
  COMMAND ${TIDEWIRE_SERVERS_SCRIPTS}/start ${TIDEWIRE_TEST_SERVERS_DIR})
set_tests_properties(tidewire_servers_start PROPERTIES
  FIXTURES_SETUP tidewire_servers TIMEOUT 60 LABELS soup)

add_test(NAME tidewire_servers_stop
  COMMAND ${TIDEWIRE_SERVERS_SCRIPTS}/stop ${TIDEWIRE_TEST_SERVERS_DIR})
set_tests_properties(tidewire_servers_stop PROPERTIES
  FIXTURES_CLEANUP tidewire_servers TIMEOUT 60 LABELS soup)
