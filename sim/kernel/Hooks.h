#pragma once

/* The narrow C interface between the wrappers (Interposer.c) and the testbed logic
 * (Kernel.cpp). Every hook keeps errno unchanged unless it says otherwise and never calls a
 * wrapped function. */
#include <stddef.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Lets the wrappers call the hooks from now on (defined by the wrappers, called when the
 * first testbed starts). */
void simk_arm(void);

/* Non-zero while a testbed is active. */
int simk_active(void);

/* Where a path goes: returns `path` itself or `buffer` holding the redirected path. With
 * `forWatch` the exact path "/dev" is redirected too (inotify watches). */
const char* simk_redirect(const char* path, char* buffer, size_t size, int forWatch);
/* The same for a glob pattern: the root is escaped against glob's special characters. */
const char* simk_redirect_pattern(const char* pattern, char* buffer, size_t size);
/* Maps glob results back to the system spelling: entries [from, to) of pathv. */
void simk_map_glob_results(char** pathv, size_t from, size_t to, const char* pattern,
                           const char* usedPattern);

/* A descriptor was opened on `realPath` (after redirection): binds it when the path is a
 * bound node file. Returns 0, or an errno that refuses the open. */
int simk_bind(int fd, const char* realPath);
/* Non-zero when fd is bound to a node. */
int simk_bound(int fd);
/* Calls on a bound descriptor; each returns non-zero when it handled the call (result in
 * *result, errno set on failure) and zero when fd is not bound. */
int simk_ioctl(int fd, unsigned long request, void* arg, int* result);
int simk_mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset, void** result);
int simk_read(int fd, void* buffer, size_t count, ssize_t* result);
int simk_write(int fd, const void* buffer, size_t count, ssize_t* result);
/* Called before the real close / munmap. */
void simk_close(int fd);
void simk_munmap(void* addr, size_t length);

/* dlopen: returns `file` itself or `buffer` with the path of the testbed's choice. */
const char* simk_map_library(const char* file, char* buffer, size_t size);

#ifdef __cplusplus
}
#endif
