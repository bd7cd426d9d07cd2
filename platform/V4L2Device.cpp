#include "platform/V4L2Device.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pupiltrak {

namespace v4l2 {

namespace {

template <size_t N>
std::string Text(const uint8_t (&bytes)[N]) {
  return std::string(reinterpret_cast<const char*>(bytes),
                     strnlen(reinterpret_cast<const char*>(bytes), N));
}

int RetryIoctl(int fd, unsigned long request, void* arg) {
  int r;
  do {
    r = ioctl(fd, request, arg);
  } while (r < 0 && errno == EINTR);
  return r;
}

// "video12" -> 12; -1 for anything else ("video", "video0a", "vbi0").
int VideoNodeNumber(const char* name) {
  if (std::strncmp(name, "video", 5) != 0) return -1;
  const char* digits = name + 5;
  if (*digits == '\0' || std::strlen(digits) > 6) return -1;
  int n = 0;
  for (const char* p = digits; *p; ++p) {
    if (*p < '0' || *p > '9') return -1;
    n = n * 10 + (*p - '0');
  }
  return n;
}

// Sizes offered for a stepwise or continuous frame-size range: the usual ones that fit it.
std::vector<std::pair<int, int>> CommonSizesWithin(const v4l2_frmsize_stepwise& s) {
  static const std::pair<int, int> common[] = {{160, 120},  {320, 240},  {352, 288},
                                               {640, 480},  {800, 600},  {1024, 768},
                                               {1280, 720}, {1280, 960}, {1920, 1080}};
  std::vector<std::pair<int, int>> out;
  for (auto [w, h] : common) {
    auto fits = [](int v, uint32_t lo, uint32_t hi, uint32_t step) {
      return v >= static_cast<int>(lo) && v <= static_cast<int>(hi) &&
             (step <= 1 || (static_cast<uint32_t>(v) - lo) % step == 0);
    };
    if (fits(w, s.min_width, s.max_width, s.step_width) &&
        fits(h, s.min_height, s.max_height, s.step_height))
      out.emplace_back(w, h);
  }
  if (out.empty()) out.emplace_back(s.max_width, s.max_height);
  return out;
}

}  // namespace

bool CapturesVideo(const Capabilities& caps) {
  uint32_t bits =
      (caps.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? caps.deviceCaps : caps.capabilities;
  return (bits & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

bool QueryCapabilities(const std::string& path, Capabilities* caps) {
  // Non-blocking: a busy camera must still answer, and nothing here waits for frames.
  int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  v4l2_capability cap{};
  bool ok = RetryIoctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
  close(fd);
  if (!ok) return false;
  caps->capabilities = cap.capabilities;
  caps->deviceCaps = cap.device_caps;
  caps->driver = Text(cap.driver);
  caps->card = Text(cap.card);
  return true;
}

std::vector<DeviceInfo> CaptureDevices(const std::string& devDir, const CapabilityQuery& query) {
  std::vector<DeviceInfo> nodes;
  DIR* dir = opendir(devDir.c_str());
  if (!dir) return nodes;
  while (dirent* entry = readdir(dir)) {
    int n = VideoNodeNumber(entry->d_name);
    if (n >= 0) nodes.push_back(DeviceInfo{devDir + "/" + entry->d_name, n, {}});
  }
  closedir(dir);
  std::sort(nodes.begin(), nodes.end(),
            [](const DeviceInfo& a, const DeviceInfo& b) { return a.number < b.number; });

  std::vector<DeviceInfo> capture;
  for (auto& node : nodes) {
    Capabilities caps;
    if (query && query(node.path, &caps) && CapturesVideo(caps)) {
      node.card = caps.card;
      capture.push_back(node);
    }
  }
  return capture;
}

double FrameInterval::FramesPerSecond() const {
  return numerator == 0 ? 0.0 : static_cast<double>(denominator) / numerator;
}

std::string FourccText(uint32_t fourcc) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>((fourcc >> (8 * i)) & 0xff);
    s += (c >= 32 && c < 127) ? c : '?';
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

Device::Device(const std::string& path) : path_(path) {
  fd_ = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

Device::~Device() {
  if (fd_ >= 0) close(fd_);
}

int Device::Ioctl(unsigned long request, void* arg) {
  if (fd_ < 0) return -1;
  return RetryIoctl(fd_, request, arg);
}

bool Device::Query(uint32_t id, Control* control) {
  v4l2_queryctrl q{};
  q.id = id;
  if (Ioctl(VIDIOC_QUERYCTRL, &q) != 0) return false;
  control->id = q.id;
  control->name = Text(q.name);
  control->minimum = q.minimum;
  control->maximum = q.maximum;
  control->step = q.step > 0 ? q.step : 1;
  control->defaultValue = q.default_value;
  control->inactive = (q.flags & V4L2_CTRL_FLAG_INACTIVE) != 0;
  control->readOnly = (q.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED)) != 0;
  control->menu.clear();
  switch (q.type) {
    case V4L2_CTRL_TYPE_INTEGER:
      control->kind = Control::Kind::Integer;
      break;
    case V4L2_CTRL_TYPE_BOOLEAN:
      control->kind = Control::Kind::Boolean;
      break;
    case V4L2_CTRL_TYPE_BUTTON:
      control->kind = Control::Kind::Button;
      break;
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
      control->kind =
          q.type == V4L2_CTRL_TYPE_MENU ? Control::Kind::Menu : Control::Kind::IntegerMenu;
      for (int32_t i = q.minimum; i <= q.maximum; ++i) {
        v4l2_querymenu m{};
        m.id = q.id;
        m.index = static_cast<uint32_t>(i);
        if (Ioctl(VIDIOC_QUERYMENU, &m) != 0) continue;  // gaps in a menu are allowed
        MenuItem item;
        item.value = i;
        item.name = q.type == V4L2_CTRL_TYPE_MENU ? Text(m.name) : std::to_string(m.value);
        control->menu.push_back(item);
      }
      break;
    default:
      return false;  // 64-bit, string and compound controls are not shown
  }
  if ((q.flags & V4L2_CTRL_FLAG_DISABLED) != 0) return false;
  if (control->kind != Control::Kind::Button && !GetControl(q.id, &control->value))
    control->value = q.default_value;
  return true;
}

std::vector<Control> Device::Controls() {
  std::vector<Control> controls;
  if (fd_ < 0) return controls;
  // Walk every control the driver has; older drivers without NEXT_CTRL are asked id by id.
  v4l2_queryctrl probe{};
  probe.id = V4L2_CTRL_FLAG_NEXT_CTRL;
  if (Ioctl(VIDIOC_QUERYCTRL, &probe) == 0) {
    uint32_t id = probe.id;
    for (int guard = 0; guard < 1024; ++guard) {
      uint32_t cls = V4L2_CTRL_ID2CLASS(id);
      if (probe.type != V4L2_CTRL_TYPE_CTRL_CLASS &&
          (cls == V4L2_CTRL_CLASS_USER || cls == V4L2_CTRL_CLASS_CAMERA)) {
        Control c;
        if (Query(id, &c)) controls.push_back(c);
      }
      probe = v4l2_queryctrl{};
      probe.id = id | V4L2_CTRL_FLAG_NEXT_CTRL;
      if (Ioctl(VIDIOC_QUERYCTRL, &probe) != 0) break;
      id = probe.id;
    }
    return controls;
  }
  for (uint32_t id = V4L2_CID_BASE; id < V4L2_CID_LASTP1; ++id) {
    Control c;
    if (Query(id, &c)) controls.push_back(c);
  }
  for (uint32_t id = V4L2_CID_CAMERA_CLASS_BASE; id < V4L2_CID_CAMERA_CLASS_BASE + 64; ++id) {
    Control c;
    if (Query(id, &c)) controls.push_back(c);
  }
  return controls;
}

bool Device::GetControl(uint32_t id, int32_t* value) {
  v4l2_control c{};
  c.id = id;
  if (Ioctl(VIDIOC_G_CTRL, &c) != 0) return false;
  *value = c.value;
  return true;
}

bool Device::SetControl(uint32_t id, int32_t value) {
  v4l2_control c{};
  c.id = id;
  c.value = value;
  return Ioctl(VIDIOC_S_CTRL, &c) == 0;
}

std::vector<FrameInterval> Device::Intervals(uint32_t fourcc, int width, int height) {
  std::vector<FrameInterval> out;
  v4l2_frmivalenum e{};
  e.pixel_format = fourcc;
  e.width = static_cast<uint32_t>(width);
  e.height = static_cast<uint32_t>(height);
  for (e.index = 0; Ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &e) == 0; ++e.index) {
    if (e.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
      out.push_back({e.discrete.numerator, e.discrete.denominator});
    } else {
      // A range: offer its fastest and slowest ends.
      out.push_back({e.stepwise.min.numerator, e.stepwise.min.denominator});
      out.push_back({e.stepwise.max.numerator, e.stepwise.max.denominator});
      break;
    }
  }
  return out;
}

std::vector<FrameSize> Device::Sizes(uint32_t fourcc) {
  std::vector<FrameSize> out;
  v4l2_frmsizeenum e{};
  e.pixel_format = fourcc;
  for (e.index = 0; Ioctl(VIDIOC_ENUM_FRAMESIZES, &e) == 0; ++e.index) {
    if (e.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
      int w = static_cast<int>(e.discrete.width), h = static_cast<int>(e.discrete.height);
      out.push_back({w, h, Intervals(fourcc, w, h)});
    } else {
      for (auto [w, h] : CommonSizesWithin(e.stepwise))
        out.push_back({w, h, Intervals(fourcc, w, h)});
      break;
    }
  }
  return out;
}

std::vector<PixelFormat> Device::Formats() {
  std::vector<PixelFormat> out;
  v4l2_fmtdesc d{};
  d.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  for (d.index = 0; Ioctl(VIDIOC_ENUM_FMT, &d) == 0; ++d.index) {
    PixelFormat f;
    f.fourcc = d.pixelformat;
    f.description = Text(d.description);
    f.sizes = Sizes(d.pixelformat);
    out.push_back(f);
  }
  return out;
}

}  // namespace v4l2

}  // namespace pupiltrak
