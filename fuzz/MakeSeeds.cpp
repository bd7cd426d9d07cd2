// Writes the seed corpus of the ProcessFrame fuzzer: one file per awkward frame of
// EdgeCaseRecipes, named after it. Usage: pupiltrak_fuzz_seeds <directory>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>

#include "FrameRecipe.h"

namespace pupiltrak {

namespace {

std::string FileName(int index, const std::string& name) {
  std::string file = std::to_string(100 + index) + "-";
  for (char c : name) file += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
  return file;
}

}  // namespace

}  // namespace pupiltrak

using namespace pupiltrak;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 1;
  }
  const std::string dir = argv[1];
  int index = 0;
  for (const fuzzing::NamedRecipe& c : fuzzing::EdgeCaseRecipes()) {
    const std::vector<uint8_t> bytes = fuzzing::EncodeRecipe(c.recipe);
    const std::string path = dir + "/" + FileName(index++, c.name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 2;
    }
  }
  std::printf("%d seeds written to %s\n", index, dir.c_str());
  return 0;
}
