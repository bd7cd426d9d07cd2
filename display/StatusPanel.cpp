#include "display/StatusPanel.h"

void DrawSharedStatusPanel(QImage&) {}
