#include "mapping/GazeMapping.h"

void FitGazeMapping(const std::string&) {}
