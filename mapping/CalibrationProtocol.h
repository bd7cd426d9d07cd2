#pragma once
// "CalibrationProtocol.txt": the append-only record of every calibration.

// At Stop Tracking: accuracy lines, then close (nothing when not open).
void CloseCalibrationProtocol();
