// pupiltrak08-replay: the eye tracker on recorded video, or the built-in demo, without a dialog.
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "ReplayOptions.h"
#include "ReplayRun.h"

int main(int argc, char** argv) {
  std::string error;
  auto options = ParseReplayOptions(argc, argv, &error);
  if (!options) {
    std::fprintf(stderr, "pupiltrak08-replay: %s\n", error.c_str());
    return kExitUsage;
  }
  if (options->help) {
    std::fputs(ReplayUsage().c_str(), stdout);
    return kExitOk;
  }
  // The panels are drawn with Qt's painting, which needs an application but no display.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);

  ReplayOutcome outcome = options->demo ? RunDemo(*options) : RunReplay(*options);
  if (outcome.exitCode != kExitOk && outcome.exitCode != kExitTruncated) {
    std::fprintf(stderr, "pupiltrak08-replay: %s\n", outcome.message.c_str());
    return outcome.exitCode;
  }
  std::fputs(outcome.summary.Format(outcome.wallSeconds).c_str(), stderr);
  std::fputs(outcome.summary.FormatStages().c_str(), stderr);
  std::fprintf(stderr, "CSV: %s\n", outcome.csvPath.c_str());
  if (!options->streamEndpoint.empty())
    std::fprintf(stderr, "stream: %llu messages to %s, %llu dropped\n",
                 static_cast<unsigned long long>(outcome.streamSent),
                 outcome.streamEndpoint.c_str(),
                 static_cast<unsigned long long>(outcome.streamDropped));
  if (!outcome.mosaicPath.empty()) std::fprintf(stderr, "mosaic: %s\n", outcome.mosaicPath.c_str());
  if (options->demo) {
    std::fprintf(stderr, "protocol: %s\n", outcome.protocolPath.c_str());
    for (const auto& line : outcome.accuracy) std::printf("%s\n", line.c_str());
  }
  if (outcome.exitCode == kExitTruncated)
    std::fprintf(stderr, "pupiltrak08-replay: %s\n", outcome.message.c_str());
  return outcome.exitCode;
}
