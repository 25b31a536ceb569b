// OpenCV hands its parallel loops to TBB worker threads, and neither library is built with
// ThreadSanitizer: it cannot see their hand-offs and reports each as a race. Sanitised runs keep
// OpenCV's loops on the calling thread, so that what is reported is the library's own doing.
#include <opencv2/core/utility.hpp>

namespace {

[[maybe_unused]] const bool kOpenCvSerial = [] {
    cv::setNumThreads(0);
    return true;
}();

}  // namespace
