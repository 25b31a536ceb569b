# Debian ships OpenCV's core and imgproc without a CMake package or pkg-config file unless the whole
# of libopencv-dev is installed, so the two libraries are wrapped in imported targets here, once for
# the camera library, its crop stage, the tests and the benchmarks.
find_path(OpenCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
find_library(OpenCV_CORE_LIBRARY opencv_core REQUIRED)
find_library(OpenCV_IMGPROC_LIBRARY opencv_imgproc REQUIRED)
add_library(OpenCV::core SHARED IMPORTED GLOBAL)
set_target_properties(OpenCV::core PROPERTIES
  IMPORTED_LOCATION ${OpenCV_CORE_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${OpenCV_INCLUDE_DIR})
add_library(OpenCV::imgproc SHARED IMPORTED GLOBAL)
set_target_properties(OpenCV::imgproc PROPERTIES
  IMPORTED_LOCATION ${OpenCV_IMGPROC_LIBRARY}
  INTERFACE_LINK_LIBRARIES OpenCV::core)
