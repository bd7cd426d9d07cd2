#pragma once
// Many inputs at once: each input runs in a worker process of its own (this program again, on
// that one input) into a subfolder of the output folder, a few workers at a time.

#include <string>
#include <vector>

#include "ReplayOptions.h"

namespace pupiltrak {

// Exit status of a batch in which some inputs failed.
inline constexpr int kExitBatchFailed = 4;

// The subfolder of every input: its base name (a pattern's folder name), with characters other
// than letters, digits, '.', '_' and '-' replaced, made unique by "-2", "-3", ...
std::vector<std::string> BatchFolderNames(const std::vector<std::string>& inputs);

// What a worker reports of one input (the row of summary.csv).
struct BatchResult {
  std::string input;
  std::string folder;
  long frames = 0;
  double faceFoundPercent = 0;
  double bothPupilsPercent = 0;
  long blinks = 0;
  double framesPerSecond = 0;
  long skippedFiles = 0;
  int exitCode = 0;
  std::string error;  // empty when the input went through
};

std::string BatchSummaryHeader();
std::string BatchSummaryRow(const BatchResult& r);

// The lines a worker writes on standard output for the batch that started it.
std::string WorkerProgressLine(long frames);
std::string WorkerResultLine(long frames, long faceFound, long bothPupils, long blinks,
                             double wallSeconds, long skippedFiles);
std::string WorkerErrorLine(int exitCode, const std::string& message);
// Reads one such line into *result (progress into *frames); false for any other line.
bool ReadWorkerLine(const std::string& line, BatchResult* result, long* frames);

// Runs options.inputs with options.jobs workers of `program`; writes DIR/summary.csv, shows one
// progress line for the whole batch and returns the exit status.
int RunBatch(const ReplayOptions& options, const std::string& program);

}  // namespace pupiltrak
