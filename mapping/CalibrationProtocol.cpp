#include "mapping/CalibrationProtocol.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "mapping/AccuracyMeasures.h"
#include "mapping/CalibrationData.h"
#include "mapping/GazeMapping.h"
#include "platform/Machine.h"

namespace pupiltrak {

namespace {

class FileProtocolStream : public ProtocolStream {
 public:
  explicit FileProtocolStream(std::FILE* file) : file_(file) {}
  ~FileProtocolStream() override { std::fclose(file_); }
  bool Write(const std::string& text) override {
    if (text.empty()) return true;
    size_t written = std::fwrite(text.data(), 1, text.size(), file_);
    if (written != text.size() || std::fflush(file_) != 0) {
      std::clearerr(file_);
      return false;
    }
    return true;
  }

 private:
  std::FILE* file_;
};

}  // namespace

std::unique_ptr<ProtocolStream> OpenProtocolFile(const std::string& path, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  // Unbuffered: each line or report is one write, so a failed write leaves nothing behind to
  // be written later in the middle of another line.
  std::setvbuf(file, nullptr, _IONBF, 0);
  return std::make_unique<FileProtocolStream>(file);
}

CalibrationProtocol::CalibrationProtocol(ProtocolOpener opener) : opener_(std::move(opener)) {}

bool CalibrationProtocol::Open(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A second Calibrate without Stop Tracking in between: the earlier stream is closed here,
  // under the lock that every write takes, so no line is lost or written after the close.
  stream_.reset();
  std::string why;
  stream_ = opener_ ? opener_(path, &why) : nullptr;
  if (!stream_) {
    if (error) *error = why.empty() ? "cannot be opened" : why;
    return false;
  }
  return true;
}

bool CalibrationProtocol::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stream_ != nullptr;
}

void CalibrationProtocol::Write(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!stream_) {
    ++dropped_;
    return;
  }
  if (!stream_->Write(text)) ++failed_;
}

void CalibrationProtocol::Close(const std::string& finalText) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!stream_) return;
  if (!stream_->Write(finalText)) ++failed_;
  stream_.reset();
}

void CalibrationProtocol::SetOpener(ProtocolOpener opener) {
  std::lock_guard<std::mutex> lock(mutex_);
  opener_ = std::move(opener);
}

int CalibrationProtocol::Dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

int CalibrationProtocol::FailedWrites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}

void CalibrationProtocol::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  stream_.reset();
  opener_ = OpenProtocolFile;
  dropped_ = 0;
  failed_ = 0;
}

std::string CalibrationProtocolPath(MachineFacts& machine) {
  // Beside the program whenever it may write there (a build folder, a portable copy); an
  // installed program's folder belongs to the system, so the protocol goes to the user's.
  const std::string programDir = machine.ProgramDirectory();
  if (machine.FolderWritable(programDir)) return programDir + kCalibrationProtocolFileName;
  const std::string userDir = machine.UserDataDirectory();
  MakeFolders(userDir);  // a failure shows when the protocol is opened
  return userDir + kCalibrationProtocolFileName;
}

std::string ProtocolLocationLine(MachineFacts& machine) {
  return "Calibrations are recorded in " + CalibrationProtocolPath(machine);
}

std::string FormatFixed2(double value) {
  // to_chars ignores the locale (Qt sets LC_ALL from the environment, and some locales print
  // a decimal comma) and rounds exactly like printf("%.2f").
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  if (r.ec != std::errc()) return "overflow";
  return std::string(buf, r.ptr);
}

std::string SampleLineText(int target, int slot, double dxL, double dyL, double dxR, double dyR) {
  return "Point = " + std::to_string(target) + "\tSample = " + std::to_string(slot) +
         "\tdxL = " + FormatFixed2(dxL) + "\tdyL = " + FormatFixed2(dyL) +
         "\tdxR = " + FormatFixed2(dxR) + "\tdyR = " + FormatFixed2(dyR) + "\r\n";
}

namespace {

std::string FunctionLine(const char* name, const LinearFunction& f) {
  return std::string(name) + " = " + FormatFixed2(f.a) + " * dx + " + FormatFixed2(f.b) +
         " * dy + " + FormatFixed2(f.c) + " Error = " + FormatFixed2(f.Error) + "\r\n";
}

std::string FailureLine(const char* xName, const char* yName, const std::string& why) {
  return std::string("Fit failed (") + why + "): " + xName + " and " + yName +
         " were not fitted and keep the values above\r\n";
}

double MeanOverFittedSlots(const double* values) {
  double sum = 0;
  for (int s = kFirstFittedSlot; s < kSlotsPerTarget; ++s) sum += values[s];
  return sum / (kSlotsPerTarget - kFirstFittedSlot);
}

}  // namespace

std::string MappingReportText(const CalibrationData& data, const MappingFit& fit,
                              const std::string& captureFileName) {
  std::string text = "\r\n";
  for (int k = 0; k < kCalibrationTargets; ++k) {
    const CalibrationTarget& t = data.targets[k];
    text += "Point " + std::to_string(k) +
            ":\tM(dxL) = " + FormatFixed2(MeanOverFittedSlots(t.dxL)) +
            "\tM(dyL) = " + FormatFixed2(MeanOverFittedSlots(t.dyL)) +
            "\tM(dxR) = " + FormatFixed2(MeanOverFittedSlots(t.dxR)) +
            "\tM(dyR) = " + FormatFixed2(MeanOverFittedSlots(t.dyR)) + "\r\n";
  }
  text += "\r\n";
  text += "Left eye mapping:\r\n";
  text += FunctionLine("GazeLX", fit.mapping.GazeLX);
  text += FunctionLine("GazeLY", fit.mapping.GazeLY);
  if (!fit.leftFitted) text += FailureLine("GazeLX", "GazeLY", fit.leftFailure);
  text += "\r\n";
  text += "Right eye mapping:\r\n";
  text += FunctionLine("GazeRX", fit.mapping.GazeRX);
  text += FunctionLine("GazeRY", fit.mapping.GazeRY);
  if (!fit.rightFitted) text += FailureLine("GazeRX", "GazeRY", fit.rightFailure);
  text += "\r\n";
  text += "Corresponding video file: " + captureFileName + "\r\n";
  text += "\r\n";
  return text;
}

namespace {

// "NAME = a * dx + b * dy + c Error = e" as FunctionLine writes it, numbers read in the C
// locale whatever the program's locale is.
bool ParseFunctionLine(const std::string& line, const char* name, LinearFunction* f) {
  const std::string head = std::string(name) + " = ";
  if (line.compare(0, head.size(), head) != 0) return false;
  const char* p = line.data() + head.size();
  const char* end = line.data() + line.size();
  double values[4];
  const char* separators[4] = {" * dx + ", " * dy + ", " Error = ", ""};
  for (int i = 0; i < 4; ++i) {
    const std::from_chars_result r = std::from_chars(p, end, values[i]);
    if (r.ec != std::errc() || !std::isfinite(values[i])) return false;
    p = r.ptr;
    const size_t n = std::strlen(separators[i]);
    if (static_cast<size_t>(end - p) < n || std::memcmp(p, separators[i], n) != 0) return false;
    p += n;
  }
  if (p != end) return false;
  *f = {values[0], values[1], values[2], values[3]};
  return true;
}

}  // namespace

namespace {

// A report named for the user: its line and, when the file has it, its video file line (the
// protocol has no date of its own).
std::string ReportName(const std::vector<std::string>& lines, size_t heading, size_t end) {
  std::string text = "the report at line " + std::to_string(heading + 1);
  for (size_t k = end; k < lines.size() && k < end + 3; ++k)
    if (lines[k].rfind("Corresponding video file: ", 0) == 0)
      return text + " (\"" + lines[k].substr(0, 120) + "\")";
  return text;
}

}  // namespace

bool ReadLastMapping(const std::string& text, const std::string& name, GazeMapping* mapping,
                     std::string* error, int* reportLine, std::string* warning) {
  if (warning) warning->clear();
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  // A last line without its line end may have been cut off mid-write.
  const bool lastLineCut = !text.empty() && text.back() != '\n';

  // A report: the heading, two functions, an optional failure line, an empty line, the same
  // for the right eye. A report cut off by the end of the file is incomplete, not garbled.
  struct Expected {
    const char* text;  // the whole line, or a function's name
    LinearFunction GazeMapping::*function;
  };
  static const Expected kReport[] = {{"GazeLX", &GazeMapping::GazeLX},
                                     {"GazeLY", &GazeMapping::GazeLY},
                                     {"", nullptr},
                                     {"Right eye mapping:", nullptr},
                                     {"GazeRX", &GazeMapping::GazeRX},
                                     {"GazeRY", &GazeMapping::GazeRY}};
  bool found = false;
  std::string usedName, failedName, failedLine;  // the report used; the last failed one after it
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != "Left eye mapping:") continue;
    GazeMapping m;
    bool failed = false, cut = false;
    size_t j = i + 1;
    for (const Expected& e : kReport) {
      // An eye whose fit failed kept the identity: that report maps nothing.
      if (!e.function && e.text[0] == '\0' && j < lines.size() &&
          lines[j].rfind("Fit failed", 0) == 0) {
        failed = true;
        failedLine = lines[j];
        ++j;
      }
      if (j >= lines.size()) {
        cut = true;
        break;
      }
      const bool ok =
          e.function ? ParseFunctionLine(lines[j], e.text, &(m.*e.function)) : lines[j] == e.text;
      if (!ok) {
        if (j + 1 == lines.size() && lastLineCut) {
          cut = true;
          break;
        }
        const std::string expected =
            e.function  ? std::string("\"") + e.text + " = a * dx + b * dy + c Error = e\""
            : e.text[0] ? std::string("\"") + e.text + "\""
                        : std::string("an empty line");
        *error = name + ", line " + std::to_string(j + 1) + ": expected " + expected +
                 " in a mapping report, found \"" + lines[j].substr(0, 80) + "\"";
        return false;
      }
      ++j;
    }
    if (cut) break;
    if (j < lines.size() && lines[j].rfind("Fit failed", 0) == 0) {
      failed = true;
      failedLine = lines[j];
      ++j;
    }
    if (!failed) {
      *mapping = m;
      found = true;
      usedName = ReportName(lines, i, j);
      failedName.clear();
      if (reportLine) *reportLine = static_cast<int>(i) + 1;
    } else {
      failedName = ReportName(lines, i, j);
    }
    i = j - 1;
  }
  if (!failedName.empty() && !found) {
    *error = name + ": the last calibration's fit failed, so it gave no mapping (" + failedName +
             " says \"" + failedLine.substr(0, 60) + "...\"); calibrate again";
    return false;
  }
  if (!failedName.empty() && warning)
    *warning = name + ": the last calibration's fit failed (" + failedName +
               "); the gaze comes "
               "from the older complete " +
               usedName.substr(4);
  if (!found) {
    *error = name + " holds no complete mapping report (" + std::to_string(lines.size()) +
             " lines read; a calibration writes one when its last target is done)";
  }
  return found;
}

bool ReadLastMappingFromFile(const std::string& path, GazeMapping* mapping, std::string* error,
                             int* reportLine, std::string* warning) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read the protocol " + path + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ReadLastMapping(text.str(), path, mapping, error, reportLine, warning);
}

void CloseProtocolWithAccuracy(CalibrationProtocol& protocol, const AccuracySums& sums,
                               int screenWidth) {
  protocol.Close(AccuracyLinesText(sums, screenWidth));
}

}  // namespace pupiltrak
