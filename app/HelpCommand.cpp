#include "app/HelpCommand.h"

#include "platform/Machine.h"
#include "platform/Prompts.h"

namespace pupiltrak {

std::string HelpTopicPath(const std::string& programDirectory) {
  return programDirectory + "pupiltrak08.chm::/Welcome.html";
}

void HelpCommand() { UserPrompts().ShowHelp(HelpTopicPath(Machine().ProgramDirectory())); }

}  // namespace pupiltrak
