#include "app/HelpCommand.h"

#include "platform/Machine.h"
#include "platform/Prompts.h"

namespace pupiltrak {

std::string HelpDirectory(const std::string& programDirectory) {
  const std::string welcome = "help/Welcome.html";
  const std::string beside = WithTrailingSlash(programDirectory);
  if (PathExists(beside + welcome)) return beside;
  const std::string installed = InstalledDataDirectory(beside);
  if (PathExists(installed + welcome)) return installed;
  return beside;
}

std::string HelpTopicPath(const std::string& helpDirectory) {
  return helpDirectory + "pupiltrak08.chm::/Welcome.html";
}

void HelpCommand() {
  UserPrompts().ShowHelp(HelpTopicPath(HelpDirectory(Machine().ProgramDirectory())));
}

}  // namespace pupiltrak
