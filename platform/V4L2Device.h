#pragma once
// Video4Linux2 devices through the driver's own ioctls: which nodes capture video, and the
// controls and video formats a camera offers. Used to count cameras without opening a stream
// and by the two camera property pages.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pupiltrak {

namespace v4l2 {

// What VIDIOC_QUERYCAP tells about a node.
struct Capabilities {
  uint32_t capabilities = 0;  // the whole physical device
  uint32_t deviceCaps = 0;    // this node (valid when capabilities has V4L2_CAP_DEVICE_CAPS)
  std::string driver;
  std::string card;
};

// Whether a node with these bits captures video. A camera often has a second node for metadata
// only: the node's own bits decide when the driver reports them.
bool CapturesVideo(const Capabilities& caps);

// Asks the node at path for its capabilities; false when it is no V4L2 node.
bool QueryCapabilities(const std::string& path, Capabilities* caps);
using CapabilityQuery = std::function<bool(const std::string& path, Capabilities* caps)>;

struct DeviceInfo {
  std::string path;  // e.g. "/dev/video0"
  int number = 0;    // the N of videoN, the index the V4L2 capture backend opens
  std::string card;  // the camera's name
};

// The video-capture nodes among the "video<N>" entries of devDir, by ascending N.
std::vector<DeviceInfo> CaptureDevices(const std::string& devDir = "/dev",
                                       const CapabilityQuery& query = QueryCapabilities);

struct MenuItem {
  int64_t value = 0;
  std::string name;
};

struct Control {
  enum class Kind { Integer, Boolean, Menu, IntegerMenu, Button };
  uint32_t id = 0;
  Kind kind = Kind::Integer;
  std::string name;
  int32_t minimum = 0, maximum = 0, step = 1, defaultValue = 0;
  int32_t value = 0;
  bool inactive = false;  // e.g. the exposure time while automatic exposure is on
  bool readOnly = false;
  std::vector<MenuItem> menu;
};

// A frame interval of numerator / denominator seconds.
struct FrameInterval {
  uint32_t numerator = 1, denominator = 30;
  double FramesPerSecond() const;
};

struct FrameSize {
  int width = 0, height = 0;
  std::vector<FrameInterval> intervals;
};

struct PixelFormat {
  uint32_t fourcc = 0;
  std::string description;
  std::vector<FrameSize> sizes;
};

// "MJPG", "YUYV", ... for a V4L2 pixel format code.
std::string FourccText(uint32_t fourcc);

// An open node, closed by the destructor.
class Device {
 public:
  explicit Device(const std::string& path);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

  // The user controls and camera controls (exposure, focus, ...) the driver offers, with their
  // current values. Disabled controls and class headers are left out.
  std::vector<Control> Controls();
  bool GetControl(uint32_t id, int32_t* value);
  bool SetControl(uint32_t id, int32_t value);

  // The capture formats with their frame sizes and frame intervals.
  std::vector<PixelFormat> Formats();

 private:
  bool Query(uint32_t id, Control* control);
  std::vector<FrameSize> Sizes(uint32_t fourcc);
  std::vector<FrameInterval> Intervals(uint32_t fourcc, int width, int height);
  int Ioctl(unsigned long request, void* arg);

  std::string path_;
  int fd_ = -1;
};

}  // namespace v4l2

}  // namespace pupiltrak
