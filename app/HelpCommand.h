#pragma once
// The Help button (16): shows the welcome topic of the help beside the program file.

#include <string>

namespace pupiltrak {

// programDirectory ends with '/'; gives "<programDirectory>pupiltrak08.chm::/Welcome.html".
std::string HelpTopicPath(const std::string& programDirectory);

// Hands the welcome topic of the program's own directory to the help viewer; nothing is logged.
void HelpCommand();

}  // namespace pupiltrak
