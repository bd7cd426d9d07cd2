// Real webcam video: a person at an ordinary distance, face a third of the picture's height,
// lamp light, no glint to speak of, 2-3 pixel pupils in 10 pixel irises. Eye centres annotated
// by a 68-point landmark model (tests/data/webcam/README.md).

#include <gtest/gtest.h>

#include <fstream>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <sstream>

#include "PupilScore.h"
#include "tracking_support.h"

using namespace pupiltrak;

namespace {

const std::string kData = std::string(PUPILTRAK_TEST_DATA) + "/webcam";

std::map<long, EyeCentres> Annotations(const std::string& name) {
  std::ifstream in(kData + "/" + name);
  std::map<long, EyeCentres> eyes;
  std::string error;
  EXPECT_TRUE(ReadEyeCentres(in, &eyes, &error)) << error;
  return eyes;
}

// The clip's frames of those numbers.
std::map<long, cv::Mat> Frames(const std::vector<long>& wanted) {
  std::map<long, cv::Mat> frames;
  cv::VideoCapture clip(kData + "/webcam_clip.mp4");
  cv::Mat frame;
  for (long k = 0; clip.read(frame); ++k)
    if (std::find(wanted.begin(), wanted.end(), k) != wanted.end()) frames[k] = frame.clone();
  EXPECT_EQ(frames.size(), wanted.size());
  return frames;
}

// Frames in which precise pupils used to land on a lid's crease, a brow or the corner of the
// eye (1075, 1175, 1330: upper lids low over the irises; 645: half-closed lids): each eye's
// pupil, taken from a first look at the frame, lies on its iris, or is not found at all.
TEST(WebcamEyesTest, RobustPupilsStayOnTheIrisPastCreasesAndLids) {
  const std::vector<long> kFrames = {230, 235, 245, 295, 395, 595, 625, 645, 805, 1075, 1175, 1330};
  const auto eyes = Annotations("webcam_clip_eyes_every5.csv");
  int both = 0;
  for (const auto& [k, frame] : Frames(kFrames)) {
    tracking_test::Pipeline p;
    p.BothOptions();
    p.state.RobustTracking = 1;
    p.Run(frame);
    ASSERT_TRUE(p.results.faceFound) << "frame " << k;
    const EyeCentres& e = eyes.at(k);
    const cv::Point2d centre[2] = {{e.leftX, e.leftY}, {e.rightX, e.rightY}};
    for (int i = 0; i < 2; ++i) {
      if (!p.results.pupilFound[i]) continue;
      const cv::Point2d pupil(p.results.pupilPos[i].x, p.results.pupilPos[i].y);
      EXPECT_LE(cv::norm(pupil - centre[i]) / e.iod, 0.10) << "frame " << k << ", eye " << i;
    }
    both += p.results.pupilFound[0] && p.results.pupilFound[1];
  }
  EXPECT_GE(both, static_cast<int>(kFrames.size()) - 1) << "a pupil left out is no answer either";
}

// Open eyes keep their pupils, and closed ones lose them at least as often as without robust
// tracking: a generated user who blinks for three frames every ten, the head swaying.
TEST(WebcamEyesTest, RobustTrackingKeepsOpenEyesAndSeesBlinksAsOftenAsBefore) {
  const gen::FaceFrameGenerator generator(tracking_test::LoadPhoto("jesper_2.jpg"),
                                          gen::DefaultScene(cv::Size(640, 480)));
  tracking_test::Pipeline modes[2];
  int blinks = 0, open = 0, seen[2] = {0, 0}, kept[2] = {0, 0};
  for (int m = 0; m < 2; ++m) {
    modes[m].BothOptions();
    modes[m].state.RobustTracking = m;
  }
  for (int k = 0; k < 90; ++k) {
    gen::FrameSpec shot;
    shot.blink = k % 10 >= 7;
    shot.headShift = cv::Point2f(float(6 * std::sin(k / 7.0)), float(3 * std::cos(k / 9.0)));
    shot.noiseSigma = 2;
    shot.noiseSeed = static_cast<uint64_t>(k + 1);
    const cv::Mat frame = generator.Render(shot);
    (shot.blink ? blinks : open)++;
    for (int m = 0; m < 2; ++m) {
      tracking_test::Pipeline& p = modes[m];
      p.Run(frame);
      ASSERT_TRUE(p.results.faceFound) << k;
      if (shot.blink)
        seen[m] += !p.results.pupilFound[0] && !p.results.pupilFound[1];
      else
        kept[m] += p.results.pupilFound[0] && p.results.pupilFound[1];
    }
  }
  EXPECT_GE(kept[1], open * 95 / 100) << "of " << open << " open frames";
  EXPECT_GE(seen[1], seen[0]) << "of " << blinks << " blink frames";
}

// The whole clip through the replay with --robust, scored as the command does. The floors lie a
// little under what it reaches (the figures in docs/QUALITY.md); a real fault drops far
// below them.
TEST(WebcamClipTest, RobustReplayFindsTheFaceAndPupilsOnTheIrises) {
  const std::string dir = ::testing::TempDir() + "webcam_clip_robust";
  const std::string program =
      std::string(PUPILTRAK_BINARY_DIR) + "/tools/replay/pupiltrak08-replay";
  const std::string command = "rm -rf '" + dir + "' && '" + program + "' '" + kData +
                              "/webcam_clip.mp4' --robust --both -q --output-dir '" + dir +
                              "' 2> /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const char* annotations : {"webcam_clip_eyes.csv", "webcam_clip_eyes_every5.csv"}) {
    std::ifstream frames(dir + "/frames.csv");
    PupilScore s;
    std::string error;
    ASSERT_TRUE(ScorePupils(frames, Annotations(annotations), &s, &error)) << error;
    EXPECT_EQ(s.frames, 1337);
    EXPECT_GE(s.faceFoundPercent, 97.0) << annotations;
    EXPECT_GE(s.within010, 92.0) << annotations;
    EXPECT_GE(s.within025, 95.0) << annotations;
    EXPECT_LE(s.medianError, 0.055) << annotations;
  }
}

}  // namespace
