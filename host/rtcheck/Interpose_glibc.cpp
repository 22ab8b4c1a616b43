// The executable's own heap and lock functions: they forward to the C library and count the calls a thread
// makes while it is inside a plug-in's audio entry. Linked into executables only, never under sanitizers.
#include "host/rtcheck/RtCheck.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <pthread.h>
#include <semaphore.h>
#include <time.h>

#define QL_INTERPOSE extern "C" __attribute__((visibility("default")))

using namespace ql::host::rtcheck;

// The C library's allocator under its own names, so forwarding needs no lookup and cannot recurse.
extern "C" {
void* __libc_malloc(std::size_t size);
void __libc_free(void* p);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

// ---------------------------------------------------------------------------------------------------------
// Heap

QL_INTERPOSE void* malloc(std::size_t size) {
    CountAllocation();
    return __libc_malloc(size);
}

QL_INTERPOSE void free(void* p) {
    if (p) CountFree();
    __libc_free(p);
}

QL_INTERPOSE void* calloc(std::size_t count, std::size_t size) {
    CountAllocation();
    return __libc_calloc(count, size);
}

QL_INTERPOSE void* realloc(void* p, std::size_t size) {
    CountAllocation();
    return __libc_realloc(p, size);
}

QL_INTERPOSE void* memalign(std::size_t alignment, std::size_t size) {
    CountAllocation();
    return __libc_memalign(alignment, size);
}

QL_INTERPOSE void* aligned_alloc(std::size_t alignment, std::size_t size) {
    CountAllocation();
    return __libc_memalign(alignment, size);
}

QL_INTERPOSE int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    CountAllocation();
    void* p = __libc_memalign(alignment, size);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}

namespace {

void* NewOrThrow(std::size_t size) {
    for (;;) {
        if (void* p = malloc(size ? size : 1)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void* AlignedNewOrThrow(std::size_t size, std::align_val_t alignment) {
    std::size_t a = static_cast<std::size_t>(alignment);
    if (a < sizeof(void*)) a = sizeof(void*);
    for (;;) {
        void* p = nullptr;
        if (posix_memalign(&p, a, size ? size : 1) == 0) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

} // namespace

__attribute__((visibility("default"))) void* operator new(std::size_t size) { return NewOrThrow(size); }
__attribute__((visibility("default"))) void* operator new[](std::size_t size) { return NewOrThrow(size); }
__attribute__((visibility("default"))) void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return malloc(size ? size : 1);
}
__attribute__((visibility("default"))) void* operator new[](std::size_t size,
                                                            const std::nothrow_t&) noexcept {
    return malloc(size ? size : 1);
}
__attribute__((visibility("default"))) void* operator new(std::size_t size, std::align_val_t a) {
    return AlignedNewOrThrow(size, a);
}
__attribute__((visibility("default"))) void* operator new[](std::size_t size, std::align_val_t a) {
    return AlignedNewOrThrow(size, a);
}
__attribute__((visibility("default"))) void operator delete(void* p) noexcept { free(p); }
__attribute__((visibility("default"))) void operator delete[](void* p) noexcept { free(p); }
__attribute__((visibility("default"))) void operator delete(void* p, std::size_t) noexcept { free(p); }
__attribute__((visibility("default"))) void operator delete[](void* p, std::size_t) noexcept { free(p); }
__attribute__((visibility("default"))) void operator delete(void* p, std::align_val_t) noexcept { free(p); }
__attribute__((visibility("default"))) void operator delete[](void* p, std::align_val_t) noexcept { free(p); }
__attribute__((visibility("default"))) void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    free(p);
}
__attribute__((visibility("default"))) void operator delete[](void* p, std::size_t,
                                                              std::align_val_t) noexcept {
    free(p);
}

// ---------------------------------------------------------------------------------------------------------
// Locks: the C library's functions are found once, at start-up, so an audio thread never looks anything up.

namespace {

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using MutexFn = int (*)(pthread_mutex_t*);
using MutexTimedFn = int (*)(pthread_mutex_t*, const timespec*);
using RwFn = int (*)(pthread_rwlock_t*);
using RwTimedFn = int (*)(pthread_rwlock_t*, const timespec*);
using SpinFn = int (*)(pthread_spinlock_t*);
using SemFn = int (*)(sem_t*);
using SemTimedFn = int (*)(sem_t*, const timespec*);

struct Real {
    MutexFn mutexLock = nullptr, mutexTrylock = nullptr;
    MutexTimedFn mutexTimedlock = nullptr;
    RwFn rdlock = nullptr, wrlock = nullptr, tryrdlock = nullptr, trywrlock = nullptr;
    RwTimedFn timedrdlock = nullptr, timedwrlock = nullptr;
    SpinFn spinLock = nullptr, spinTrylock = nullptr;
    SemFn semWait = nullptr, semTrywait = nullptr;
    SemTimedFn semTimedwait = nullptr;
};
Real gReal;
bool gResolved = false;

void Resolve() {
    if (gResolved) return;
    gReal.mutexLock = Next<MutexFn>("pthread_mutex_lock");
    gReal.mutexTrylock = Next<MutexFn>("pthread_mutex_trylock");
    gReal.mutexTimedlock = Next<MutexTimedFn>("pthread_mutex_timedlock");
    gReal.rdlock = Next<RwFn>("pthread_rwlock_rdlock");
    gReal.wrlock = Next<RwFn>("pthread_rwlock_wrlock");
    gReal.tryrdlock = Next<RwFn>("pthread_rwlock_tryrdlock");
    gReal.trywrlock = Next<RwFn>("pthread_rwlock_trywrlock");
    gReal.timedrdlock = Next<RwTimedFn>("pthread_rwlock_timedrdlock");
    gReal.timedwrlock = Next<RwTimedFn>("pthread_rwlock_timedwrlock");
    gReal.spinLock = Next<SpinFn>("pthread_spin_lock");
    gReal.spinTrylock = Next<SpinFn>("pthread_spin_trylock");
    gReal.semWait = Next<SemFn>("sem_wait");
    gReal.semTrywait = Next<SemFn>("sem_trywait");
    gReal.semTimedwait = Next<SemTimedFn>("sem_timedwait");
    gResolved = true;
}

__attribute__((constructor(101))) void Start() {
    Resolve();
    MarkInterposerPresent(reinterpret_cast<void*>(&malloc));
}

template <typename F, typename... A>
int Forward(F Real::*fn, A... args) {
    CountLock();
    if (!gResolved) Resolve();
    F f = gReal.*fn;
    return f ? f(args...) : ENOSYS;
}

} // namespace

QL_INTERPOSE int pthread_mutex_lock(pthread_mutex_t* m) { return Forward(&Real::mutexLock, m); }
QL_INTERPOSE int pthread_mutex_trylock(pthread_mutex_t* m) { return Forward(&Real::mutexTrylock, m); }
QL_INTERPOSE int pthread_mutex_timedlock(pthread_mutex_t* m, const timespec* t) {
    return Forward(&Real::mutexTimedlock, m, t);
}
QL_INTERPOSE int pthread_rwlock_rdlock(pthread_rwlock_t* l) { return Forward(&Real::rdlock, l); }
QL_INTERPOSE int pthread_rwlock_wrlock(pthread_rwlock_t* l) { return Forward(&Real::wrlock, l); }
QL_INTERPOSE int pthread_rwlock_tryrdlock(pthread_rwlock_t* l) { return Forward(&Real::tryrdlock, l); }
QL_INTERPOSE int pthread_rwlock_trywrlock(pthread_rwlock_t* l) { return Forward(&Real::trywrlock, l); }
QL_INTERPOSE int pthread_rwlock_timedrdlock(pthread_rwlock_t* l, const timespec* t) {
    return Forward(&Real::timedrdlock, l, t);
}
QL_INTERPOSE int pthread_rwlock_timedwrlock(pthread_rwlock_t* l, const timespec* t) {
    return Forward(&Real::timedwrlock, l, t);
}
QL_INTERPOSE int pthread_spin_lock(pthread_spinlock_t* l) { return Forward(&Real::spinLock, l); }
QL_INTERPOSE int pthread_spin_trylock(pthread_spinlock_t* l) { return Forward(&Real::spinTrylock, l); }
QL_INTERPOSE int sem_wait(sem_t* s) { return Forward(&Real::semWait, s); }
QL_INTERPOSE int sem_trywait(sem_t* s) { return Forward(&Real::semTrywait, s); }
QL_INTERPOSE int sem_timedwait(sem_t* s, const timespec* t) { return Forward(&Real::semTimedwait, s, t); }
