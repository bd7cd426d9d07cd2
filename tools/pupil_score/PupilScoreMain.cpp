// pupiltrak08-score-pupils: how well replays found the pupils, against annotated eye centres.
//   pupiltrak08-score-pupils --eyes EYES.csv RUN [RUN ...]
// RUN is a replay's frames.csv or the output folder that holds it; every RUN is scored against
// the last --eyes before it, so several runs of one recording compare in one table.

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "PupilScore.h"

using namespace pupiltrak;

namespace {

void Usage(FILE* to) {
  std::fputs(
      "Usage: pupiltrak08-score-pupils --eyes EYES.csv RUN [RUN ...] [--eyes EYES2.csv RUN ...]\n"
      "Scores the pupils of replays (RUN: a frames.csv of pupiltrak08-replay, or its output\n"
      "folder) against annotated eye centres (EYES.csv: frame,left_x,left_y,right_x,right_y,iod,\n"
      "left being the eye on the picture's left, iod the distance between the two centres).\n"
      "Prints one CSV row per run: frames, face found %, both pupils found % (of all frames),\n"
      "the annotated frames, the share of them with both pupils within 0.05, 0.10 and 0.25 of\n"
      "the inter-eye distance of their centres, and the median of the larger eye's error (in\n"
      "inter-eye distances; inf when most annotated frames lack a pupil).\n"
      "Exit status: 0 scored, 1 bad usage, 2 a file that cannot be read or makes no sense.\n",
      to);
}

bool IsFolder(const std::string& path) {
  struct stat s {};
  return stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
  std::map<long, EyeCentres> eyes;
  std::string eyesName;
  bool headerDone = false;
  int scored = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    }
    if (arg == "--eyes") {
      if (i + 1 >= argc || argv[i + 1][0] == '-') {
        std::fprintf(stderr, "pupiltrak08-score-pupils: --eyes needs a file of eye centres\n");
        return 1;
      }
      eyesName = argv[++i];
      std::ifstream in(eyesName);
      std::string error;
      if (!in) {
        std::fprintf(stderr, "pupiltrak08-score-pupils: cannot read %s\n", eyesName.c_str());
        return 2;
      }
      if (!ReadEyeCentres(in, &eyes, &error)) {
        std::fprintf(stderr, "pupiltrak08-score-pupils: %s: %s\n", eyesName.c_str(), error.c_str());
        return 2;
      }
      continue;
    }
    if (arg.rfind("-", 0) == 0) {
      std::fprintf(stderr, "pupiltrak08-score-pupils: unknown option %s\n", arg.c_str());
      Usage(stderr);
      return 1;
    }
    if (eyes.empty()) {
      std::fprintf(stderr, "pupiltrak08-score-pupils: give --eyes before the runs to score\n");
      return 1;
    }
    const std::string path = IsFolder(arg) ? arg + "/frames.csv" : arg;
    std::ifstream in(path);
    if (!in) {
      std::fprintf(stderr, "pupiltrak08-score-pupils: cannot read %s\n", path.c_str());
      return 2;
    }
    PupilScore score;
    std::string error;
    if (!ScorePupils(in, eyes, &score, &error)) {
      std::fprintf(stderr, "pupiltrak08-score-pupils: %s: %s\n", path.c_str(), error.c_str());
      return 2;
    }
    if (score.annotated == 0)
      std::fprintf(stderr, "pupiltrak08-score-pupils: %s has none of the frames of %s\n",
                   path.c_str(), eyesName.c_str());
    if (!headerDone) std::printf("%s\n", ScoreHeader().c_str());
    headerDone = true;
    std::printf("%s\n", ScoreRow(arg, score).c_str());
    ++scored;
  }
  if (scored == 0) {
    Usage(stderr);
    return 1;
  }
  return 0;
}
