#include "tracking/FaceCascade.h"

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include "platform/Machine.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

std::string FindFaceCascade(const std::string& programDirectory) {
  const std::string name = kCascadeFileName;
  // The current directory first, so whoever keeps a cascade of their own there still gets it.
  if (PathExists(name)) return name;
  for (const std::string& dir :
       {WithTrailingSlash(programDirectory), Machine().SystemCascadeDirectory()}) {
    if (!dir.empty() && PathExists(dir + name)) return dir + name;
  }
  return name;
}

std::shared_ptr<cv::CascadeClassifier> LoadFaceCascade(const std::string& fileName) {
  auto cascade = std::make_shared<cv::CascadeClassifier>();
  bool loaded = false;
  try {
    loaded = !fileName.empty() && cascade->load(fileName);
  } catch (const cv::Exception&) {
    // A damaged file makes the XML parser throw; for the program it is just "not loaded".
    loaded = false;
  }
  if (!loaded || cascade->empty()) return nullptr;
  return cascade;
}

FoundCascade FindAndLoadFaceCascade(const std::string& programDirectory) {
  FoundCascade found;
  found.path = FindFaceCascade(programDirectory);
  found.cascade = LoadFaceCascade(found.path);
  return found;
}

}  // namespace pupiltrak
