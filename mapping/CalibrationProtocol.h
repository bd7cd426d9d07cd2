#pragma once
// "CalibrationProtocol.txt": the append-only record of every calibration.
//
// The stream is opened by the Calibrate command and closed at Stop Tracking (GUI thread), and
// written by the frame thread (sample lines, mapping report). All of it goes through one
// mutex, so a second Calibrate that ends the earlier stream never races a line being written,
// and lines reach the file in the order they were produced. Lines due while no stream is open
// are dropped: the run and the fit go on without them.
//
// Every line ends in CR LF, written explicitly (the file has always had DOS line ends and
// other tools read it).

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace pupiltrak {

class MachineFacts;

struct CalibrationData;
struct GazeMapping;
struct MappingFit;
struct AccuracySums;

inline constexpr const char* kCalibrationProtocolFileName = "CalibrationProtocol.txt";

// Where the protocol lines go. Write appends the whole text and returns whether all of it
// reached the file.
class ProtocolStream {
 public:
  virtual ~ProtocolStream() = default;
  virtual bool Write(const std::string& text) = 0;
};

// Opens path for appending; on failure returns null and sets *error to the reason.
using ProtocolOpener =
    std::function<std::unique_ptr<ProtocolStream>(const std::string& path, std::string* error)>;

// The file stream: opened "ab", unbuffered, so that every line or report goes to the file in
// one write and nothing half-written lingers in a buffer after a failure.
std::unique_ptr<ProtocolStream> OpenProtocolFile(const std::string& path, std::string* error);

class CalibrationProtocol {
 public:
  explicit CalibrationProtocol(ProtocolOpener opener = OpenProtocolFile);

  // Ends an open stream (flushed and closed), then opens path. Returns false with the reason
  // when the file cannot be opened; the protocol is then closed.
  bool Open(const std::string& path, std::string* error = nullptr);
  bool IsOpen() const;
  // Appends text when a stream is open; dropped otherwise. A failed write is counted and the
  // stream stays open for the next lines.
  void Write(const std::string& text);
  // Appends finalText (when open) and closes the stream. Nothing happens when none is open.
  void Close(const std::string& finalText);

  void SetOpener(ProtocolOpener opener);
  // Lines or blocks that were dropped (no stream) or failed to write (tests and diagnostics).
  int Dropped() const;
  int FailedWrites() const;
  // Closed without writing, the real file opener, zero counts (tests).
  void Reset();

 private:
  mutable std::mutex mutex_;
  ProtocolOpener opener_;
  std::unique_ptr<ProtocolStream> stream_;
  int dropped_ = 0;
  int failed_ = 0;
};

// The protocol's path on that machine (a session's): in the program's directory when the
// program may write there, otherwise in the user's data folder (created when missing).
std::string CalibrationProtocolPath(MachineFacts& machine);
// The start-up log line that says where the protocol goes.
std::string ProtocolLocationLine(MachineFacts& machine);

// A double as "%.2lf" in the C locale, whatever locale the program runs in.
std::string FormatFixed2(double value);

// "Point = %d\tSample = %d\tdxL = %.2lf\tdyL = %.2lf\tdxR = %.2lf\tdyR = %.2lf" and CR LF.
std::string SampleLineText(int target, int slot, double dxL, double dyL, double dxR, double dyR);
// The mapping report after a fit: per-target means over slots 10..39, the left-eye and then the
// right-eye mapping, the video file line. An eye whose fit failed gets an extra line after its
// two functions saying so.
std::string MappingReportText(const CalibrationData& data, const MappingFit& fit,
                              const std::string& captureFileName);

// The last complete mapping report of a protocol's text: both eyes' four functions, neither
// eye's fit failed. Reads CR LF and LF line ends. Returns false with one sentence in *error
// (naming `name` and the line) when a report's line is garbled or no complete report is in it.
// reportLine (may be null): the line number, from 1, of the report's "Left eye mapping:".
// When the last report's fit failed, the error says so; when an older complete report is used
// instead, *warning (may be null) names both by line and video file line, else it is cleared.
bool ReadLastMapping(const std::string& text, const std::string& name, GazeMapping* mapping,
                     std::string* error, int* reportLine = nullptr, std::string* warning = nullptr);
// The same on a protocol file.
bool ReadLastMappingFromFile(const std::string& path, GazeMapping* mapping, std::string* error,
                             int* reportLine = nullptr, std::string* warning = nullptr);

// At Stop Tracking: accuracy lines, then close (nothing when not open).
void CloseProtocolWithAccuracy(CalibrationProtocol& protocol, const AccuracySums& sums,
                               int screenWidth);

}  // namespace pupiltrak
