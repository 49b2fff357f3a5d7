// The locks of the host store and of nyrd, and the waits on them, in a form the thread-safety
// analysis sees: every lock in src/storeif/host/ and src/nyrd/ is one of these.
#ifndef NYR_HOST_CORE_MUTEX_H
#define NYR_HOST_CORE_MUTEX_H

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>

#include "core/thread_annotations.h"

namespace nyrhost {

class CAPABILITY("mutex") Mutex {
public:
    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    // Tells the analysis that this lock is held where it cannot see it: a handle reached through
    // its store's handle list shares the lock the caller holds.
    void assert_held() const ASSERT_CAPABILITY(this) {}

private:
    friend class CondVar;
    std::mutex mutex_;
};

// Holds a Mutex, or a SharedMutex for writing, for its scope.
template <typename Lockable>
class SCOPED_CAPABILITY ExclusiveLock {
public:
    explicit ExclusiveLock(Lockable& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~ExclusiveLock() RELEASE() { mutex_.unlock(); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    Lockable& mutex_;
};

// A lock that many may hold for reading at once, or one for writing.
class CAPABILITY("shared mutex") SharedMutex {
public:
    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    void lock_shared() ACQUIRE_SHARED() { mutex_.lock_shared(); }
    void unlock_shared() RELEASE_SHARED() { mutex_.unlock_shared(); }

private:
    std::shared_mutex mutex_;
};

using MutexLock = ExclusiveLock<Mutex>;
using WriterLock = ExclusiveLock<SharedMutex>;

class SCOPED_CAPABILITY ReaderLock {
public:
    explicit ReaderLock(SharedMutex& mutex) ACQUIRE_SHARED(mutex) : mutex_(mutex) {
        mutex_.lock_shared();
    }
    ~ReaderLock() RELEASE() { mutex_.unlock_shared(); }
    ReaderLock(const ReaderLock&) = delete;
    ReaderLock& operator=(const ReaderLock&) = delete;

private:
    SharedMutex& mutex_;
};

class CondVar {
public:
    // Waits until notified or until `deadline`, releasing `mutex` meanwhile; false on time-out.
    // Wake-ups may be spurious: callers test their condition in a loop.
    bool wait_until(Mutex& mutex, std::chrono::steady_clock::time_point deadline) REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
        const bool notified = cv_.wait_until(lock, deadline) == std::cv_status::no_timeout;
        lock.release();  // the caller still holds the mutex
        return notified;
    }
    void notify_all() { cv_.notify_all(); }

private:
    std::condition_variable cv_;
};

}  // namespace nyrhost

#endif  // NYR_HOST_CORE_MUTEX_H
