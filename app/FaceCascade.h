#pragma once
// Loading the frontal-face classifier cascade.

#include <memory>
#include <string>

namespace cv {
class CascadeClassifier;
}

namespace pupiltrak {

// The loaded cascade, or null when the file is missing, unreadable or holds no usable cascade.
std::shared_ptr<cv::CascadeClassifier> LoadFaceCascade(const std::string& fileName);

}  // namespace pupiltrak
