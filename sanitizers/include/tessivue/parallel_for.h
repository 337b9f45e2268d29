#pragma once

// cv::parallel_for_ with its fork and join visible to ThreadSanitizer.
//
// OpenCV runs the bands on TBB's worker threads, and TBB synchronises in
// code that is not instrumented: ThreadSanitizer then sees the caller's
// writes before the loop and the bands' writes inside it as unordered with
// each other. The edges added here are exactly what the loop guarantees:
// everything before the call happens before every band, and every band
// happens before the call returns. Bands stay unordered with each other, so
// two bands touching the same memory are still reported. Without
// ThreadSanitizer this is cv::parallel_for_ itself.

#include <opencv2/core/utility.hpp>

// gcc says __SANITIZE_THREAD__, clang __has_feature(thread_sanitizer).
#if defined(__SANITIZE_THREAD__)
#define TESSIVUE_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSIVUE_THREAD_SANITIZER 1
#endif
#endif

#if defined(TESSIVUE_THREAD_SANITIZER)
#include <sanitizer/tsan_interface.h>
#endif

namespace tessivue {

#if defined(TESSIVUE_THREAD_SANITIZER)
namespace detail {

// The bands call back into this object from OpenCV's (uninstrumented)
// dispatch, so its first instrumented step can be the acquire. Its own
// address is the fork key and the next byte the join key: nothing of it is
// read before the acquire.
template <class Body>
class annotated_loop final : public cv::ParallelLoopBody {
public:
    explicit annotated_loop(const Body& body) : m_body(body) { }

    void operator()(const cv::Range& part) const override
    {
        __tsan_acquire(fork_key());
        m_body(part);
        __tsan_release(join_key());
    }

    void* fork_key() const { return const_cast<annotated_loop*>(this); }
    void* join_key() const { return reinterpret_cast<char*>(const_cast<annotated_loop*>(this)) + 1; }

private:
    const Body& m_body;
};

}  // namespace detail
#endif

template <class Body>
void parallel_for(const cv::Range& range, const Body& body, double stripes = -1.0)
{
#if defined(TESSIVUE_THREAD_SANITIZER)
    const detail::annotated_loop<Body> loop(body);
    __tsan_release(loop.fork_key());
    cv::parallel_for_(range, loop, stripes);
    __tsan_acquire(loop.join_key());
#else
    cv::parallel_for_(range, body, stripes);
#endif
}

}  // namespace tessivue
