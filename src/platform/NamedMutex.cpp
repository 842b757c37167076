#include "platform/NamedMutex.h"

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/LastError.h"
#include "platform/Wait.h"

#if defined(__SANITIZE_THREAD__)
#define ZYN_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZYN_THREAD_SANITIZER 1
#endif
#endif
#if defined(ZYN_THREAD_SANITIZER)
#include <sanitizer/tsan_interface.h>
#endif

namespace {

// How often the calling thread holds each mutex mapped in this process, so that a release by a
// thread that holds none is refused before it reaches the system.
thread_local std::map<const pthread_mutex_t*, unsigned> t_holds;

// The thread sanitizer learns of a lock from the lock calls, except of one a timed lock took
// over from a dead owner.
void NoteTakenOverByTimedLock([[maybe_unused]] pthread_mutex_t& mutex) {
#if defined(ZYN_THREAD_SANITIZER)
    __tsan_mutex_pre_lock(&mutex, __tsan_mutex_try_lock);
    __tsan_mutex_post_lock(&mutex, __tsan_mutex_try_lock, 0);
#endif
}

// Lives in the shared section. The first opener initialises the mutex; others wait for it.
struct SharedMutexBlock {
    enum : std::uint32_t { kUninitialised = 0, kInitialising = 1, kReady = 2 };
    std::uint32_t state;  // only through State(): other processes change it
    pthread_mutex_t mutex;

    std::atomic_ref<std::uint32_t> State() { return std::atomic_ref<std::uint32_t>(state); }
};
static_assert(std::atomic_ref<std::uint32_t>::is_always_lock_free);

// How long an opener waits for another process to finish initialising (it only dies there).
constexpr int kInitialisationPolls = 1000;

bool InitialiseMutex(pthread_mutex_t& mutex) {
    pthread_mutexattr_t attributes;
    if (::pthread_mutexattr_init(&attributes) != 0) {
        return false;
    }
    const bool made = ::pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
                      ::pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
                      ::pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0 &&
                      ::pthread_mutex_init(&mutex, &attributes) == 0;
    ::pthread_mutexattr_destroy(&attributes);
    return made;
}

bool EnsureInitialised(SharedMutexBlock& block) {
    std::uint32_t expected = SharedMutexBlock::kUninitialised;
    if (block.State().compare_exchange_strong(expected, SharedMutexBlock::kInitialising)) {
        const bool made = InitialiseMutex(block.mutex);
        block.State().store(made ? SharedMutexBlock::kReady : SharedMutexBlock::kUninitialised);
        return made;
    }
    for (int poll = 0; poll < kInitialisationPolls; ++poll) {
        if (block.State().load() != SharedMutexBlock::kInitialising) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return block.State().load() == SharedMutexBlock::kReady;
}

SharedMutexBlock& BlockOf(const SharedMemory& memory) {
    return *static_cast<SharedMutexBlock*>(memory.Address());
}

int TimedLock(pthread_mutex_t& mutex, DWORD timeoutMs) {
    timespec deadline{};
    ::clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000);
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return ::pthread_mutex_timedlock(&mutex, &deadline);
}

int Lock(pthread_mutex_t& mutex, DWORD timeoutMs) {
    if (timeoutMs == INFINITE) {
        return ::pthread_mutex_lock(&mutex);
    }
    int result = ::pthread_mutex_trylock(&mutex);
    if (result == EBUSY && timeoutMs != 0) {
        result = TimedLock(mutex, timeoutMs);
        if (result == EOWNERDEAD) {
            NoteTakenOverByTimedLock(mutex);
        }
    }
    return result;
}

// Every opener of one name in this process shares one mapping, kept while any of them is
// open. The system finds a dead owner through the address the owner locked at, so the mapping
// must outlive one opener that closes while its thread still owns the mutex.
class ProcessMappings {
public:
    std::shared_ptr<SharedMemory> Open(std::wstring_view name, const ObjectAccess& access) {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_open, [](const auto& entry) { return entry.second.expired(); });
        std::weak_ptr<SharedMemory>& slot = m_open[std::wstring(name)];
        std::shared_ptr<SharedMemory> memory = slot.lock();
        if (!memory) {
            memory = SharedMemory::Open(name, sizeof(SharedMutexBlock), access,
                                        SharedMemory::Kind::Mutex);
            slot = memory;
        }
        return memory;
    }

private:
    std::mutex m_mutex;
    std::map<std::wstring, std::weak_ptr<SharedMemory>> m_open;
};

ProcessMappings& Mappings() {
    static ProcessMappings mappings;
    return mappings;
}

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::Open(std::wstring_view name, const ObjectAccess& access) {
    std::shared_ptr<SharedMemory> memory = Mappings().Open(name, access);
    if (!memory) {
        return nullptr;
    }
    if (!EnsureInitialised(BlockOf(*memory))) {
        SetLastError(ERROR_NOT_READY);
        return nullptr;
    }
    return std::unique_ptr<NamedMutex>(new NamedMutex(std::move(memory)));
}

DWORD NamedMutex::Acquire(DWORD timeoutMs) {
    pthread_mutex_t& mutex = BlockOf(*m_memory).mutex;
    const int result = Lock(mutex, timeoutMs);
    switch (result) {
        case 0:
            ++t_holds[&mutex];
            return WAIT_OBJECT_0;
        case EOWNERDEAD:
            ::pthread_mutex_consistent(&mutex);
            ++t_holds[&mutex];
            return WAIT_ABANDONED;
        case EBUSY:
        case ETIMEDOUT:
            return WAIT_TIMEOUT;
        default:
            SetLastError(Win32ErrorFromErrno(result));
            return WAIT_FAILED;
    }
}

bool NamedMutex::Release() {
    pthread_mutex_t& mutex = BlockOf(*m_memory).mutex;
    const auto held = t_holds.find(&mutex);
    if (held == t_holds.end()) {
        SetLastError(ERROR_NOT_OWNER);
        return false;
    }
    const int result = ::pthread_mutex_unlock(&mutex);
    if (result != 0) {
        SetLastError(Win32ErrorFromErrno(result));
        return false;
    }
    if (--held->second == 0) {
        t_holds.erase(held);
    }
    return true;
}
