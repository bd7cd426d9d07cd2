#pragma once
// One camera frame and the dialog settings it is processed with, packed into a few bytes so a
// fuzzer can mutate them: size (1 x 1 up to 4000 x 3000), channels and depth as a camera or a
// file might deliver them, content (flat, raw bytes, a face photograph placed anywhere, also
// partly outside the frame), the four options, the four sliders (0 to 200) and whether a
// calibration run is collecting. The reliability tests build their frames from the same
// recipes, so every case they try can be replayed by the fuzzer and the other way round.

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace pupiltrak {

struct CameraFrame;
struct TrackerState;
class CalibrationSamples;
namespace gen {
struct FacePhoto;
}

namespace fuzzing {

enum class Content : uint8_t {
  Flat,          // every pixel `level`
  Bytes,         // the recipe's bytes, repeated over the whole image
  Face,          // a face photograph with painted eyes
  FaceAndBytes,  // the face with the bytes added as noise
};
inline constexpr int kContentKinds = 4;

struct FrameRecipe {
  int width = 640, height = 480;
  int channels = 3;  // 1, 3 or 4
  bool sixteenBit = false;
  Content content = Content::Face;
  int level = 0;  // Flat: the grey level
  int photo = 0;  // Face: which photograph (taken modulo the number loaded)
  // Face: eye distance as a fraction of the frame's height (0.03 to 0.40; the photograph is
  // enlarged at most six times, so large frames get smaller faces).
  double eyeDistance = 0.233;
  double midX = 0.5, midY = 0.415;  // Face: midpoint between the eyes, fractions of W and H
                                    // (-0.25 to 1.25: the face may hang over any border)
  bool eyeRegions = true, gaze = true, equalise1 = false, equalise2 = true;
  bool calibrating = false;
  int sliders[4] = {1, 1, 60, 30};  // Finder1Param1, Finder1Param2, Finder2Param1, Finder2Param2
  std::vector<uint8_t> bytes;       // content for Bytes and FaceAndBytes
};

// Size of the fixed header; any further bytes are the content bytes.
inline constexpr size_t kRecipeHeaderSize = 16;
// Largest frame a recipe can ask for.
inline constexpr int kMaxWidth = 4000, kMaxHeight = 3000;
// Frames above this size only come from recipes that ask for a large frame explicitly, so
// that most fuzzing time goes to sizes a camera really delivers.
inline constexpr int kUsualMaxWidth = 800, kUsualMaxHeight = 600;

// Any byte string is a valid recipe (missing header bytes count as zero).
FrameRecipe DecodeRecipe(const uint8_t* data, size_t size);
// The bytes that decode to recipe (fractions and levels are quantised as the decoder reads them).
std::vector<uint8_t> EncodeRecipe(const FrameRecipe& recipe);

// The frame as the source would deliver it: width x height, the recipe's channels and depth,
// top-down. Face content needs at least one photograph (otherwise the frame stays flat).
cv::Mat RenderRecipe(const FrameRecipe& recipe, const std::vector<gen::FacePhoto>& photos);

// The camera layer's hand-over of a source frame: converted to 8-bit B, G, R and stored
// bottom-up (origin 1). false when the conversion refuses the frame.
bool ToCameraFrame(const cv::Mat& sourceFrame, CameraFrame* frame);

// The recipe's options and sliders set as the dialog sets them. A calibrating recipe starts a
// run in samples when none is collecting (as the Calibrate command does, with
// the protocol left as it is) and sets CalibrationActive; otherwise CalibrationActive is
// cleared.
void ApplySettings(const FrameRecipe& recipe, TrackerState& state, CalibrationSamples& samples);

// The face photographs of tests/data/faces (those that load).
std::vector<gen::FacePhoto> LoadTestPhotos(const std::string& facesDir);

// The awkward frames every reliability run tries by name: the smallest and largest sizes, odd
// widths, one row or column, one, three and four channels and sixteen bits, black, white and
// noise, faces hanging over each border and corner, tiny and huge faces, and the sliders at
// 0 (the state after a failed cascade load) and at 200. They also seed the fuzzer.
struct NamedRecipe {
  std::string name;
  FrameRecipe recipe;
};
std::vector<NamedRecipe> EdgeCaseRecipes();

}  // namespace fuzzing

}  // namespace pupiltrak
