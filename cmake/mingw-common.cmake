# Shared part of the MinGW-w64 toolchain files. The including file sets TAVREL_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)

# Posix thread model: std::mutex and std::thread (GoogleTest needs them); winpthread is linked statically.
set(CMAKE_C_COMPILER   ${TAVREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${TAVREL_MINGW_TRIPLE}-windres)

# MSYS2 users run the same presets from a MinGW shell, where the compilers carry no triple or suffix.
if(CMAKE_HOST_WIN32)
  set(CMAKE_C_COMPILER   gcc)
  set(CMAKE_CXX_COMPILER g++)
  set(CMAKE_RC_COMPILER  windres)
else()
  set(CMAKE_FIND_ROOT_PATH /usr/${TAVREL_MINGW_TRIPLE})
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
endif()

# Everything static: the program must need nothing but system DLLs, and a missing
# libstdc++ DLL makes an executable exit silently under Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
