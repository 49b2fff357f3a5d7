// Clang's thread-safety attributes, so that the compiler checks which lock guards which data
// (built with -Wthread-safety in the Clang lane). Other compilers see empty macros.
#ifndef NYR_HOST_CORE_THREAD_ANNOTATIONS_H
#define NYR_HOST_CORE_THREAD_ANNOTATIONS_H

#if defined(__clang__)
#define NYR_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define NYR_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) NYR_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY NYR_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) NYR_THREAD_ATTRIBUTE(guarded_by(x))
#define PT_GUARDED_BY(x) NYR_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define REQUIRES(...) NYR_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) NYR_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) NYR_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) NYR_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) NYR_THREAD_ATTRIBUTE(acquire_shared_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) NYR_THREAD_ATTRIBUTE(release_shared_capability(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) NYR_THREAD_ATTRIBUTE(assert_capability(x))
#define NO_THREAD_SAFETY_ANALYSIS NYR_THREAD_ATTRIBUTE(no_thread_safety_analysis)

#endif  // NYR_HOST_CORE_THREAD_ANNOTATIONS_H
