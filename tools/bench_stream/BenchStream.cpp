// pupiltrak08-bench-stream: replays one generated video in turns without and with --stream
// (a subscriber in this process receives every message) and prints
// - the time from the end of a frame's processing to its message queued on the publisher
//   (the frame thread's share) and to its arrival at the subscriber, median and 95th percentile;
// - the replay's frames per second without and with the stream, and the difference.
// The turns alternate so that a busy machine disturbs both sides alike. As wall-clock figures
// suffer on a shared machine, it also prints the CPU time one message costs the frame thread
// (building the JSON and queueing it, with a subscriber receiving), against the CPU time of a
// frame's processing.

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <opencv2/videoio.hpp>
#include <string>
#include <thread>
#include <vector>
#include <zmq.hpp>

#include "FaceFrameGenerator.h"
#include "ReplayRun.h"
#include "capture/TrackerSession.h"
#include "tracking/FrameResults.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

namespace {

std::mutex timesMutex;
std::vector<double> queuedMs;  // frame thread: end of processing to message queued

void RecordQueued(double seconds) {
  std::lock_guard<std::mutex> lock(timesMutex);
  queuedMs.push_back(seconds * 1000.0);
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
  return v[i];
}

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one;
  in >> one;
  return one.empty() ? "unknown" : one;
}

bool MakeVideo(const std::string& path, int frames) {
  gen::FacePhoto photo;
  std::string error;
  if (!gen::LoadFacePhoto(std::string(PUPILTRAK_FACES_DIR) + "/jesper_2.jpg", &photo, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  gen::FaceFrameGenerator generator(photo, gen::DefaultScene(cv::Size(640, 480)));
  cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0,
                         cv::Size(640, 480), true);
  if (!writer.isOpened()) return false;
  for (int i = 0; i < frames; ++i) {
    gen::FrameSpec shot;
    float a = static_cast<float>(i) * 0.3f;
    shot.gazeOffset[0] = shot.gazeOffset[1] = cv::Point2f(2.5f * std::cos(a), 1.5f * std::sin(a));
    shot.blink = (i % 40 == 39);
    shot.noiseSigma = 1.0;
    shot.noiseSeed = static_cast<uint64_t>(i + 1);
    writer.write(generator.Render(shot, nullptr));
  }
  return true;
}

// Receives every message until stopped; keeps the end-of-processing-to-arrival times.
class Subscriber {
 public:
  explicit Subscriber(const std::string& endpoint) : socket_(context_, zmq::socket_type::sub) {
    socket_.set(zmq::sockopt::reconnect_ivl, 10);
    socket_.set(zmq::sockopt::rcvtimeo, 20);
    socket_.set(zmq::sockopt::subscribe, "gaze");
    socket_.connect(endpoint);
    thread_ = std::thread([this] { Run(); });
  }
  ~Subscriber() {
    stop_ = true;
    thread_.join();
  }
  std::vector<double> ArrivalMs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrivalMs_;
  }

 private:
  void Run() {
    while (!stop_) {
      zmq::message_t topic, body;
      if (!socket_.recv(topic)) continue;
      if (!topic.more() || !socket_.recv(body)) continue;
      const double now = MonotonicSeconds();
      QJsonObject m = QJsonDocument::fromJson(QByteArray(static_cast<const char*>(body.data()),
                                                         static_cast<int>(body.size())))
                          .object();
      std::lock_guard<std::mutex> lock(mutex_);
      arrivalMs_.push_back((now - m["time"].toDouble()) * 1000.0);
    }
  }
  zmq::context_t context_;
  zmq::socket_t socket_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<double> arrivalMs_;
  std::thread thread_;
};

struct BenchOptions {
  int frames = 300, rounds = 3;
  std::string endpoint = "tcp://127.0.0.1:5571";
};

// -1 when the run goes on, else the exit status.
int ParseArguments(int argc, char** argv, BenchOptions* o) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) {
      o->frames = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc) {
      o->rounds = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--endpoint") && i + 1 < argc) {
      o->endpoint = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: pupiltrak08-bench-stream [--frames N] [--rounds R] [--endpoint E]\n"
                   "  --frames N    frames of the generated video (300)\n"
                   "  --rounds R    replays without and with the stream, alternating (3 each)\n"
                   "  --endpoint E  where the stream is published (tcp://127.0.0.1:5571)\n");
      return 1;
    }
  }
  return -1;
}

// What the replays without and with the stream gave.
struct RoundFigures {
  std::vector<double> fpsWithout, fpsWith, arrivalMs, frameMs;
  uint64_t dropped = 0, sent = 0;
};

// The replays of the video, without and with the stream in turns; false when one failed.
bool RunRounds(const BenchOptions& b, const std::string& video, const std::string& dir,
               RoundFigures* f) {
  ReplayOptions o;
  o.input = video;
  o.outputDir = dir;
  o.quiet = true;
  o.eyeRegions = o.gazeDirection = 1;
  for (int r = 0; r < b.rounds; ++r) {
    // Which side goes first changes from round to round.
    for (bool stream : {r % 2 == 1, r % 2 == 0}) {
      o.streamEndpoint = stream ? b.endpoint : "";
      std::unique_ptr<Subscriber> subscriber;
      if (stream) subscriber = std::make_unique<Subscriber>(b.endpoint);
      ReplayOutcome outcome =
          RunReplay(o, [](TrackerSession& session) { session.stream.SetSendTimer(RecordQueued); });
      if (outcome.exitCode != kExitOk) {
        std::fprintf(stderr, "replay failed: %s\n", outcome.message.c_str());
        return false;
      }
      const double fps = static_cast<double>(outcome.summary.frames) / outcome.wallSeconds;
      (stream ? f->fpsWith : f->fpsWithout).push_back(fps);
      if (!stream) f->frameMs.push_back(outcome.summary.MedianMs());
      std::fprintf(stderr, "round %d %s: %.1f fps\n", r + 1,
                   stream ? "with stream   " : "without stream", fps);
      if (stream) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the last messages
        auto a = subscriber->ArrivalMs();
        f->arrivalMs.insert(f->arrivalMs.end(), a.begin(), a.end());
        f->dropped += outcome.streamDropped;
        f->sent += outcome.streamSent;
      }
    }
  }
  return true;
}

// The frame thread's CPU per message in microseconds: a typical frame's results, published
// many times; negative when the endpoint cannot be bound.
double CpuPerMessageUs(const std::string& endpoint, int messages) {
  FrameResults r;
  r.faceFound = true;
  r.pupilFound[0] = r.pupilFound[1] = true;
  r.dxL = 1.25, r.dyL = -3.5, r.dxR = 0.75, r.dyR = -2.25;
  r.gazeFound = true;
  r.gazeX = 640.5, r.gazeY = 300.25;
  TrackerSession session;
  session.state.SearchEyeRegions = 1;
  session.state.EstimateGazeDirection = 1;
  GazeStream& stream = session.stream;
  Subscriber subscriber(endpoint);
  std::string error;
  if (!stream.SwitchOn(endpoint, &error)) {
    std::fprintf(stderr, "cannot bind %s: %s\n", endpoint.c_str(), error.c_str());
    return -1;
  }
  stream.Publisher().WaitForSubscriber(std::chrono::milliseconds(1000));
  const double cpu0 = ThreadCpuMs();
  FrameRecord record;
  record.results = &r;
  record.eyeRegions = record.gazeDirection = true;
  for (int i = 0; i < messages; ++i) {
    record.frame = i;
    stream.PublishFrame(record);
  }
  const double us = (ThreadCpuMs() - cpu0) * 1000.0 / messages;
  stream.SwitchOff(std::chrono::milliseconds(1000));
  return us;
}

void PrintFigures(const BenchOptions& b, const RoundFigures& f, double cpuPerMessageUs,
                  int messages) {
  std::vector<double> queued;
  {
    std::lock_guard<std::mutex> lock(timesMutex);
    queued = queuedMs;
  }
  const double without = Percentile(f.fpsWithout, 0.5), with = Percentile(f.fpsWith, 0.5);
  const double frameMedianMs = Percentile(f.frameMs, 0.5);
  std::printf("gaze stream benchmark: %d frames x %d rounds, both options on, %s, load %s\n",
              b.frames, b.rounds, b.endpoint.c_str(), LoadAverage().c_str());
  std::printf("messages: %llu sent, %llu dropped, %zu received\n",
              static_cast<unsigned long long>(f.sent), static_cast<unsigned long long>(f.dropped),
              f.arrivalMs.size());
  std::printf("end of processing -> message queued (frame thread): median %.3f ms, p95 %.3f ms\n",
              Percentile(queued, 0.5), Percentile(queued, 0.95));
  std::printf("end of processing -> message received (subscriber): median %.3f ms, p95 %.3f ms\n",
              Percentile(f.arrivalMs, 0.5), Percentile(f.arrivalMs, 0.95));
  std::printf("replay fps (median of %d): without stream %.1f, with stream %.1f, cost %+.1f %%\n",
              b.rounds, without, with, without > 0 ? (without - with) / without * 100.0 : 0.0);
  std::printf(
      "frame thread CPU per message: %.1f us (%d messages); a frame's processing: median %.2f ms "
      "wall, so the stream adds about %.2f %% of a frame's work\n",
      cpuPerMessageUs, messages, frameMedianMs,
      frameMedianMs > 0 ? cpuPerMessageUs / 1000.0 / frameMedianMs * 100.0 : 0.0);
}

}  // namespace

}  // namespace pupiltrak

using namespace pupiltrak;

int main(int argc, char** argv) {
  BenchOptions b;
  if (const int status = ParseArguments(argc, argv, &b); status >= 0) return status;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);

  const std::string dir = "/tmp/pupiltrak08-bench-stream";
  std::system(("mkdir -p " + dir).c_str());
  const std::string video = dir + "/input.avi";
  std::fprintf(stderr, "generating %d frames...\n", b.frames);
  if (!MakeVideo(video, b.frames)) return 2;
  RoundFigures figures;
  if (!RunRounds(b, video, dir, &figures)) return 2;
  const int messages = 20000;
  const double cpuPerMessageUs = CpuPerMessageUs(b.endpoint, messages);
  if (cpuPerMessageUs < 0) return 2;
  PrintFigures(b, figures, cpuPerMessageUs, messages);
  return 0;
}
