// The gaze stream: a replay's messages against its CSV, the faults a user meets (port taken,
// subscribers leaving or too slow), the stream switched while frames flow, the dialog's item.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <opencv2/videoio.hpp>
#include <sstream>
#include <thread>
#include <zmq.hpp>

#include "FaceFrameGenerator.h"
#include "ReplayRun.h"
#include "capture/FrameCallback.h"
#include "capture/GazeStream.h"
#include "capture/TrackerSession.h"
#include "capture/TrackingCommands.h"
#include "capture_fakes.h"
#include "dialog_support.h"
#include "face_video.h"
#include "platform/CameraLibrary.h"
#include "tracking/TrackerState.h"

using namespace pupiltrak;

namespace {

using namespace std::chrono_literals;

struct Message {
  std::string topic;
  QJsonObject body;
};

// A SUB socket on its own thread that keeps every message it receives.
class Subscriber {
 public:
  explicit Subscriber(const std::string& endpoint) : socket_(context_, zmq::socket_type::sub) {
    socket_.set(zmq::sockopt::reconnect_ivl, 10);  // find a publisher bound later quickly
    socket_.set(zmq::sockopt::rcvtimeo, 20);
    socket_.set(zmq::sockopt::subscribe, "");
    socket_.connect(endpoint);
    thread_ = std::thread([this] { Run(); });
  }
  ~Subscriber() {
    stop_ = true;
    thread_.join();
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
  }
  // Waits until n messages have arrived; false if they never do (the bound only turns a lost
  // message into a failure instead of a hang).
  bool WaitFor(size_t n) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, 120s, [&] { return messages_.size() >= n; });
  }
  std::vector<Message> Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

 private:
  void Run() {
    while (!stop_) {
      zmq::message_t topic, body;
      if (!socket_.recv(topic)) continue;
      if (!topic.more() || !socket_.recv(body)) continue;
      Message m{topic.to_string(),
                QJsonDocument::fromJson(QByteArray(static_cast<const char*>(body.data()),
                                                   static_cast<int>(body.size())))
                    .object()};
      {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(std::move(m));
      }
      arrived_.notify_all();
    }
  }
  zmq::context_t context_;
  zmq::socket_t socket_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<Message> messages_;
  std::thread thread_;
};

// A loopback endpoint no one listens on at the moment (the tests run beside other programs).
std::string FreeEndpoint() {
  GazePublisher probe;
  std::string error;
  EXPECT_TRUE(probe.Open("tcp://127.0.0.1:*", &error)) << error;
  return probe.BoundEndpoint();
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream ss(line + ",");
    std::string cell;
    while (std::getline(ss, cell, ',')) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

// Face frames whose pupils wander, every 5th with closed eyelids, and two without any face.
std::string MakeVideo(const std::string& dir, int frames) {
  const std::string path = dir + "/stream_input.avi";
  WriteFaceVideo(path, frames, [](int i) {
    FaceVideoFrame frame;
    if (i == 3 || i == 11) {
      frame.instead = cv::Mat(480, 640, CV_8UC3, cv::Scalar(120, 120, 120));
      return frame;
    }
    const float a = static_cast<float>(i) * 0.9f;
    frame.shot.gazeOffset[0] = cv::Point2f(2.5f * std::cos(a), 1.5f * std::sin(a));
    frame.shot.gazeOffset[1] = frame.shot.gazeOffset[0];
    frame.shot.blink = (i % 5 == 4);
    frame.shot.noiseSigma = 1.0;
    frame.shot.noiseSeed = static_cast<uint64_t>(i + 1);
    return frame;
  });
  return path;
}

// The replay and the demo give a subscriber a second; on a busy machine it may need longer,
// so no frame is read until it has subscribed (the bound only turns a subscriber that never
// arrives into a failure instead of a hang).
void UntilSubscribed(TrackerSession& session) {
  ASSERT_TRUE(session.stream.Publisher().WaitForSubscriber(120s)) << "no subscriber arrived";
}

// The CSV cell as the message's value: empty cells are null.
void ExpectCell(const std::string& cell, const QJsonValue& value, double tolerance,
                const std::string& what) {
  if (cell.empty()) {
    EXPECT_TRUE(value.isNull()) << what;
  } else {
    ASSERT_TRUE(value.isDouble()) << what;
    EXPECT_NEAR(value.toDouble(), std::stod(cell), tolerance) << what << " " << cell;
  }
}

// The subscriber is connected before the replay binds, and no frame is read before it has
// subscribed, so every frame's message must arrive.
TEST(GazeStreamReplay, EveryFrameArrivesInOrderWithTheValuesOfItsCsvRow) {
  const std::string dir = testing::TempDir() + "stream_replay_" + std::to_string(::getpid());
  ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
  const int frames = 24;
  const std::string video = MakeVideo(dir, frames);
  const std::string endpoint = FreeEndpoint();
  Subscriber subscriber(endpoint);

  ReplayOptions o;
  o.input = video;
  o.outputDir = dir;
  o.quiet = true;
  o.eyeRegions = o.gazeDirection = 1;
  o.streamEndpoint = endpoint;
  ReplayOutcome outcome = RunReplay(o, UntilSubscribed);
  ASSERT_EQ(outcome.exitCode, kExitOk) << outcome.message;
  EXPECT_EQ(outcome.streamEndpoint, endpoint);
  EXPECT_EQ(outcome.streamSent, static_cast<uint64_t>(frames));
  EXPECT_EQ(outcome.streamDropped, 0u);
  {
    // The replay switches its stream off at its end: the endpoint is free again.
    GazePublisher next;
    std::string error;
    EXPECT_TRUE(next.Open(endpoint, &error)) << error;
  }

  auto rows = ReadCsv(outcome.csvPath);
  ASSERT_EQ(rows.size(), static_cast<size_t>(frames));
  ASSERT_TRUE(subscriber.WaitFor(rows.size())) << subscriber.Count() << " arrived";
  auto messages = subscriber.Messages();
  ASSERT_EQ(messages.size(), rows.size());
  double lastTime = 0;
  int faceless = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& row = rows[i];
    const QJsonObject& m = messages[i].body;
    const std::string at = "frame " + std::to_string(i);
    ASSERT_EQ(messages[i].topic, "gaze") << at;
    EXPECT_EQ(m["frame"].toInteger(), std::stol(row[0])) << at;
    EXPECT_GE(m["time"].toDouble(), lastTime) << at;
    lastTime = m["time"].toDouble();
    EXPECT_GT(m["wall_time"].toDouble(), 1.6e9) << at;

    const QJsonObject face = m["face"].toObject();
    EXPECT_EQ(face["found"].toBool(), row[2] == "1") << at;
    const QJsonArray rect = face["rect"].toArray();
    for (int k = 0; k < 4; ++k)
      ExpectCell(row[3 + k], face["rect"].isNull() ? QJsonValue() : rect[k], 0, at + " face");
    const QJsonArray pupils = m["pupils"].toArray();
    ASSERT_EQ(pupils.size(), 2) << at;
    for (int eye = 0; eye < 2; ++eye) {
      const QJsonObject p = pupils[eye].toObject();
      EXPECT_EQ(p["found"].toBool(), row[7 + 3 * eye] == "1") << at;
      const QJsonArray pos = p["pos"].toArray();
      ExpectCell(row[8 + 3 * eye], p["pos"].isNull() ? QJsonValue() : pos[0], 0, at + " pupil");
      ExpectCell(row[9 + 3 * eye], p["pos"].isNull() ? QJsonValue() : pos[1], 0, at + " pupil");
    }
    const char* vectors[] = {"dxL", "dyL", "dxR", "dyR"};
    for (int k = 0; k < 4; ++k) ExpectCell(row[13 + k], m[vectors[k]], 5.1e-5, at + vectors[k]);
    EXPECT_EQ(m["blink"].toBool(), row[17] == "1") << at;
    EXPECT_TRUE(m["gaze"].isNull()) << at << ": no calibration has completed";
    EXPECT_FALSE(m["calibrating"].toBool()) << at;
    EXPECT_FALSE(m["accuracy_test"].toBool()) << at;
    faceless += !face["found"].toBool();
  }
  EXPECT_EQ(faceless, 2) << "the two frames without a face";
}

// The demo runs a whole calibration and accuracy test through the dialog's own commands.
TEST(GazeStreamReplay, TheDemoStreamsItsCalibrationTheGazeAfterItAndTheAccuracy) {
  const std::string dir = testing::TempDir() + "stream_demo_" + std::to_string(::getpid());
  ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
  const std::string endpoint = FreeEndpoint();
  Subscriber subscriber(endpoint);
  ReplayOptions o;
  o.outputDir = dir;
  o.quiet = true;
  o.demo = true;
  o.demoAccuracyFrames = 40;
  o.streamEndpoint = endpoint;
  ReplayOutcome outcome = RunDemo(o, UntilSubscribed);
  ASSERT_EQ(outcome.exitCode, kExitOk) << outcome.message;
  ASSERT_EQ(outcome.accuracy.size(), 3u);
  ASSERT_TRUE(subscriber.WaitFor(outcome.streamSent));
  auto messages = subscriber.Messages();
  ASSERT_EQ(messages.size(), outcome.streamSent);

  // Gaze messages while calibrating, the calibration message, then the accuracy test with gaze
  // points, and the accuracy figures last (Stop Tracking).
  std::vector<std::string> phases;
  int gazePoints = 0;
  for (const Message& m : messages) {
    std::string phase = m.topic;
    if (m.topic == "fixation") continue;  // checked below, against fixations.csv
    if (m.topic == "gaze") {
      ASSERT_FALSE(m.body["calibrating"].toBool() && m.body["accuracy_test"].toBool());
      phase += m.body["calibrating"].toBool()     ? " calibrating"
               : m.body["accuracy_test"].toBool() ? " accuracy test"
                                                  : "";
      if (!m.body["gaze"].isNull()) {
        EXPECT_TRUE(m.body["accuracy_test"].toBool()) << "a gaze point only after a calibration";
        ++gazePoints;
      }
    }
    if (phases.empty() || phases.back() != phase) phases.push_back(phase);
  }
  // The demo reads no frame before Calibrate, so the first message is already calibrating.
  EXPECT_EQ(phases, (std::vector<std::string>{"gaze calibrating", "calibration",
                                              "gaze accuracy test", "accuracy"}));
  EXPECT_GT(gazePoints, 20);

  for (const Message& m : messages) {
    if (m.topic == "calibration") {
      for (const char* f : {"GazeRX", "GazeRY", "GazeLX", "GazeLY"}) {
        const QJsonObject fn = m.body[f].toObject();
        for (const char* k : {"a", "b", "c", "error"}) EXPECT_TRUE(fn[k].isDouble()) << f << k;
        EXPECT_GE(fn["error"].toDouble(), 0) << f;
      }
      EXPECT_TRUE(m.body["right_fitted"].toBool());
      EXPECT_TRUE(m.body["left_fitted"].toBool());
    }
  }
  // The same three figures as the protocol's lines.
  const QJsonObject& accuracy = messages.back().body;
  char line[128];
  std::snprintf(line, sizeof line, "Accuracy (RMS) in pixels: %.2f", accuracy["pixels"].toDouble());
  EXPECT_EQ(outcome.accuracy[0], line);
  std::snprintf(line, sizeof line, "Accuracy (RMS) in millimeters: %.2f",
                accuracy["millimeters"].toDouble());
  EXPECT_EQ(outcome.accuracy[1], line);
  std::snprintf(line, sizeof line,
                "Accuracy (RMS) in degrees (500 mm screen distance assumed): %.2f",
                accuracy["degrees"].toDouble());
  EXPECT_EQ(outcome.accuracy[2], line);
  // With the accuracy test's data-quality figures.
  const QJsonObject quality = accuracy["quality"].toObject();
  for (const char* k : {"accuracy_deg", "precision_rms_deg", "precision_sd_deg",
                        "data_loss_percent", "frames", "with_gaze", "targets"})
    EXPECT_TRUE(quality[k].isDouble()) << k;
  EXPECT_FALSE(accuracy.contains("left_out")) << "settling is off";

  // A fixation message as each fixation ends, in the order and with the values of the rows of
  // fixations.csv, all within the accuracy test (after the calibration, before the figures).
  std::ifstream csv(outcome.fixationsPath);
  std::string row;
  ASSERT_TRUE(std::getline(csv, row));
  EXPECT_EQ(row, "number,start_frame,end_frame,start_ms,duration_ms,x,y,dispersion_deg");
  std::vector<std::string> rows;
  while (std::getline(csv, row)) rows.push_back(row);
  std::vector<std::string> streamed;
  bool calibrated = false;
  for (const Message& m : messages) {
    calibrated = calibrated || m.topic == "calibration";
    if (m.topic != "fixation") continue;
    EXPECT_TRUE(calibrated);
    const QJsonObject& f = m.body;
    char text[200];
    std::snprintf(text, sizeof text, "%d,%lld,%lld,%.1f,%.1f,%.1f,%.1f,%.3f", f["number"].toInt(),
                  static_cast<long long>(f["start_frame"].toDouble()),
                  static_cast<long long>(f["end_frame"].toDouble()), f["start_ms"].toDouble(),
                  f["duration_ms"].toDouble(), f["x"].toDouble(), f["y"].toDouble(),
                  f["dispersion_deg"].toDouble());
    streamed.push_back(text);
  }
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(streamed, rows);
}

TEST(GazeStreamReplay, StreamOptionTakesAnEndpointOnlyWhenOneFollows) {
  struct Case {
    std::vector<const char*> args;
    std::string endpoint, input;
  };
  const std::vector<Case> cases = {
      {{"--stream"}, "tcp://127.0.0.1:5570", ""},
      {{"--stream", "in.avi"}, "tcp://127.0.0.1:5570", "in.avi"},
      {{"in.avi", "--stream", "tcp://*:6000"}, "tcp://*:6000", "in.avi"},
      {{"--stream=ipc:///tmp/gaze", "in.avi"}, "ipc:///tmp/gaze", "in.avi"},
      {{"in.avi"}, "", "in.avi"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"pupiltrak08-replay"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string error;
    auto o = ParseReplayOptions(static_cast<int>(argv.size()), argv.data(), &error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->streamEndpoint, c.endpoint) << c.args[0];
    EXPECT_EQ(o->input, c.input) << c.args[0];
  }
  std::string error;
  const char* empty[] = {"pupiltrak08-replay", "--stream="};
  EXPECT_FALSE(ParseReplayOptions(2, empty, &error));
}

// Frames through the program's own callback: camera 0 delivers marked pictures endlessly.
class StreamWhileTracking : public ::testing::Test {
 protected:
  void SetUp() override {
    Camera().RestoreDefaults();
    Camera().SetCameraCounter([] { return 1; });
    Camera().SetSourceFactory(
        [](int) { return std::make_unique<GeneratedSource>(MarkedPicture, 0, -1); });
    session.AddFrameListener([this](const FrameRecord&) {
      {
        std::lock_guard<std::mutex> lock(framesMutex_);
        ++framesSeen_;
      }
      framesChanged_.notify_all();
    });
  }
  void TearDown() override { Camera().RestoreDefaults(); }
  // Waits until n more frames have gone through the session; false if they do not come.
  bool FramesGoOn(int64_t n) {
    std::unique_lock<std::mutex> lock(framesMutex_);
    const int64_t target = framesSeen_ + n;
    return framesChanged_.wait_for(lock, 60s, [&] { return framesSeen_ >= target; });
  }
  // Waits until done() holds after a frame; false if it never does.
  bool UntilAFrameFinds(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(framesMutex_);
    return framesChanged_.wait_for(lock, 60s, done);
  }

  HeadlessPlatform platform;
  TrackerSession session;
  RecordingDialog dialog;
  std::mutex framesMutex_;
  std::condition_variable framesChanged_;
  int64_t framesSeen_ = 0;
};

TEST_F(StreamWhileTracking, APortInUseASubscriberLeavingOrTooSlowNeverStopsTracking) {
  StartTrackingCommand(session, dialog);
  ASSERT_TRUE(FramesGoOn(10));

  // The port is taken by another program: a Bug line, the stream stays off, frames go on.
  GazePublisher other;
  std::string error;
  ASSERT_TRUE(other.Open("tcp://127.0.0.1:*", &error)) << error;
  session.stream.SetDialogEndpoint(other.BoundEndpoint());
  dialog.ClearLines();
  StreamGazeCommand(session.stream, dialog, true);
  ASSERT_EQ(dialog.Lines().size(), 1u);
  EXPECT_EQ(dialog.Lines()[0].rfind("Bug: Cannot stream gaze to " + other.BoundEndpoint(), 0), 0u)
      << dialog.Lines()[0];
  EXPECT_FALSE(session.stream.On());
  EXPECT_TRUE(FramesGoOn(10));

  // A subscriber goes away in the middle of the stream; the next one gets messages again.
  const std::string endpoint = FreeEndpoint();
  session.stream.SetDialogEndpoint(endpoint);
  dialog.ClearLines();
  StreamGazeCommand(session.stream, dialog, true);
  EXPECT_EQ(dialog.Lines(), (std::vector<std::string>{"Streaming gaze to " + endpoint}));
  long lastFrame = 0;
  {
    Subscriber first(endpoint);
    ASSERT_TRUE(first.WaitFor(20));
    lastFrame = first.Messages().back().body["frame"].toInteger();
  }
  EXPECT_TRUE(FramesGoOn(20));
  {
    Subscriber second(endpoint);
    ASSERT_TRUE(second.WaitFor(5));
    EXPECT_GT(second.Messages().front().body["frame"].toInteger(), lastFrame);
  }

  // A subscriber that never reads: its queue fills up, messages are dropped, never frames.
  session.stream.SwitchOff();
  ASSERT_TRUE(session.stream.SwitchOn(endpoint, &error, 4)) << error;
  zmq::context_t context;
  zmq::socket_t stuck(context, zmq::socket_type::sub);
  stuck.set(zmq::sockopt::rcvhwm, 4);
  stuck.set(zmq::sockopt::rcvbuf, 4096);
  stuck.set(zmq::sockopt::subscribe, "");
  stuck.connect(endpoint);
  const uint64_t droppedBefore = session.stream.Publisher().Dropped();
  EXPECT_TRUE(
      UntilAFrameFinds([&] { return session.stream.Publisher().Dropped() > droppedBefore; }));
  EXPECT_TRUE(FramesGoOn(20));

  // Stop Tracking says how many messages were lost.
  dialog.ClearLines();
  StopTrackingCommand(session, dialog);
  long reported = 0;
  for (const auto& line : dialog.Lines())
    if (line.rfind("Gaze stream: ", 0) == 0) reported = std::stol(line.substr(13));
  EXPECT_GT(reported, 0) << "a line \"Gaze stream: N messages dropped ...\" at Stop Tracking";
}

// The dialog switches the stream thousands of times while the frame thread publishes: no
// crash, no frame lost (every delivered frame is processed and numbered), every switch logged.
TEST_F(StreamWhileTracking, SwitchedOnAndOffThousandsOfTimesWhileFramesFlow) {
  const std::string endpoint = FreeEndpoint();
  session.stream.SetDialogEndpoint(endpoint);
  Subscriber subscriber(endpoint);
  std::atomic<long> delivered{0};
  Camera().SetEnable(0, true);
  Camera().SetCallback(0, [this, &delivered](CameraFrame& frame) {
    ++delivered;
    session.OnCameraFrame(frame);
  });
  session.state.TrackingActive = 1;
  ASSERT_NE(Camera().Init(), 0);
  ASSERT_EQ(Camera().Start(), 0);
  const int switches = 2000;
  for (int i = 0; i < switches; ++i) StreamGazeCommand(session.stream, dialog, i % 2 == 0);
  ASSERT_TRUE(FramesGoOn(10));
  Camera().Stop();
  session.state.TrackingActive = 0;

  EXPECT_EQ(session.callback.framesProcessed, delivered.load());
  auto lines = dialog.Lines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(switches));
  for (int i = 0; i < switches; ++i)
    ASSERT_EQ(lines[i], i % 2 == 0 ? "Streaming gaze to " + endpoint : "Stopped streaming gaze")
        << "switch " << i;
  EXPECT_FALSE(session.stream.On());
  // Whatever arrived is in frame order.
  auto messages = subscriber.Messages();
  for (size_t i = 1; i < messages.size(); ++i)
    ASSERT_GT(messages[i].body["frame"].toInteger(), messages[i - 1].body["frame"].toInteger());
}

class StreamGazeMenu : public dialog_test::DialogTest {};

TEST_F(StreamGazeMenu, OffAtStartOnLogsTheEndpointOffLogsStopped) {
  dialog_test::ScratchDirectory cwd(dialog_test::Cascade::Present);
  const std::string endpoint = FreeEndpoint();
  session.stream.SetDialogEndpoint(endpoint);
  TrackerDialog dialog(session);
  auto itemOf = [&](QMenu& menu) -> QAction* {
    for (QAction* a : menu.actions())
      if (a->text() == "Stream gaze") return a;
    return nullptr;
  };
  const size_t mark = dialog.Log().Lines().size();
  {
    std::unique_ptr<QMenu> menu(dialog.CreateContextMenu(nullptr));
    QAction* item = itemOf(*menu);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked());
    item->trigger();
  }
  EXPECT_TRUE(session.stream.On());
  {
    std::unique_ptr<QMenu> menu(dialog.CreateContextMenu(nullptr));
    QAction* item = itemOf(*menu);
    EXPECT_TRUE(item->isChecked()) << "the menu shows the stream's state";
    item->trigger();
  }
  EXPECT_FALSE(session.stream.On());
  auto lines = dialog.Log().Lines();
  ASSERT_EQ(lines.size(), mark + 2);
  EXPECT_EQ(lines[mark], "Streaming gaze to " + endpoint);
  EXPECT_EQ(lines[mark + 1], "Stopped streaming gaze");
  EXPECT_EQ(std::string(kDefaultGazeEndpoint), "tcp://127.0.0.1:5570");
}

}  // namespace
