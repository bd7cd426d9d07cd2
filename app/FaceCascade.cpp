#include "app/FaceCascade.h"

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

namespace pupiltrak {

std::shared_ptr<cv::CascadeClassifier> LoadFaceCascade(const std::string& fileName) {
  auto cascade = std::make_shared<cv::CascadeClassifier>();
  bool loaded = false;
  try {
    loaded = cascade->load(fileName);
  } catch (const cv::Exception&) {
    // A damaged file makes the XML parser throw; for the program it is just "not loaded".
    loaded = false;
  }
  if (!loaded || cascade->empty()) return nullptr;
  return cascade;
}

}  // namespace pupiltrak
