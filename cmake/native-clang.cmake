# Host build of the platform-neutral code (parsers, formatting) under AddressSanitizer and
# UndefinedBehaviorSanitizer; clang so that the libFuzzer targets build too.
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
