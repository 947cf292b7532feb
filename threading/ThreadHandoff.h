#pragma once

// Qt's own locks (event queue, thread pool) are invisible to ThreadSanitizer
// when Qt is not built with it. Where we hand data to another thread through
// them, these mark the hand-over: everything before handoffRelease(token) on
// one thread happens before everything after handoffAcquire(token) on the
// other. No code at all in other builds.

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELORAN_TSAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define VELORAN_TSAN 1
#endif

#ifdef VELORAN_TSAN
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
inline void handoffRelease(void *token) { __tsan_release(token); }
inline void handoffAcquire(void *token) { __tsan_acquire(token); }
// Between these, what this thread writes is not recorded: for memory that
// only Qt's queue passes on, where no release can follow the last write.
inline void handoffHideBegin() { __tsan_ignore_thread_begin(); }
inline void handoffHideEnd() { __tsan_ignore_thread_end(); }
#else
inline void handoffRelease(void *) {}
inline void handoffAcquire(void *) {}
inline void handoffHideBegin() {}
inline void handoffHideEnd() {}
#endif
