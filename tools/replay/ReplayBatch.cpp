#include "ReplayBatch.h"

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>

#include "Interruption.h"
#include "ReplayReport.h"
#include "ReplayRun.h"

namespace pupiltrak {

namespace {

using Clock = std::chrono::steady_clock;

std::string JoinPath(const std::string& dir, const std::string& name) {
  return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\t', ' ');
  return text;
}

// One worker process and what it has said so far.
struct Worker {
  size_t index = 0;
  std::unique_ptr<QProcess> process;
  std::string stdoutRest, stderrRest;  // the unfinished last line of each
  std::string log;                     // everything it wrote on standard error
  long frames = 0;                     // its latest progress
  pid_t pid = 0;                       // once started: it gets the batch's signals
  bool hasResult = false, hasError = false, done = false;
  BatchResult result;
};

class Batch {
 public:
  Batch(const ReplayOptions& o, std::string program) : o_(o), program_(std::move(program)) {
    terminal_ = ::isatty(STDERR_FILENO) != 0;
  }

  int Run() {
    start_ = Clock::now();
    std::string error;
    if (!MakeOutputFolder(o_.outputDir, &error)) {
      std::fprintf(stderr, "pupiltrak08-replay: %s\n", error.c_str());
      return kExitIoError;
    }
    const std::vector<std::string> folders = BatchFolderNames(o_.inputs);
    results_.resize(o_.inputs.size());
    for (size_t i = 0; i < o_.inputs.size(); ++i) {
      results_[i].input = o_.inputs[i];
      results_[i].folder = folders[i];
    }
    jobs_ = o_.jobs > 0 ? o_.jobs : std::max(1, QThread::idealThreadCount());
    jobs_ = static_cast<int>(std::min<size_t>(static_cast<size_t>(jobs_), o_.inputs.size()));

    QTimer progress;
    if (!o_.quiet) {
      QObject::connect(&progress, &QTimer::timeout, [this] { Progress(); });
      progress.start(terminal_ ? 500 : 10000);
    }
    StartMore();
    if (!workers_.empty()) loop_.exec();
    progress.stop();
    if (shown_) std::fprintf(stderr, "\n");
    return Finish();
  }

 private:
  void StartMore() {
    // Once interrupted, the inputs not started stay so (summary.csv says it).
    while (static_cast<int>(workers_.size()) < jobs_ && next_ < o_.inputs.size() &&
           !Interrupted()) {
      auto w = std::make_unique<Worker>();
      w->index = next_++;
      w->result = results_[w->index];
      const std::string dir = JoinPath(o_.outputDir, w->result.folder);
      QDir().mkpath(QString::fromStdString(dir));
      QStringList args;
      for (const std::string& a : WorkerArguments(o_, o_.inputs[w->index], dir))
        args << QString::fromStdString(a);
      w->process = std::make_unique<QProcess>();
      // A process group of its own: a terminal's Ctrl-C reaches the batch only, which passes
      // it on once (a second one would end the worker at once).
      w->process->setChildProcessModifier([] { ::setpgid(0, 0); });
      Worker* raw = w.get();
      QProcess* p = raw->process.get();
      QObject::connect(p, &QProcess::started, [raw] {
        raw->pid = static_cast<pid_t>(raw->process->processId());
        ForwardSignalsTo(raw->pid);
        // A signal that came between the check above and now has not reached it yet.
        if (Interrupted()) ::kill(raw->pid, InterruptSignal());
      });
      QObject::connect(p, &QProcess::readyReadStandardOutput, [this, raw] { ReadOut(raw); });
      QObject::connect(p, &QProcess::readyReadStandardError, [this, raw] { ReadErr(raw); });
      QObject::connect(p, &QProcess::finished, [this, raw](int code, QProcess::ExitStatus status) {
        if (status == QProcess::CrashExit && Interrupted())
          Ended(raw,
                std::string("ended at once by a second ") + SignalName(InterruptSignal()) +
                    " (its files keep their .partial names)",
                InterruptedExitStatus(InterruptSignal()));
        else if (status == QProcess::CrashExit)
          Ended(raw, "the worker stopped unexpectedly (it crashed)", -1);
        else
          Ended(raw, "", code);
      });
      QObject::connect(p, &QProcess::errorOccurred, [this, raw](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
          Ended(raw,
                "cannot start the worker " + program_ + ": " +
                    raw->process->errorString().toStdString(),
                kExitIoError);
      });
      workers_.push_back(std::move(w));
      p->start(QString::fromStdString(program_), args);
    }
  }

  void ReadOut(Worker* w) {
    w->stdoutRest += w->process->readAllStandardOutput().toStdString();
    size_t nl;
    while ((nl = w->stdoutRest.find('\n')) != std::string::npos) {
      std::string line = w->stdoutRest.substr(0, nl);
      w->stdoutRest.erase(0, nl + 1);
      BatchResult r = w->result;
      long frames = -1;
      if (!ReadWorkerLine(line, &r, &frames)) continue;
      if (frames >= 0) {
        w->frames = frames;
        continue;
      }
      (line.rfind("result", 0) == 0 ? w->hasResult : w->hasError) = true;
      w->result = r;
    }
  }

  void ReadErr(Worker* w) {
    std::string text = w->process->readAllStandardError().toStdString();
    w->log += text;
    w->stderrRest += text;
    size_t nl;
    while ((nl = w->stderrRest.find('\n')) != std::string::npos) {
      std::string line = w->stderrRest.substr(0, nl);
      w->stderrRest.erase(0, nl + 1);
      // The worker's own warnings (and with --verbose everything), named by their input.
      const std::string own = "pupiltrak08-replay: ";
      if (line.rfind(own, 0) == 0)
        Say(own + w->result.input + ": " + line.substr(own.size()));
      else if (o_.verbose)
        Say(w->result.input + ": " + line);
    }
  }

  void Say(const std::string& line) {
    std::fprintf(stderr, "%s%s\n", terminal_ && shown_ ? "\r\033[K" : "", line.c_str());
    shown_ = false;  // the progress line is gone until its next update
  }

  void Ended(Worker* w, const std::string& failure, int code) {
    if (w->done) return;
    w->done = true;
    if (w->pid > 0) StopForwardingTo(w->pid);
    ReadOut(w);
    ReadErr(w);
    BatchResult& r = w->result;
    if (!failure.empty()) {
      r.exitCode = code;
      r.error = failure;
    } else if (code != 0 && !w->hasError) {
      r.exitCode = code;
      r.error = "the worker ended with exit status " + std::to_string(code);
    } else if (code == 0 && !w->hasResult) {
      r.exitCode = kExitIoError;
      r.error = "the worker reported no result";
    }
    if (!r.error.empty()) {
      // An input stopped by the batch's signal did not fail: it is counted as interrupted.
      if (!WasStopped(r)) ++failed_;
      Say("pupiltrak08-replay: " + r.input + ": " + r.error);
    }
    // The worker's own report stays beside its outputs.
    if (FILE* f =
            std::fopen(JoinPath(JoinPath(o_.outputDir, r.folder), "replay.log").c_str(), "w")) {
      std::fputs(w->log.c_str(), f);
      std::fclose(f);
    }
    framesDone_ += r.frames;
    results_[w->index] = r;
    ++finished_;
    // Deleted once its signal has returned.
    QTimer::singleShot(0, [this, w] {
      auto it = std::find_if(workers_.begin(), workers_.end(),
                             [w](const std::unique_ptr<Worker>& x) { return x.get() == w; });
      if (it != workers_.end()) workers_.erase(it);
      StartMore();
      if (workers_.empty()) loop_.quit();
    });
  }

  // Inputs whose worker was stopped by the batch's signal.
  static bool WasStopped(const BatchResult& r) {
    return Interrupted() && (r.exitCode == InterruptedExitStatus(SIGINT) ||
                             r.exitCode == InterruptedExitStatus(SIGTERM));
  }
  size_t Stopped() const {
    return static_cast<size_t>(
        std::count_if(results_.begin(), results_.begin() + static_cast<long>(next_), WasStopped));
  }

  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

  long FramesSoFar() const {
    long n = framesDone_;
    for (const auto& w : workers_)
      if (!w->done) n += w->frames;
    return n;
  }

  void Progress() {
    long frames = FramesSoFar();
    double s = Seconds();
    int running = 0;
    for (const auto& w : workers_) running += w->done ? 0 : 1;
    std::fprintf(stderr, "%sinputs %zu of %zu done (%d failed), %d running, frames %ld, %.1f fps%s",
                 terminal_ ? "\r" : "", finished_, o_.inputs.size(), failed_, running, frames,
                 s > 0 ? static_cast<double>(frames) / s : 0.0, terminal_ ? "   " : "\n");
    shown_ = terminal_;
  }

  int Finish() {
    const double seconds = Seconds();
    for (size_t i = next_; i < results_.size(); ++i) {
      results_[i].exitCode = InterruptedExitStatus(InterruptSignal());
      results_[i].error =
          std::string("not started: the batch was interrupted by ") + SignalName(InterruptSignal());
    }
    const std::string path = JoinPath(o_.outputDir, "summary.csv");
    AtomicOutputFile summary(path);
    std::string error;
    bool ok = summary.Open(&error);
    if (ok) {
      summary.Write(BatchSummaryHeader());
      for (const BatchResult& r : results_) summary.Write(BatchSummaryRow(r));
      ok = summary.Commit(&error);
    }
    std::fprintf(stderr, "inputs: %zu (%d failed)\nframes: %ld\n", o_.inputs.size(), failed_,
                 framesDone_);
    std::fprintf(stderr, "frames per second: %.1f (all inputs, %d worker%s at once)\n",
                 seconds > 0 ? static_cast<double>(framesDone_) / seconds : 0.0, jobs_,
                 jobs_ == 1 ? "" : "s");
    if (!ok) {
      std::fprintf(stderr, "pupiltrak08-replay: %s\n", error.c_str());
      return kExitIoError;
    }
    std::fprintf(stderr, "summary: %s\n", path.c_str());
    if (Interrupted()) {
      std::fprintf(stderr,
                   "pupiltrak08-replay: interrupted by %s: %zu of %zu inputs finished; %s has a "
                   "row for every input\n",
                   SignalName(InterruptSignal()), finished_ - Stopped(), o_.inputs.size(),
                   path.c_str());
      return InterruptedExitStatus(InterruptSignal());
    }
    if (failed_ > 0) {
      std::fprintf(stderr,
                   "pupiltrak08-replay: %d of %zu inputs failed (exit status %d); their rows in "
                   "%s say why\n",
                   failed_, o_.inputs.size(), kExitBatchFailed, path.c_str());
      return kExitBatchFailed;
    }
    return kExitOk;
  }

  const ReplayOptions& o_;
  std::string program_;
  bool terminal_ = false;
  bool shown_ = false;
  int jobs_ = 1;
  size_t next_ = 0;
  size_t finished_ = 0;
  int failed_ = 0;
  long framesDone_ = 0;
  std::vector<BatchResult> results_;
  std::vector<std::unique_ptr<Worker>> workers_;
  QEventLoop loop_;
  Clock::time_point start_;
};

}  // namespace

std::vector<std::string> BatchFolderNames(const std::vector<std::string>& inputs) {
  std::vector<std::string> names;
  std::set<std::string> used;
  for (const std::string& input : inputs) {
    QString path = QString::fromStdString(input);
    while (path.size() > 1 && path.endsWith('/')) path.chop(1);
    QFileInfo info(path);
    QString base = info.isDir() ? info.fileName() : info.completeBaseName();
    // A pattern such as shots/img%04d.png is named after its folder.
    if (base.contains('%')) base = QFileInfo(info.path()).fileName();
    std::string name;
    for (QChar c : base) {
      const char a = c.toLatin1();
      name += (std::isalnum(static_cast<unsigned char>(a)) || a == '.' || a == '_' || a == '-')
                  ? a
                  : '_';
    }
    if (name.empty() || name == "." || name == "..") name = "input";
    std::string unique = name;
    for (int n = 2; used.count(unique); ++n) unique = name + "-" + std::to_string(n);
    used.insert(unique);
    names.push_back(unique);
  }
  return names;
}

std::string BatchSummaryHeader() {
  return "input,folder,frames,face_found_percent,both_pupils_percent,blinks,frames_per_second,"
         "skipped_files,exit_status,error\n";
}

std::string BatchSummaryRow(const BatchResult& r) {
  char numbers[256];
  std::snprintf(numbers, sizeof numbers, "%ld,%.1f,%.1f,%ld,%.1f,%ld,%d", r.frames,
                r.faceFoundPercent, r.bothPupilsPercent, r.blinks, r.framesPerSecond,
                r.skippedFiles, r.exitCode);
  return CsvField(r.input) + "," + CsvField(r.folder) + "," + numbers + "," + CsvField(r.error) +
         "\n";
}

std::string WorkerProgressLine(long frames) { return "progress\t" + std::to_string(frames) + "\n"; }

std::string WorkerResultLine(long frames, long faceFound, long bothPupils, long blinks,
                             double wallSeconds, long skippedFiles) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "result\t%ld\t%ld\t%ld\t%ld\t%.6f\t%ld\n", frames, faceFound,
                bothPupils, blinks, wallSeconds, skippedFiles);
  return buf;
}

std::string WorkerErrorLine(int exitCode, const std::string& message) {
  return "error\t" + std::to_string(exitCode) + "\t" + OneLine(message) + "\n";
}

bool ReadWorkerLine(const std::string& line, BatchResult* r, long* frames) {
  std::vector<std::string> f;
  std::stringstream ss(line);
  std::string cell;
  while (std::getline(ss, cell, '\t')) f.push_back(cell);
  if (f.empty()) return false;
  try {
    if (f[0] == "progress" && f.size() == 2) {
      *frames = std::stol(f[1]);
      return true;
    }
    if (f[0] == "result" && f.size() == 7) {
      r->frames = std::stol(f[1]);
      const double n = static_cast<double>(r->frames);
      r->faceFoundPercent = n > 0 ? 100.0 * std::stod(f[2]) / n : 0;
      r->bothPupilsPercent = n > 0 ? 100.0 * std::stod(f[3]) / n : 0;
      r->blinks = std::stol(f[4]);
      const double seconds = std::stod(f[5]);
      r->framesPerSecond = seconds > 0 ? n / seconds : 0;
      r->skippedFiles = std::stol(f[6]);
      return true;
    }
    if (f[0] == "error" && f.size() >= 3) {
      r->exitCode = std::stoi(f[1]);
      r->error = f[2];
      return true;
    }
  } catch (const std::exception&) {
  }
  return false;
}

int RunBatch(const ReplayOptions& options, const std::string& program) {
  return Batch(options, program).Run();
}

}  // namespace pupiltrak
