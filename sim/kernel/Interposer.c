/* Definitions of the C library's path, descriptor and mapping entry points. Linked into the
 * executable, they take precedence over the C library for the executable and for every library
 * it loads. Each resolves the next definition once (the sanitizer's interceptor or the C
 * library), keeps errno, and hands the call to the testbed hooks only when it concerns the
 * active testbed. No wrapper calls another wrapper.
 *
 * This file is compiled without sanitizer instrumentation, and no wrapper calls a testbed hook
 * before the first testbed has started: sanitizer runtimes call mmap, mkdir and others while
 * they are still starting, when instrumented code (the hooks) would crash. */
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#define _LARGEFILE64_SOURCE 1

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <glob.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/kernel/Hooks.h"

enum { kPathBuffer = 8192 };

/* Set once, when the first testbed starts; until then nothing needs the hooks. */
static int g_armed;

void simk_arm(void) {
  __atomic_store_n(&g_armed, 1, __ATOMIC_RELEASE);
}

static int armed(void) {
  return __atomic_load_n(&g_armed, __ATOMIC_ACQUIRE);
}

static void* resolve(void** slot, const char* name) {
  void* fn = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
  if (fn == NULL) {
    int saved = errno;
    fn = dlsym(RTLD_NEXT, name);
    if (fn == NULL) {
      static const char msg[] = "simulated platform: a C library entry point is missing\n";
      (void)!syscall(1 /* write */, 2, msg, sizeof msg - 1);
      abort();
    }
    __atomic_store_n(slot, fn, __ATOMIC_RELEASE);
    errno = saved;
  }
  return fn;
}

#define REAL_FN(type, name)             \
  static type real_##name(void) {       \
    static void* slot;                  \
    return (type)resolve(&slot, #name); \
  }

typedef int (*open_fn)(const char*, int, ...);
typedef int (*openat_fn)(int, const char*, int, ...);
typedef int (*open2_fn)(const char*, int);
typedef int (*openat2_fn)(int, const char*, int);
typedef int (*creat_fn)(const char*, mode_t);
typedef FILE* (*fopen_fn)(const char*, const char*);
typedef FILE* (*freopen_fn)(const char*, const char*, FILE*);
typedef DIR* (*opendir_fn)(const char*);
typedef int (*glob_fn)(const char*, int, int (*)(const char*, int), glob_t*);
typedef int (*glob64_fn)(const char*, int, int (*)(const char*, int), glob64_t*);
typedef int (*stat_fn)(const char*, struct stat*);
typedef int (*stat64_fn)(const char*, struct stat64*);
typedef int (*fstat_fn)(int, struct stat*);
typedef int (*fstat64_fn)(int, struct stat64*);
typedef int (*fstatat_fn)(int, const char*, struct stat*, int);
typedef int (*fstatat64_fn)(int, const char*, struct stat64*, int);
typedef int (*mkdir_fn)(const char*, mode_t);
typedef int (*path_fn)(const char*);
typedef int (*access_fn)(const char*, int);
typedef int (*rename_fn)(const char*, const char*);
typedef int (*watch_fn)(int, const char*, uint32_t);
typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef void* (*mmap_fn)(void*, size_t, int, int, int, off_t);
typedef int (*munmap_fn)(void*, size_t);
typedef ssize_t (*read_fn)(int, void*, size_t);
typedef ssize_t (*write_fn)(int, const void*, size_t);
typedef int (*close_fn)(int);
typedef void* (*dlopen_fn)(const char*, int);

REAL_FN(open_fn, open)
REAL_FN(open_fn, open64)
REAL_FN(openat_fn, openat)
REAL_FN(openat_fn, openat64)
REAL_FN(open2_fn, __open_2)
REAL_FN(open2_fn, __open64_2)
REAL_FN(openat2_fn, __openat_2)
REAL_FN(openat2_fn, __openat64_2)
REAL_FN(creat_fn, creat)
REAL_FN(creat_fn, creat64)
REAL_FN(fopen_fn, fopen)
REAL_FN(fopen_fn, fopen64)
REAL_FN(freopen_fn, freopen)
REAL_FN(freopen_fn, freopen64)
REAL_FN(opendir_fn, opendir)
REAL_FN(glob_fn, glob)
REAL_FN(glob64_fn, glob64)
REAL_FN(stat_fn, stat)
REAL_FN(stat64_fn, stat64)
REAL_FN(stat_fn, lstat)
REAL_FN(stat64_fn, lstat64)
REAL_FN(fstat_fn, fstat)
REAL_FN(fstat64_fn, fstat64)
REAL_FN(fstatat_fn, fstatat)
REAL_FN(fstatat64_fn, fstatat64)
REAL_FN(mkdir_fn, mkdir)
REAL_FN(path_fn, rmdir)
REAL_FN(path_fn, unlink)
REAL_FN(path_fn, remove)
REAL_FN(access_fn, access)
REAL_FN(rename_fn, rename)
REAL_FN(watch_fn, inotify_add_watch)
REAL_FN(ioctl_fn, ioctl)
REAL_FN(mmap_fn, mmap)
REAL_FN(mmap_fn, mmap64)
REAL_FN(munmap_fn, munmap)
REAL_FN(read_fn, read)
REAL_FN(write_fn, write)
REAL_FN(close_fn, close)
REAL_FN(dlopen_fn, dlopen)

/* The mode argument exists only when the flags create a file. */
static int takes_mode(int flags) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

#define READ_MODE(flags, mode)        \
  do {                                \
    if (takes_mode(flags)) {          \
      va_list ap;                     \
      va_start(ap, flags);            \
      mode = (mode_t)va_arg(ap, int); \
      va_end(ap);                     \
    }                                 \
  } while (0)

/* After an open of a redirected path: bind the descriptor when it names a bound node. */
static int finish_open(int fd, const char* used, const char* path) {
  if (fd < 0 || used == path) return fd;
  int saved = errno;
  int err = simk_bind(fd, used);
  if (err != 0) {
    real_close()(fd);
    errno = err;
    return -1;
  }
  errno = saved;
  return fd;
}

#define REDIRECT(path)             \
  char buffer_##path[kPathBuffer]; \
  const char* used_##path =        \
      armed() ? simk_redirect(path, buffer_##path, sizeof buffer_##path, 0) : path

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  READ_MODE(flags, mode);
  REDIRECT(path);
  return finish_open(real_open()(used_path, flags, mode), used_path, path);
}

int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  READ_MODE(flags, mode);
  REDIRECT(path);
  return finish_open(real_open64()(used_path, flags, mode), used_path, path);
}

int openat(int dirfd, const char* path, int flags, ...) {
  mode_t mode = 0;
  READ_MODE(flags, mode);
  REDIRECT(path);
  return finish_open(real_openat()(dirfd, used_path, flags, mode), used_path, path);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  mode_t mode = 0;
  READ_MODE(flags, mode);
  REDIRECT(path);
  return finish_open(real_openat64()(dirfd, used_path, flags, mode), used_path, path);
}

int __open_2(const char* path, int flags) {
  REDIRECT(path);
  return finish_open(real___open_2()(used_path, flags), used_path, path);
}

int __open64_2(const char* path, int flags) {
  REDIRECT(path);
  return finish_open(real___open64_2()(used_path, flags), used_path, path);
}

int __openat_2(int dirfd, const char* path, int flags) {
  REDIRECT(path);
  return finish_open(real___openat_2()(dirfd, used_path, flags), used_path, path);
}

int __openat64_2(int dirfd, const char* path, int flags) {
  REDIRECT(path);
  return finish_open(real___openat64_2()(dirfd, used_path, flags), used_path, path);
}

int creat(const char* path, mode_t mode) {
  REDIRECT(path);
  return finish_open(real_creat()(used_path, mode), used_path, path);
}

int creat64(const char* path, mode_t mode) {
  REDIRECT(path);
  return finish_open(real_creat64()(used_path, mode), used_path, path);
}

FILE* fopen(const char* path, const char* mode) {
  REDIRECT(path);
  return real_fopen()(used_path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
  REDIRECT(path);
  return real_fopen64()(used_path, mode);
}

FILE* freopen(const char* path, const char* mode, FILE* stream) {
  REDIRECT(path);
  return real_freopen()(used_path, mode, stream);
}

FILE* freopen64(const char* path, const char* mode, FILE* stream) {
  REDIRECT(path);
  return real_freopen64()(used_path, mode, stream);
}

DIR* opendir(const char* path) {
  REDIRECT(path);
  return real_opendir()(used_path);
}

/* glob and glob64 differ only in the type of their result. Results under the testbed come
 * back in the system spelling. Only a successful call has added entries to map; a refused
 * one (-1: no record, unknown flags) may not even have set the record up. */
#define DEFINE_GLOB(name, type)                                                              \
  int name(const char* pattern, int flags, int (*errfunc)(const char*, int), type* pglob) {  \
    char buffer[kPathBuffer];                                                                \
    const char* used = pattern;                                                              \
    if (armed()) used = simk_redirect_pattern(pattern, buffer, sizeof buffer);               \
    size_t before = (flags & GLOB_APPEND) && pglob != NULL ? pglob->gl_pathc : 0;            \
    int result = real_##name()(used, flags, errfunc, pglob);                                 \
    if (used != pattern && result == 0 && pglob->gl_pathv != NULL) {                         \
      int saved = errno;                                                                     \
      size_t offs = (flags & GLOB_DOOFFS) ? pglob->gl_offs : 0;                              \
      simk_map_glob_results(pglob->gl_pathv + offs, before, pglob->gl_pathc, pattern, used); \
      errno = saved;                                                                         \
    }                                                                                        \
    return result;                                                                           \
  }

DEFINE_GLOB(glob, glob_t)
DEFINE_GLOB(glob64, glob64_t)

int stat(const char* path, struct stat* buf) {
  REDIRECT(path);
  return real_stat()(used_path, buf);
}

int stat64(const char* path, struct stat64* buf) {
  REDIRECT(path);
  return real_stat64()(used_path, buf);
}

int lstat(const char* path, struct stat* buf) {
  REDIRECT(path);
  return real_lstat()(used_path, buf);
}

int lstat64(const char* path, struct stat64* buf) {
  REDIRECT(path);
  return real_lstat64()(used_path, buf);
}

/* A bound descriptor is a real file, so fstat needs no redirection; it is defined so that
 * every stat form of the product is known to pass here. */
int fstat(int fd, struct stat* buf) {
  return real_fstat()(fd, buf);
}

int fstat64(int fd, struct stat64* buf) {
  return real_fstat64()(fd, buf);
}

int fstatat(int dirfd, const char* path, struct stat* buf, int flags) {
  REDIRECT(path);
  return real_fstatat()(dirfd, used_path, buf, flags);
}

int fstatat64(int dirfd, const char* path, struct stat64* buf, int flags) {
  REDIRECT(path);
  return real_fstatat64()(dirfd, used_path, buf, flags);
}

int mkdir(const char* path, mode_t mode) {
  REDIRECT(path);
  return real_mkdir()(used_path, mode);
}

int rmdir(const char* path) {
  REDIRECT(path);
  return real_rmdir()(used_path);
}

int unlink(const char* path) {
  REDIRECT(path);
  return real_unlink()(used_path);
}

int remove(const char* path) {
  REDIRECT(path);
  return real_remove()(used_path);
}

int access(const char* path, int mode) {
  REDIRECT(path);
  return real_access()(used_path, mode);
}

int rename(const char* from, const char* to) {
  REDIRECT(from);
  REDIRECT(to);
  return real_rename()(used_from, used_to);
}

int inotify_add_watch(int fd, const char* path, uint32_t mask) {
  char buffer[kPathBuffer];
  const char* used = armed() ? simk_redirect(path, buffer, sizeof buffer, 1) : path;
  return real_inotify_add_watch()(fd, used, mask);
}

int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  int result;
  if (armed() && simk_ioctl(fd, request, arg, &result)) return result;
  return real_ioctl()(fd, request, arg);
}

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
  void* result;
  if (fd >= 0 && armed() && simk_mmap(addr, length, prot, flags, fd, offset, &result))
    return result;
  return real_mmap()(addr, length, prot, flags, fd, offset);
}

void* mmap64(void* addr, size_t length, int prot, int flags, int fd, off64_t offset) {
  void* result;
  if (fd >= 0 && armed() && simk_mmap(addr, length, prot, flags, fd, offset, &result))
    return result;
  return real_mmap64()(addr, length, prot, flags, fd, offset);
}

int munmap(void* addr, size_t length) {
  if (armed()) simk_munmap(addr, length);
  return real_munmap()(addr, length);
}

ssize_t read(int fd, void* buffer, size_t count) {
  ssize_t result;
  if (armed() && simk_read(fd, buffer, count, &result)) return result;
  return real_read()(fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count) {
  ssize_t result;
  if (armed() && simk_write(fd, buffer, count, &result)) return result;
  return real_write()(fd, buffer, count);
}

int close(int fd) {
  if (armed()) simk_close(fd);
  return real_close()(fd);
}

void* dlopen(const char* file, int mode) {
  char buffer[kPathBuffer];
  const char* used = file != NULL && armed() ? simk_map_library(file, buffer, sizeof buffer) : file;
  return real_dlopen()(used, mode);
}

/* The C library's own entry points, for simulation code. */
int simk_real_open(const char* path, int flags, mode_t mode) {
  return real_open()(path, flags, mode);
}
int simk_real_close(int fd) {
  return real_close()(fd);
}
ssize_t simk_real_read(int fd, void* buffer, size_t count) {
  return real_read()(fd, buffer, count);
}
ssize_t simk_real_write(int fd, const void* buffer, size_t count) {
  return real_write()(fd, buffer, count);
}
void* simk_real_mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
  return real_mmap()(addr, length, prot, flags, fd, offset);
}
int simk_real_munmap(void* addr, size_t length) {
  return real_munmap()(addr, length);
}

/* File calls that a test can make fail (sim/kernel/FileFaults.h); otherwise passed through. */
#include "sim/kernel/FileFaults.h"

typedef int (*fd_fn)(int);
typedef int (*ftruncate_fn)(int, off_t);
typedef int (*ftruncate64_fn)(int, off64_t);
typedef int (*fallocate_fn)(int, int, off_t, off_t);
typedef int (*fallocate64_fn)(int, int, off64_t, off64_t);
typedef int (*posix_fallocate_fn)(int, off_t, off_t);
typedef int (*posix_fallocate64_fn)(int, off64_t, off64_t);

REAL_FN(fd_fn, fsync)
REAL_FN(fd_fn, fdatasync)
REAL_FN(ftruncate_fn, ftruncate)
REAL_FN(ftruncate64_fn, ftruncate64)
REAL_FN(fallocate_fn, fallocate)
REAL_FN(fallocate64_fn, fallocate64)
REAL_FN(posix_fallocate_fn, posix_fallocate)
REAL_FN(posix_fallocate64_fn, posix_fallocate64)

/* -1 with errno set when the call is to fail, else 0. */
static int faulted(int fd, int call) {
  int err = simk_file_fault(fd, call);
  if (err == 0) return 0;
  errno = err;
  return -1;
}

int fsync(int fd) {
  return faulted(fd, SIMK_CALL_FSYNC) ? -1 : real_fsync()(fd);
}

int fdatasync(int fd) {
  return faulted(fd, SIMK_CALL_FSYNC) ? -1 : real_fdatasync()(fd);
}

int ftruncate(int fd, off_t length) {
  return faulted(fd, SIMK_CALL_FTRUNCATE) ? -1 : real_ftruncate()(fd, length);
}

int ftruncate64(int fd, off64_t length) {
  return faulted(fd, SIMK_CALL_FTRUNCATE) ? -1 : real_ftruncate64()(fd, length);
}

int fallocate(int fd, int mode, off_t offset, off_t length) {
  return faulted(fd, SIMK_CALL_FALLOCATE) ? -1 : real_fallocate()(fd, mode, offset, length);
}

int fallocate64(int fd, int mode, off64_t offset, off64_t length) {
  return faulted(fd, SIMK_CALL_FALLOCATE) ? -1 : real_fallocate64()(fd, mode, offset, length);
}

/* These two report the error as their result and leave errno alone. */
int posix_fallocate(int fd, off_t offset, off_t length) {
  int err = simk_file_fault(fd, SIMK_CALL_FALLOCATE);
  return err != 0 ? err : real_posix_fallocate()(fd, offset, length);
}

int posix_fallocate64(int fd, off64_t offset, off64_t length) {
  int err = simk_file_fault(fd, SIMK_CALL_FALLOCATE);
  return err != 0 ? err : real_posix_fallocate64()(fd, offset, length);
}
