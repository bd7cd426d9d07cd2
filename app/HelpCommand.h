#pragma once
// The Help button (16): shows the welcome topic of the program's help pages.

#include <string>

namespace pupiltrak {

// The folder that holds the help pages (in its "help/"): programDirectory when they lie beside
// the program (a build folder, a portable copy), else the installed data folder when they are
// there, else programDirectory (the viewer then says the page is missing). Ends with '/'.
std::string HelpDirectory(const std::string& programDirectory);

// helpDirectory ends with '/'; gives "<helpDirectory>pupiltrak08.chm::/Welcome.html".
std::string HelpTopicPath(const std::string& helpDirectory);

// Hands the welcome topic to the help viewer; nothing is logged.
void HelpCommand();

}  // namespace pupiltrak
