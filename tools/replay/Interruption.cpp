#include "Interruption.h"

#include <signal.h>

#include <atomic>
#include <csignal>

#include "platform/FrameSource.h"

namespace pupiltrak {

namespace {

// Written by the handler, read by the run: lock-free atomics only.
std::atomic<int> g_signal{0};
std::atomic<pid_t> g_forwarded[kMaxForwarded];

void OnSignal(int signal) {
  for (auto& pid : g_forwarded) {
    const pid_t p = pid.load();
    if (p > 0) ::kill(p, signal);
  }
  int none = 0;
  if (g_signal.compare_exchange_strong(none, signal)) return;
  // The second signal: the default action, at once (the partial files keep their names).
  struct sigaction plain = {};
  plain.sa_handler = SIG_DFL;
  ::sigaction(signal, &plain, nullptr);
  ::raise(signal);
}

class InterruptibleSource : public FrameSource {
 public:
  explicit InterruptibleSource(std::unique_ptr<FrameSource> inner) : inner_(std::move(inner)) {}
  bool Open() override { return inner_->Open(); }
  bool Read(cv::Mat& frame) override { return !Interrupted() && inner_->Read(frame); }
  void Close() override { inner_->Close(); }
  double FrameInterval() const override { return inner_->FrameInterval(); }
  std::string Describe() const override { return inner_->Describe(); }

 private:
  std::unique_ptr<FrameSource> inner_;
};

}  // namespace

void InstallInterruptionHandlers() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // Blocking calls go on after the handler; the run looks at the flag between frames.
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

int InterruptSignal() { return g_signal.load(); }

int InterruptedExitStatus(int signal) { return 128 + signal; }

const char* SignalName(int signal) {
  return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
}

void ForwardSignalsTo(pid_t pid) {
  for (auto& slot : g_forwarded) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, pid)) return;
  }
}

void StopForwardingTo(pid_t pid) {
  for (auto& slot : g_forwarded) {
    pid_t p = pid;
    if (slot.compare_exchange_strong(p, 0)) return;
  }
}

std::unique_ptr<FrameSource> StopWhenInterrupted(std::unique_ptr<FrameSource> source) {
  return std::make_unique<InterruptibleSource>(std::move(source));
}

}  // namespace pupiltrak
