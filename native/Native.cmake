# The native configuration, included by the top-level CMakeLists.txt when the target is not
# Windows: the Windows calls come from a stand-in on POSIX (native/include/windows.h and
# native/Win32Posix.cpp), every object is built under AddressSanitizer and UndefinedBehaviorSanitizer
# (no recovery; LeakSanitizer comes with AddressSanitizer) and with libFuzzer's coverage
# instrumentation, so the unit tests and the fuzz targets in fuzz/ share one compilation.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "the native configuration needs clang: -DCMAKE_TOOLCHAIN_FILE=cmake/native-clang.cmake")
endif()

set(SONOLOOK_NATIVE ON)
# Two checks of UndefinedBehaviorSanitizer are left out. The module's operator new answers null by
# design (the DLL's build checks every new-expression). And a host calls the entry points through
# pointers of its own declaring, whatever GetProcAddress returned (a record passed as void*): the
# calling convention, not the C++ type, is the contract there.
set(SONOLOOK_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
  -fno-sanitize=returns-nonnull-attribute,function)
# clang knows no gnu_printf format archetype (the logger names it so that mingw checks its formats
# as GNU's, not as msvcrt's); it ignores it with a warning.
add_compile_options(${SONOLOOK_SANITIZE} -fsanitize=fuzzer-no-link -Wno-ignored-attributes)
# -rdynamic: the host's GetProcAddress finds the linked-in entry points among the exported symbols.
add_link_options(${SONOLOOK_SANITIZE} -rdynamic -Wl,-u,__asan_default_options,-u,__ubsan_default_options,-u,__lsan_default_suppressions,-u,__lsan_default_options)
# The stand-in header is found wherever the code includes <windows.h>.
include_directories(BEFORE SYSTEM ${CMAKE_SOURCE_DIR}/native/include)

add_library(win32_posix STATIC ${CMAKE_SOURCE_DIR}/native/Win32Posix.cpp ${CMAKE_SOURCE_DIR}/native/SanitizerOptions.cpp)
target_link_libraries(win32_posix PUBLIC ${CMAKE_DL_LIBS} pthread)
# The Windows libraries the targets name all come from the stand-in.
foreach(library kernel32 gdi32 user32 version)
  add_library(${library} INTERFACE)
  target_link_libraries(${library} INTERFACE win32_posix)
endforeach()
