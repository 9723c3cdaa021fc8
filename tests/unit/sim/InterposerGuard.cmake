# cmake -DNM=<nm> -DINTERPOSER=<archive> -DLIBRARIES=<a|b|...> -P InterposerGuard.cmake
# Fails when a library leaves a path, descriptor or mapping entry point undefined that the
# interposer does not define.
set(sensitive
  open open64 openat openat64 __open_2 __open64_2 __openat_2 __openat64_2 creat creat64
  fopen fopen64 freopen freopen64 opendir scandir scandir64 glob glob64
  stat stat64 lstat lstat64 fstat fstat64 fstatat fstatat64 statx
  __xstat __xstat64 __lxstat __lxstat64 __fxstat __fxstat64 __fxstatat __fxstatat64
  mkdir mkdirat rmdir access faccessat euidaccess eaccess unlink unlinkat remove
  rename renameat renameat2 truncate truncate64 realpath readlink readlinkat
  inotify_add_watch ioctl mmap mmap64 munmap mremap
  read pread pread64 readv preadv write pwrite pwrite64 writev pwritev close dlopen dlmopen
  # the checked forms of a fortified build
  __read_chk __pread_chk __pread64_chk __readlink_chk __readlinkat_chk __realpath_chk)

execute_process(COMMAND ${NM} -g --defined-only ${INTERPOSER}
  OUTPUT_VARIABLE out RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${INTERPOSER}: ${err}")
endif()
string(REGEX MATCHALL "[0-9a-fA-F]+ [TW] [^\n]+" lines "${out}")
set(defined "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]+ [TW] " "" name "${line}")
  list(APPEND defined ${name})
endforeach()

string(REPLACE "|" ";" libraries "${LIBRARIES}")
set(missing "")
set(checked 0)
foreach(lib IN LISTS libraries)
  if(lib STREQUAL "")
    continue()
  endif()
  if(lib MATCHES "\\.so")
    set(args -D --undefined-only)
  else()
    set(args --undefined-only)
  endif()
  execute_process(COMMAND ${NM} ${args} ${lib} OUTPUT_VARIABLE out RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${lib}: ${err}")
  endif()
  math(EXPR checked "${checked} + 1")
  string(REGEX MATCHALL "U [^\n]+" lines "${out}")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^U ([^@ ]+).*" "\\1" name "${line}")
    list(FIND sensitive "${name}" is_sensitive)
    list(FIND defined "${name}" is_defined)
    if(is_sensitive GREATER -1 AND is_defined EQUAL -1)
      list(APPEND missing "${lib}: ${name}")
    endif()
  endforeach()
endforeach()

if(missing)
  list(REMOVE_DUPLICATES missing)
  string(JOIN "\n  " text ${missing})
  message(FATAL_ERROR "entry points not covered by the interposer:\n  ${text}")
endif()
message(STATUS "${checked} libraries checked; every path, descriptor and mapping entry point is covered")
