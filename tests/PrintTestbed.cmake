# The printing test bed: Wine's spooler prints to a private CUPS scheduler
# (scripts/cups-testbed) whose raw queues deliver to a local listener. One bed per build
# tree, under /tmp so that the scheduler's user lp can reach its spool; a second scheduler
# has no queues at all. Include this file before registering a test that loads winspool.drv
# and give that test ENVIRONMENT ${TAVREL_PRINT_TEST_ENVIRONMENT} and
# PROPERTIES ${TAVREL_PRINT_TEST_LOCK}.
#
# Queues: tavrel_print and tavrel_list_01 .. tavrel_list_40; what queue Q receives lands in
# ${TAVREL_PRINT_TESTBED}/out/Q/<n>.bin (n counts from 000001, the file appears complete).
include_guard(GLOBAL)

string(MD5 bed_id "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${bed_id}" 0 10 bed_id)
set(TAVREL_PRINT_TESTBED /tmp/tavrel-print-${bed_id})
set(TAVREL_PRINT_TESTBED_EMPTY ${TAVREL_PRINT_TESTBED}-empty)

set(bed_queues tavrel_print)
foreach(i RANGE 1 40)
  if(i LESS 10)
    set(i 0${i})
  endif()
  list(APPEND bed_queues tavrel_list_${i})
endforeach()

set(bed_script ${CMAKE_SOURCE_DIR}/scripts/cups-testbed)
set(TAVREL_PRINT_TESTBED_FIXTURE print_testbed_${TAVREL_TREE})
set(bed_start print_testbed_start_${TAVREL_TREE})
set(bed_start_empty print_testbed_start_empty_${TAVREL_TREE})
set(bed_stop print_testbed_stop_${TAVREL_TREE})
set(bed_stop_empty print_testbed_stop_empty_${TAVREL_TREE})
add_test(NAME ${bed_start} COMMAND ${bed_script} start ${TAVREL_PRINT_TESTBED} ${bed_queues})
add_test(NAME ${bed_start_empty} COMMAND ${bed_script} start ${TAVREL_PRINT_TESTBED_EMPTY})
add_test(NAME ${bed_stop} COMMAND ${bed_script} stop ${TAVREL_PRINT_TESTBED})
add_test(NAME ${bed_stop_empty} COMMAND ${bed_script} stop ${TAVREL_PRINT_TESTBED_EMPTY})
set_tests_properties(${bed_start} ${bed_start_empty} PROPERTIES FIXTURES_SETUP ${TAVREL_PRINT_TESTBED_FIXTURE} TIMEOUT 60)
set_tests_properties(${bed_stop} ${bed_stop_empty} PROPERTIES FIXTURES_CLEANUP ${TAVREL_PRINT_TESTBED_FIXTURE} TIMEOUT 60)

# Wine keeps one printer list per prefix and takes it over from CUPS when a process loads
# winspool.drv while no other process has it loaded; a process started meanwhile sees that
# list, and one that names no scheduler empties it. So tests that use printers take turns
# (tavrel_printers) and name the scheduler in CUPS_SERVER, from which the tests also find
# the bed's folder.
set(TAVREL_PRINT_TEST_LOCK FIXTURES_REQUIRED ${TAVREL_PRINT_TESTBED_FIXTURE} RESOURCE_LOCK tavrel_printers)
set(TAVREL_PRINT_TEST_ENVIRONMENT CUPS_SERVER=${TAVREL_PRINT_TESTBED}/cups.sock)
