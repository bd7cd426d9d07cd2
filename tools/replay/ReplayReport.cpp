#include "ReplayReport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "mapping/AccuracyMeasures.h"

namespace pupiltrak {

std::string CsvHeader(bool withTargets) {
  return std::string(
             "frame,time_ms,face_found,face_x1,face_y1,face_x2,face_y2,"
             "pupil1_found,pupil1_x,pupil1_y,pupil2_found,pupil2_x,pupil2_y,"
             "dxL,dyL,dxR,dyR,blink,detection_ms,frame_ms,gaze_x,gaze_y") +
         (withTargets ? ",target_x,target_y,phase\n" : "\n");
}

namespace {
std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}
}  // namespace

std::string CsvRow(const FrameRow& row, const FrameResults& r, bool gazeDirection,
                   bool withTargets) {
  std::string s = std::to_string(row.frame) + "," + Fixed(row.timeMs, 3) + ",";
  s += r.faceFound ? "1," : "0,";
  if (r.faceFound) {
    for (int i = 0; i < 4; ++i) s += std::to_string(r.faceRect[i]) + ",";
  } else {
    s += ",,,,";
  }
  for (int eye = 0; eye < 2; ++eye) {
    bool found = r.faceFound && gazeDirection && r.pupilFound[eye];
    s += found ? "1," : "0,";
    if (found)
      s += std::to_string(r.pupilPos[eye].x) + "," + std::to_string(r.pupilPos[eye].y) + ",";
    else
      s += ",,";
  }
  bool left = r.faceFound && gazeDirection && r.pupilFound[0];
  bool right = r.faceFound && gazeDirection && r.pupilFound[1];
  s += left ? Fixed(r.dxL, 4) + "," + Fixed(r.dyL, 4) + "," : ",,";
  s += right ? Fixed(r.dxR, 4) + "," + Fixed(r.dyR, 4) + "," : ",,";
  s += row.blink ? "1," : "0,";
  s += row.detectionRenewed ? Fixed(r.detectionMs, 3) : "";
  s += "," + Fixed(row.frameMs, 3);
  s += row.gazeFound ? "," + Fixed(row.gazeX, 2) + "," + Fixed(row.gazeY, 2) : ",,";
  if (withTargets) {
    s += row.hasTarget ? "," + Fixed(row.targetX, 1) + "," + Fixed(row.targetY, 1) : ",,";
    s += row.phase == kAccuracyPhase ? ",accuracy"
         : row.phase >= 0            ? "," + std::to_string(row.phase)
                                     : ",";
  }
  return s + "\n";
}

void ReplaySummary::Add(const FrameRow& row, const FrameResults& r, const StageTimings& timings) {
  ++frames;
  if (keepStages) {
    stages.push_back(timings);
    if (frames == 1000) {
      long peak = 0;
      ResidentMemoryKb(&residentAfter1000Kb, &peak);
    }
  }
  if (r.faceFound) ++faceFound;
  if (r.faceFound && r.pupilFound[0] && r.pupilFound[1]) ++bothPupils;
  if (row.blink) ++blinks;
  frameMs.push_back(row.frameMs);
}

namespace {
double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  size_t k = static_cast<size_t>(std::ceil(q * static_cast<double>(v.size()))) - 1;
  k = std::min(k, v.size() - 1);
  std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
  return v[k];
}
}  // namespace

double ReplaySummary::MedianMs() const { return Quantile(frameMs, 0.5); }
double ReplaySummary::Percentile95Ms() const { return Quantile(frameMs, 0.95); }

std::string ReplaySummary::Format(double wallSeconds) const {
  auto pct = [this](long n) { return frames ? 100.0 * static_cast<double>(n) / frames : 0.0; };
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "frames: %ld\nface found: %.1f %%\nboth pupils: %.1f %%\nblinks: %ld\n"
                "per-frame time: median %.2f ms, 95th percentile %.2f ms\n"
                "frames per second: %.1f\n",
                frames, pct(faceFound), pct(bothPupils), blinks, MedianMs(), Percentile95Ms(),
                wallSeconds > 0 ? static_cast<double>(frames) / wallSeconds : 0.0);
  return buf;
}

std::string ReplaySummary::FormatStages() const {
  if (!keepStages) return "";
  struct Row {
    const char* name;
    double StageTimings::*stage;
  };
  static const Row rows[] = {{"grey, small image, equalisation", &StageTimings::convert},
                             {"face detection", &StageTimings::face},
                             {"finder 1 (both eyes)", &StageTimings::finder1},
                             {"finder 2 + eye vector (both eyes)", &StageTimings::finder2},
                             {"tiles, eye regions, camera quarter", &StageTimings::tiles},
                             {"status and calibration panels", &StageTimings::panels}};
  std::string out = "stage (ms)                            median     mean      p95\n";
  char buf[160];
  const auto line = [&](const char* name, const std::vector<double>& v) {
    double mean = 0;
    for (double x : v) mean += x;
    if (!v.empty()) mean /= static_cast<double>(v.size());
    std::snprintf(buf, sizeof buf, "  %-34s %7.3f  %7.3f  %7.3f\n", name, Quantile(v, 0.5), mean,
                  Quantile(v, 0.95));
    out += buf;
  };
  std::vector<double> v(stages.size());
  for (const Row& row : rows) {
    for (size_t i = 0; i < stages.size(); ++i) v[i] = stages[i].*row.stage;
    line(row.name, v);
  }
  line("whole frame (all stages)", frameMs);
  // Faces found ahead on another thread: their time is not in the pipeline's.
  for (size_t i = 0; i < stages.size(); ++i) v[i] = stages[i].faceAhead;
  if (std::any_of(v.begin(), v.end(), [](double x) { return x != 0; }))
    line("face, found ahead (other thread)", v);
  if (residentAfter1000Kb > 0) {
    std::snprintf(buf, sizeof buf, "resident memory after 1000 frames: %.1f MB\n",
                  residentAfter1000Kb / 1024.0);
    out += buf;
  }
  // The per-frame times kept for this table grow with the run; the tracker itself does not.
  const double keptMb =
      static_cast<double>(stages.size() * sizeof(StageTimings) + frameMs.size() * sizeof(double)) /
      (1024.0 * 1024.0);
  std::snprintf(buf, sizeof buf,
                "resident memory after %ld frames: %.1f MB (peak %.1f MB; %.1f MB of it are "
                "the per-frame times kept for this summary)\n",
                frames, residentAtEndKb / 1024.0, residentPeakKb / 1024.0, keptMb);
  out += buf;
  return out;
}

std::string FixationCsvHeader() {
  return "number,start_frame,end_frame,start_ms,duration_ms,x,y,dispersion_deg\n";
}

std::string FixationCsvRow(const Fixation& f) {
  char line[200];
  std::snprintf(line, sizeof line, "%d,%ld,%ld,%.1f,%.1f,%.1f,%.1f,%.3f\n", f.number, f.startFrame,
                f.endFrame, f.startMs, f.durationMs, f.x, f.y, f.dispersionDegrees);
  return line;
}

void ResidentMemoryKb(long* resident, long* peak) {
  *resident = *peak = 0;
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return;
  char line[256];
  while (std::fgets(line, sizeof line, f)) {
    long kb = 0;
    if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) *resident = kb;
    if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) *peak = kb;
  }
  std::fclose(f);
}

AtomicOutputFile::AtomicOutputFile(std::string path)
    : path_(std::move(path)), temp_(path_ + ".partial") {}

AtomicOutputFile::~AtomicOutputFile() {
  if (file_) {
    std::fclose(file_);
    std::remove(temp_.c_str());
  }
}

bool AtomicOutputFile::Open(std::string* error) {
  file_ = std::fopen(temp_.c_str(), "wb");
  if (!file_) {
    *error = "cannot write " + path_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool AtomicOutputFile::Write(const std::string& text) {
  if (!file_ || failed_) return false;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
  return !failed_;
}

bool AtomicOutputFile::Commit(std::string* error) {
  if (!file_) {
    *error = "cannot write " + path_;
    return false;
  }
  bool ok = !failed_ && std::fflush(file_) == 0;
  int err = errno;
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok) {
    std::remove(temp_.c_str());
    *error = "writing " + path_ + " failed: " + std::strerror(err ? err : EIO);
    return false;
  }
  if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
    *error = "cannot move " + temp_ + " to " + path_ + ": " + std::strerror(errno);
    std::remove(temp_.c_str());
    return false;
  }
  return true;
}

}  // namespace pupiltrak
