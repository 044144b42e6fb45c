# The shipped program: 32-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAVREL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Its tests run through Wine's 32-bit loader; where the machine cannot run 32-bit programs
# the wrapper exits 77 and CTest shows the test as skipped.
if(NOT CMAKE_HOST_WIN32)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run32)
endif()
