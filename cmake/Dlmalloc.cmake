# dlmalloc, the allocator behind the mspace heap kind. Debian packages no dlmalloc library; its
# source package of libffi carries dlmalloc 2.8.3 with mspaces as src/dlmalloc.c. tools/setup.sh
# fetches that package (apt-get source --download-only libffi, into SONOLOOK_LIBFFI_SOURCE_DIR);
# here the one file is extracted into the build tree and compiled through core/memory/Dlmalloc.c,
# which sets its configuration. Nothing of it enters the repository.
set(SONOLOOK_LIBFFI_SOURCE_DIR /var/cache/sonolook/libffi CACHE PATH
  "Directory holding Debian's libffi source package (from apt-get source --download-only libffi)")

set(SONOLOOK_DLMALLOC_DIR ${CMAKE_BINARY_DIR}/dlmalloc)
if(NOT EXISTS ${SONOLOOK_DLMALLOC_DIR}/dlmalloc.c)
  file(GLOB libffi_archives ${SONOLOOK_LIBFFI_SOURCE_DIR}/libffi_*.orig.tar.*)
  if(NOT libffi_archives)
    message(FATAL_ERROR
      "dlmalloc.c is taken from Debian's libffi source package, and none was found in "
      "${SONOLOOK_LIBFFI_SOURCE_DIR}. Run 'bash tools/setup.sh' as root: it fetches the package "
      "with 'apt-get source --download-only libffi' (or set SONOLOOK_LIBFFI_SOURCE_DIR to a "
      "directory holding libffi_*.orig.tar.*).")
  endif()
  list(SORT libffi_archives)
  list(GET libffi_archives -1 libffi_archive)
  file(MAKE_DIRECTORY ${SONOLOOK_DLMALLOC_DIR})
  execute_process(
    COMMAND tar -xf ${libffi_archive} -C ${SONOLOOK_DLMALLOC_DIR}
            --wildcards --no-anchored --strip-components=2 "*/src/dlmalloc.c"
    RESULT_VARIABLE dlmalloc_extract_result)
  if(NOT dlmalloc_extract_result EQUAL 0 OR NOT EXISTS ${SONOLOOK_DLMALLOC_DIR}/dlmalloc.c)
    message(FATAL_ERROR "could not extract src/dlmalloc.c from ${libffi_archive}")
  endif()
endif()

add_library(dlmalloc STATIC ${CMAKE_SOURCE_DIR}/core/memory/Dlmalloc.c)
target_include_directories(dlmalloc PRIVATE ${SONOLOOK_DLMALLOC_DIR})
# Third-party code, compiled as it stands: its warnings are not ours to fix.
target_compile_options(dlmalloc PRIVATE -w)
