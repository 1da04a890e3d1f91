# Native configuration: the code base built as a Linux program with clang, under AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer, with libFuzzer targets (native/Native.cmake). For
# developing and hardening only; the product is the Windows DLL.
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
