// The capture file's writer: which codecs are offered, asking the user, and a written AVI that
// reads back frame for frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <opencv2/videoio.hpp>

#include "capture_fakes.h"
#include "platform/Prompts.h"
#include "platform/VideoCodecs.h"

using namespace pupiltrak;

namespace {

std::string FreshDir(const std::string& name) {
  std::string dir = ::testing::TempDir() + "/pupiltrak_codecs_" + name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

bool Offers(const std::vector<VideoCodec>& list, int fourcc) {
  return std::any_of(list.begin(), list.end(),
                     [fourcc](const VideoCodec& c) { return c.fourcc == fourcc; });
}

class VideoWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { SetUserPrompts(&prompts); }
  void TearDown() override { SetUserPrompts(nullptr); }
  ScriptedPrompts prompts;
};

TEST(VideoCodecsTest, OffersOnlyCodecsThatReallyWriteHere) {
  std::string dir = FreshDir("probe");
  const int mjpg = cv::VideoWriter::fourcc('M', 'J', 'P', 'G');
  const int bogus = cv::VideoWriter::fourcc('Z', 'Q', 'Z', 'Q');
  auto working = ProbeCodecs({{mjpg, "Motion JPEG"}, {bogus, "Nothing"}, {0, "Full frames"}}, dir);
  EXPECT_TRUE(Offers(working, mjpg)) << "OpenCV always writes Motion JPEG";
  EXPECT_TRUE(Offers(working, 0)) << "uncompressed frames";
  EXPECT_FALSE(Offers(working, bogus));
  EXPECT_TRUE(std::filesystem::is_empty(dir)) << "probe files are removed";

  auto available = AvailableCodecs();
  EXPECT_TRUE(Offers(available, mjpg));
  for (const auto& c : available) EXPECT_TRUE(Offers(CandidateCodecs(), c.fourcc));
}

TEST_F(VideoWriterTest, AskingTheUserAndCancellingGivesNoWriter) {
  std::string file = FreshDir("cancel") + "/out.avi";
  auto writer = OpenVideoWriter(file, kAskForCodec, 30.0, cv::Size(320, 240), true);
  EXPECT_EQ(writer, nullptr);
  EXPECT_EQ(prompts.CodecChooserCalls(), 1);
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(VideoWriterTest, AWriterThatCannotOpenIsNull) {
  prompts.QueueCodec(VideoCodec{cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), "MJPG"});
  auto writer = OpenVideoWriter(FreshDir("bad") + "/no/such/dir/out.avi", kAskForCodec, 30.0,
                                cv::Size(320, 240), true);
  EXPECT_EQ(writer, nullptr);
}

TEST_F(VideoWriterTest, TheChosenCodecWritesAFileThatReadsBack) {
  for (int fourcc : {cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 0}) {
    SCOPED_TRACE(fourcc);
    prompts.QueueCodec(VideoCodec{fourcc, "chosen"});
    std::string file = FreshDir("write" + std::to_string(fourcc)) + "/out.avi";
    auto writer = OpenVideoWriter(file, kAskForCodec, 30.0, cv::Size(320, 240), true);
    ASSERT_NE(writer, nullptr);
    for (int i = 0; i < 12; ++i) writer->write(MarkedPictureSized(i, 320, 240));
    writer.reset();

    cv::VideoCapture reader(file);
    ASSERT_TRUE(reader.isOpened());
    EXPECT_NEAR(reader.get(cv::CAP_PROP_FPS), 30.0, 1e-6);
    int frames = 0;
    cv::Mat f;
    while (reader.read(f)) {
      EXPECT_EQ(f.size(), cv::Size(320, 240));
      ++frames;
    }
    EXPECT_EQ(frames, 12);
  }
}

}  // namespace
