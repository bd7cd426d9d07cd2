#include "mapping/CalibrationProtocol.h"

void CloseCalibrationProtocol() {}
