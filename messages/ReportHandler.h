// Report dispatch and verification: records each report's arrival in its port's Group Status and,
// by Operation Mode, shows the group (1) or compares it with the Settings Image (2).
#pragma once

#include "link/PortContext.h"

void ReportHandler(PortContext& context);
