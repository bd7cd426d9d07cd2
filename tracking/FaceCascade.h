#pragma once
// Finding and loading the frontal-face classifier cascade: the one way the program, the replay
// and the tools get theirs.

#include <memory>
#include <string>

namespace cv {
class CascadeClassifier;
}

namespace pupiltrak {

// The cascade file to load, the first that is there of: the current directory's (given as the
// bare file name, as the program always named it), the one in programDirectory, the one in the
// system's OpenCV cascade folder (from the machine facts). The bare file name when none is.
std::string FindFaceCascade(const std::string& programDirectory);

// The loaded cascade, or null when the file is missing, unreadable or holds no usable cascade.
std::shared_ptr<cv::CascadeClassifier> LoadFaceCascade(const std::string& fileName);

// A cascade found as FindFaceCascade finds it: the path tried (for the log lines) and the
// cascade, null when it could not be loaded.
struct FoundCascade {
  std::string path;
  std::shared_ptr<cv::CascadeClassifier> cascade;
};
FoundCascade FindAndLoadFaceCascade(const std::string& programDirectory);

}  // namespace pupiltrak
