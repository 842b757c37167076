// Clang's thread-safety annotations, for shared state and the locks that guard it. With
// clang and -Wthread-safety the compiler checks that guarded members are only touched with
// their lock held and that locks are taken and released in pairs; with other compilers the
// annotations compile to nothing. A function that must escape the analysis (the analysis
// does not follow recursive locking) carries NO_THREAD_SAFETY_ANALYSIS and a comment why.
#pragma once

#if defined(__clang__)
#define ZYN_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ZYN_THREAD_ANNOTATION(x)
#endif

// On a lock type.
#define CAPABILITY(x) ZYN_THREAD_ANNOTATION(capability(x))
// On a type whose constructor takes a lock and whose destructor releases it.
#define SCOPED_CAPABILITY ZYN_THREAD_ANNOTATION(scoped_lockable)
// On a member: touched only with the lock held.
#define GUARDED_BY(x) ZYN_THREAD_ANNOTATION(guarded_by(x))
// On a pointer member: what it points to is touched only with the lock held.
#define PT_GUARDED_BY(x) ZYN_THREAD_ANNOTATION(pt_guarded_by(x))
// On lock members: the documented lock order.
#define ACQUIRED_BEFORE(...) ZYN_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) ZYN_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
// On functions: what the caller must hold, must not hold, or what the call takes or releases.
#define EXCLUSIVE_LOCKS_REQUIRED(...) ZYN_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define LOCKS_EXCLUDED(...) ZYN_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) ZYN_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) ZYN_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define RETURN_CAPABILITY(x) ZYN_THREAD_ANNOTATION(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS ZYN_THREAD_ANNOTATION(no_thread_safety_analysis)
