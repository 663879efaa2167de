// Interposes pthread_create: the program's own definition comes before the
// C library's (and a sanitizer's) in symbol lookup, also for the shared
// library under test; it forwards to the next definition unless told to fail.
#include "thread_failure.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<bool> failing{false};

using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

}  // namespace

namespace Quorvane::testing {

void failThreadCreation(bool fail) {
    failing = fail;
}

}  // namespace Quorvane::testing

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                              void* arg) {
    if (failing) return EAGAIN;
    static const Create next = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    return next(thread, attr, start, arg);
}
