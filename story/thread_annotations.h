// Lock annotations that clang's -Wthread-safety checks, and a mutex that carries them.
#pragma once

#include <condition_variable>
#include <mutex>

// Other compilers see nothing: the annotations only let clang prove at build time that
// the data a mutex guards is touched with the mutex held.
#if defined(__clang__)
#define QUILLSHADE_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QUILLSHADE_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) QUILLSHADE_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY QUILLSHADE_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(mutex) QUILLSHADE_THREAD_ANNOTATION(guarded_by(mutex))
#define PT_GUARDED_BY(mutex) QUILLSHADE_THREAD_ANNOTATION(pt_guarded_by(mutex))
#define REQUIRES(...) QUILLSHADE_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) QUILLSHADE_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QUILLSHADE_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define EXCLUDES(...) QUILLSHADE_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

namespace quillshade {

// std::mutex with the annotations the standard library's own lacks.
class CAPABILITY("mutex") Mutex {
 public:
  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }
  // Lets the mutex go while it waits to be woken, and holds it again before it returns:
  // to the annotations it is held throughout, so the caller tests its condition in a loop.
  void Wait(std::condition_variable_any& wake) REQUIRES(this) { wake.wait(mutex_); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() RELEASE() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace quillshade
