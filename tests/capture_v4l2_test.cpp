// Counting cameras by their V4L2 capture nodes. This machine has no camera: the node selection
// runs on fake device directories, once with an injected capability query and once with the
// real ioctl against nodes that are no V4L2 devices.
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/CameraLibrary.h"
#include "platform/V4L2Device.h"

using namespace pupiltrak;

namespace {

std::string FakeDevDir(const std::string& name, const std::vector<std::string>& entries) {
  std::string dir = ::testing::TempDir() + "/pupiltrak_dev_" + name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  for (const auto& e : entries) std::ofstream(dir + "/" + e) << "";
  return dir;
}

v4l2::Capabilities Node(uint32_t nodeBits, const std::string& card = "cam") {
  v4l2::Capabilities c;
  c.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_DEVICE_CAPS;
  c.deviceCaps = nodeBits;
  c.card = card;
  return c;
}

TEST(V4L2CapabilitiesTest, TheNodesOwnBitsDecideWhenTheDriverReportsThem) {
  EXPECT_TRUE(v4l2::CapturesVideo(Node(V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING)));
  // The metadata node of the same camera: the device can capture, this node cannot.
  EXPECT_FALSE(v4l2::CapturesVideo(Node(V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING)));

  // An old driver without per-node bits: the device's bits count.
  v4l2::Capabilities old;
  old.capabilities = V4L2_CAP_VIDEO_CAPTURE;
  old.deviceCaps = 0;
  EXPECT_TRUE(v4l2::CapturesVideo(old));
  old.capabilities = V4L2_CAP_VIDEO_OUTPUT;
  EXPECT_FALSE(v4l2::CapturesVideo(old));
}

TEST(V4L2EnumerationTest, ListsCaptureNodesByNumberAndSkipsEverythingElse) {
  std::string dir = FakeDevDir("mixed", {"video0", "video1", "video2", "video10", "video", "videoX",
                                         "vbi0", "media0", "video3a"});
  std::map<std::string, v4l2::Capabilities> nodes = {
      {"video0", Node(V4L2_CAP_META_CAPTURE)},  // metadata node
      {"video1", Node(V4L2_CAP_VIDEO_CAPTURE, "USB camera")},
      {"video2", Node(V4L2_CAP_VIDEO_CAPTURE, "Second camera")},
      {"video10", Node(V4L2_CAP_VIDEO_CAPTURE, "Tenth")},
  };
  std::vector<std::string> asked;
  auto query = [&](const std::string& path, v4l2::Capabilities* caps) {
    std::string name = std::filesystem::path(path).filename().string();
    asked.push_back(name);
    auto it = nodes.find(name);
    if (it == nodes.end()) return false;
    *caps = it->second;
    return true;
  };
  auto devices = v4l2::CaptureDevices(dir, query);
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].number, 1);
  EXPECT_EQ(devices[0].path, dir + "/video1");
  EXPECT_EQ(devices[0].card, "USB camera");
  EXPECT_EQ(devices[1].number, 2);
  EXPECT_EQ(devices[2].number, 10) << "numeric order, not name order";
  EXPECT_EQ(asked, (std::vector<std::string>{"video0", "video1", "video2", "video10"}))
      << "only video<N> nodes are asked";
}

TEST(V4L2EnumerationTest, NodesThatAreNoV4L2DevicesCountAsNoCamera) {
  // The real ioctl: a regular file and /dev/null refuse VIDIOC_QUERYCAP.
  std::string dir = FakeDevDir("fake", {"video0"});
  std::filesystem::create_symlink("/dev/null", dir + "/video1");
  EXPECT_TRUE(v4l2::CaptureDevices(dir).empty());
  EXPECT_TRUE(v4l2::CaptureDevices(dir + "/missing").empty());
  v4l2::Capabilities caps;
  EXPECT_FALSE(v4l2::QueryCapabilities(dir + "/video1", &caps));

  // The camera layer's default counter looks in the same place.
  CameraLibrary camera;
  camera.SetDeviceDirectory(dir);
  EXPECT_EQ(camera.CameraCount(), 0);
}

TEST(V4L2DeviceTest, ANodeWithoutControlsOrFormatsOffersNone) {
  v4l2::Device null("/dev/null");
  EXPECT_TRUE(null.IsOpen());
  EXPECT_TRUE(null.Controls().empty());
  EXPECT_TRUE(null.Formats().empty());
  int32_t value = 7;
  EXPECT_FALSE(null.GetControl(V4L2_CID_BRIGHTNESS, &value));
  EXPECT_EQ(value, 7);
  EXPECT_FALSE(null.SetControl(V4L2_CID_BRIGHTNESS, 3));

  v4l2::Device missing(::testing::TempDir() + "/pupiltrak-no-such-node");
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_TRUE(missing.Controls().empty());
}

TEST(V4L2FormatTest, NamesPixelFormatsAndRates) {
  EXPECT_EQ(v4l2::FourccText(V4L2_PIX_FMT_MJPEG), "MJPG");
  EXPECT_EQ(v4l2::FourccText(V4L2_PIX_FMT_YUYV), "YUYV");
  EXPECT_EQ(v4l2::FourccText(V4L2_PIX_FMT_GREY), "GREY");
  EXPECT_DOUBLE_EQ((v4l2::FrameInterval{1, 30}.FramesPerSecond()), 30.0);
  EXPECT_DOUBLE_EQ((v4l2::FrameInterval{1001, 30000}.FramesPerSecond()), 30000.0 / 1001.0);
  EXPECT_DOUBLE_EQ((v4l2::FrameInterval{0, 30}.FramesPerSecond()), 0.0);
}

}  // namespace
