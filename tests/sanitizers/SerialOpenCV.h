// Force-included into every file of the ThreadSanitizer build (see build.sh): OpenCV runs its
// parallel loops on TBB's worker threads, whose hand-over ThreadSanitizer cannot see (neither
// OpenCV nor TBB is instrumented), and every pipeline stage would be reported. One thread makes
// OpenCV run each loop on the calling thread, so the frame thread's own accesses stay checked.
// Files built without OpenCV's headers (CMake's compiler check) are left alone.
#pragma once
#if defined(__cplusplus) && __has_include(<opencv2/core/utility.hpp>)
#include <opencv2/core/utility.hpp>

namespace pupiltrak_sanitizers {
inline const bool kOpenCVSerial = (cv::setNumThreads(1), true);
}
#endif
