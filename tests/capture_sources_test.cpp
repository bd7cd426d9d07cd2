// Frame sources: conversion to 8-bit B, G, R, video files, image sequences, generated frames.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <set>
#include <stdexcept>
#include <thread>

#include "capture_fakes.h"
#include "platform/FrameSource.h"
#include "platform/PrepareAheadSource.h"

using namespace pupiltrak;

namespace {

std::string FreshDir(const std::string& name) {
  std::string dir = ::testing::TempDir() + "/pupiltrak_sources_" + name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::vector<cv::Mat> ReadAll(FrameSource& source) {
  std::vector<cv::Mat> frames;
  cv::Mat f;
  while (source.Read(f)) frames.push_back(f.clone());
  return frames;
}

TEST(ToBgr8Test, ConvertsEveryUsualLayoutToEightBitBgr) {
  cv::Mat out;
  cv::Mat grey(4, 5, CV_8UC1, cv::Scalar(77));
  ASSERT_TRUE(ToBgr8(grey, out));
  EXPECT_EQ(out.type(), CV_8UC3);
  EXPECT_EQ(out.at<cv::Vec3b>(2, 3), cv::Vec3b(77, 77, 77));

  cv::Mat bgra(4, 5, CV_8UC4, cv::Scalar(1, 2, 3, 4));
  ASSERT_TRUE(ToBgr8(bgra, out));
  EXPECT_EQ(out.at<cv::Vec3b>(0, 0), cv::Vec3b(1, 2, 3));

  cv::Mat deep(4, 5, CV_16UC3, cv::Scalar(65535, 256 * 100, 0));
  ASSERT_TRUE(ToBgr8(deep, out));
  EXPECT_EQ(out.at<cv::Vec3b>(1, 1), cv::Vec3b(255, 100, 0));

  cv::Mat unit(4, 5, CV_32FC1, cv::Scalar(0.5));
  ASSERT_TRUE(ToBgr8(unit, out));
  EXPECT_EQ(out.type(), CV_8UC3);
  EXPECT_NEAR(out.at<cv::Vec3b>(0, 0)[1], 128, 1);
}

TEST(ToBgr8Test, RefusesWhatIsNoPictureAndNeverSharesPixels) {
  cv::Mat out(2, 2, CV_8UC3);
  EXPECT_FALSE(ToBgr8(cv::Mat(), out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(ToBgr8(cv::Mat(3, 3, CV_8UC2), out));

  cv::Mat bgr = MarkedPicture(3);
  ASSERT_TRUE(ToBgr8(bgr, out));
  EXPECT_NE(out.data, bgr.data) << "drawing into the result must not touch the source";
  EXPECT_EQ(cv::norm(out, bgr, cv::NORM_INF), 0);
}

TEST(GeneratedSourceTest, EndsAtItsCountOrAtAnEmptyImageAndRestartsOnOpen) {
  GeneratedSource counted([](int64_t i) { return MarkedPicture(i); }, 0, 4);
  ASSERT_TRUE(counted.Open());
  EXPECT_EQ(ReadAll(counted).size(), 4u);
  EXPECT_EQ(counted.FramesRead(), 4);
  ASSERT_TRUE(counted.Open());
  cv::Mat f;
  ASSERT_TRUE(counted.Read(f));
  EXPECT_EQ(f.at<cv::Vec3b>(1, 0)[0], 0) << "reopening starts at index 0 again";

  GeneratedSource ending([](int64_t i) { return i < 2 ? MarkedPicture(i) : cv::Mat(); });
  ASSERT_TRUE(ending.Open());
  EXPECT_EQ(ReadAll(ending).size(), 2u);

  EXPECT_FALSE(GeneratedSource(nullptr).Open());
  EXPECT_DOUBLE_EQ(GeneratedSource(MarkedPicture, 25).FrameInterval(), 0.04);
  EXPECT_DOUBLE_EQ(GeneratedSource(MarkedPicture).FrameInterval(), 0.0);
}

TEST(VideoFileSourceTest, ReadsEveryFrameAndAsksToBePacedAtTheFileRate) {
  std::string dir = FreshDir("video");
  std::string file = dir + "/clip.avi";
  {
    cv::VideoWriter writer(file, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                           cv::Size(64, 48), true);
    ASSERT_TRUE(writer.isOpened());
    for (int i = 0; i < 7; ++i) writer.write(MarkedPicture(i));
  }
  VideoFileSource paced(file);
  ASSERT_TRUE(paced.Open());
  EXPECT_NEAR(paced.FramesPerSecond(), 25.0, 1e-6);
  EXPECT_NEAR(paced.FrameInterval(), 0.04, 1e-9);
  auto frames = ReadAll(paced);
  ASSERT_EQ(frames.size(), 7u);
  EXPECT_EQ(frames[0].size(), cv::Size(64, 48));
  cv::Vec3b top = frames[0].at<cv::Vec3b>(0, 10), bottom = frames[0].at<cv::Vec3b>(47, 10);
  EXPECT_GT(top[2], top[0] + 50) << "top row red: read top-down";
  EXPECT_GT(bottom[0], bottom[2] + 50);

  VideoFileSource fast(file, Pacing::AsFastAsPossible);
  ASSERT_TRUE(fast.Open());
  EXPECT_EQ(fast.FrameInterval(), 0.0);
  EXPECT_EQ(ReadAll(fast).size(), 7u);
  ASSERT_TRUE(fast.Open());
  EXPECT_EQ(ReadAll(fast).size(), 7u) << "a reopened file plays from its beginning";

  VideoFileSource missing(dir + "/missing.avi");
  EXPECT_FALSE(missing.Open());
  cv::Mat f;
  EXPECT_FALSE(missing.Read(f));
}

TEST(ImageSequenceSourceTest, ReadsTheImagesOfAFolderInNameOrder) {
  std::string dir = FreshDir("folder");
  cv::imwrite(dir + "/b.png", MarkedPicture(2));
  cv::imwrite(dir + "/a.png", MarkedPicture(1));
  cv::Mat grey;
  cv::cvtColor(MarkedPicture(3), grey, cv::COLOR_BGR2GRAY);
  cv::imwrite(dir + "/c.pgm", grey);
  std::ofstream(dir + "/notes.txt") << "not an image";

  ImageSequenceSource source(dir, 10);
  ASSERT_TRUE(source.Open());
  EXPECT_DOUBLE_EQ(source.FrameInterval(), 0.1);
  ASSERT_EQ(source.Files().size(), 3u);
  auto frames = ReadAll(source);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].at<cv::Vec3b>(1, 0)[0], 1);
  EXPECT_EQ(frames[1].at<cv::Vec3b>(1, 0)[0], 2);
  EXPECT_EQ(frames[2].channels(), 1) << "the layer converts, not the source";

  EXPECT_FALSE(ImageSequenceSource(FreshDir("empty")).Open());
  EXPECT_FALSE(ImageSequenceSource(dir + "/missing").Open());
}

TEST(ImageSequenceSourceTest, FollowsAPatternAcrossAGapUpToALongRunOfMissingNumbers) {
  std::string dir = FreshDir("pattern");
  for (int i = 1; i <= 4; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/img%03d.png", i);
    cv::imwrite(dir + name, MarkedPicture(10 + i));
  }
  cv::imwrite(dir + "/img006.png", MarkedPicture(16));  // after a gap of one: read
  cv::imwrite(dir + "/img200.png", MarkedPicture(20));  // after a long run missing: the end

  ImageSequenceSource source(dir + "/img%03d.png", 0, 1);
  std::vector<std::string> skipped;
  source.OnSkipped(
      [&skipped](const std::string& file, const std::string&) { skipped.push_back(file); });
  ASSERT_TRUE(source.Open());
  auto frames = ReadAll(source);
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[4].at<cv::Vec3b>(1, 0)[0], 16);
  EXPECT_EQ(skipped, std::vector<std::string>{dir + "/img005.png"});

  ImageSequenceSource fromZero(dir + "/img%03d.png", 0, 0);
  ASSERT_TRUE(fromZero.Open()) << "starts at the first number found";
  EXPECT_EQ(ReadAll(fromZero).size(), 5u);
  EXPECT_EQ(fromZero.Skipped(), 1) << "the numbers before the first are no gap";
  EXPECT_FALSE(ImageSequenceSource(dir + "/none%03d.png").Open());
}

TEST(ImageSequenceSourceTest, AnUnreadableImageIsSkippedAndNamed) {
  std::string dir = FreshDir("broken");
  cv::imwrite(dir + "/a.png", MarkedPicture(1));
  std::ofstream(dir + "/b.png") << "garbage";
  cv::imwrite(dir + "/c.png", MarkedPicture(3));
  ImageSequenceSource source(dir);
  std::vector<std::string> skipped;
  source.OnSkipped(
      [&skipped](const std::string& file, const std::string&) { skipped.push_back(file); });
  ASSERT_TRUE(source.Open());
  EXPECT_EQ(ReadAll(source).size(), 2u);
  EXPECT_EQ(skipped, std::vector<std::string>{dir + "/b.png"});
  EXPECT_EQ(source.Skipped(), 1);
}

// A frame whose pixels all carry its index (mod 256).
cv::Mat NumberedFrame(int64_t i) {
  return cv::Mat(6, 8, CV_8UC3, cv::Scalar::all(double(i % 256)));
}

TEST(PrepareAheadSourceTest, EveryFrameIsPreparedOnceInOrderBeforeItIsHandedOut) {
  std::mutex mutex;
  std::vector<int64_t> prepared;   // indices, in the order prepared
  std::vector<int> preparedValue;  // the frame's pixel value seen by the preparation
  std::thread::id preparer;
  auto prepare = [&](const cv::Mat& frame, int64_t index) {
    std::this_thread::sleep_for(std::chrono::microseconds(index % 3 == 0 ? 300 : 0));
    std::lock_guard<std::mutex> lock(mutex);
    prepared.push_back(index);
    preparedValue.push_back(frame.at<cv::Vec3b>(0, 0)[0]);
    preparer = std::this_thread::get_id();
  };
  PrepareAheadSource ahead(std::make_unique<GeneratedSource>(NumberedFrame, 0, 300), 3, prepare);
  for (int run = 0; run < 2; ++run) {  // a second Open starts again from frame 0
    ASSERT_TRUE(ahead.Open());
    cv::Mat f;
    for (int i = 0; i < 300; ++i) {
      ASSERT_TRUE(ahead.Read(f)) << i;
      ASSERT_EQ(f.at<cv::Vec3b>(0, 0)[0], i % 256);
      std::lock_guard<std::mutex> lock(mutex);
      ASSERT_GT(prepared.size(), static_cast<size_t>(i))
          << "frame " << i << " handed out unprepared";
      EXPECT_EQ(prepared[static_cast<size_t>(i)], i);
      EXPECT_EQ(preparedValue[static_cast<size_t>(i)], i % 256);
    }
    EXPECT_FALSE(ahead.Read(f));
    EXPECT_EQ(prepared.size(), 300u) << "each frame once";
    EXPECT_NE(preparer, std::this_thread::get_id()) << "prepared on a thread of its own";
    ahead.Close();
    prepared.clear();
    preparedValue.clear();
  }
}

TEST(PrepareAheadSourceTest, NeverOverwritesAFrameTheCallerStillHolds) {
  // A video file decodes into the buffer it is given: buffers are recycled, but only those
  // nobody else refers to.
  const std::string dir = FreshDir("prepareahead");
  const std::string path = dir + "/clip.avi";
  {
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30, cv::Size(64, 48));
    ASSERT_TRUE(writer.isOpened());
    for (int i = 0; i < 40; ++i) writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(i * 6)));
  }
  VideoFileSource direct(path, Pacing::AsFastAsPossible);
  ASSERT_TRUE(direct.Open());
  std::vector<cv::Mat> expected = ReadAll(direct);
  ASSERT_EQ(expected.size(), 40u);

  PrepareAheadSource ahead(std::make_unique<VideoFileSource>(path, Pacing::AsFastAsPossible), 2,
                           nullptr);
  ASSERT_TRUE(ahead.Open());
  std::vector<cv::Mat> kept;  // every third frame kept without a copy
  cv::Mat f;
  std::set<const uchar*> buffers;
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(ahead.Read(f)) << i;
    ASSERT_EQ(cv::norm(f, expected[i], cv::NORM_INF), 0) << "frame " << i;
    buffers.insert(f.data);
    if (i % 3 == 0) kept.push_back(f);
  }
  EXPECT_FALSE(ahead.Read(f));
  for (size_t k = 0; k < kept.size(); ++k)
    EXPECT_EQ(cv::norm(kept[k], expected[3 * k], cv::NORM_INF), 0) << "kept frame " << 3 * k;
  EXPECT_LT(buffers.size(), expected.size()) << "buffers nobody holds are reused";
}

TEST(PrepareAheadSourceTest, AReadErrorComesAfterTheFramesBeforeItAndCloseNeverHangs) {
  auto throwing = std::make_unique<GeneratedSource>([](int64_t i) -> cv::Mat {
    if (i == 5) throw std::runtime_error("device gone");
    return NumberedFrame(i);
  });
  int preparedCount = 0;
  PrepareAheadSource ahead(std::move(throwing), 4, [&](const cv::Mat&, int64_t index) {
    ++preparedCount;
    if (index == 2) throw std::runtime_error("preparation failed");
  });
  ASSERT_TRUE(ahead.Open());
  cv::Mat f;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(ahead.Read(f)) << "a failed preparation still hands the frame out: " << i;
    EXPECT_EQ(f.at<cv::Vec3b>(0, 0)[0], i);
  }
  EXPECT_THROW(ahead.Read(f), std::runtime_error);
  EXPECT_FALSE(ahead.Read(f));
  EXPECT_EQ(preparedCount, 5);

  // Slow preparations in flight: Close waits for the one running and drops the rest.
  for (int round = 0; round < 20; ++round) {
    PrepareAheadSource slow(
        std::make_unique<GeneratedSource>(NumberedFrame), 3,
        [](const cv::Mat&, int64_t) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
    ASSERT_TRUE(slow.Open());
    if (round % 2) {
      ASSERT_TRUE(slow.Read(f));
    }
  }
}

}  // namespace
