// A manifest: the receivers of a configure or verify, one a line:
//
//   # rack 3
//   /dev/serial/by-id/usb-...-if00-port0   rack3.dat   9600,8,N,1
//   rfc2217://10.0.0.7:4001                site7.dat
//   /dev/ttyUSB4
//   /dev/ttyUSB5   site.toml   2d_altitude.altitude_m=312.5   datum.datum="Tokyo from old J6 values"
//
// DEVICE [SETTINGS_FILE] [PC_SETTINGS] [KEY=VALUE]..., separated by blanks; '#' begins a comment,
// blank lines are ignored, and double quotes keep blanks in a field. KEY=VALUE sets a key of the
// settings text form (vandel-settings(5)) over that line's settings file, read as `set` reads it. A settings
// file named relative to nothing is found beside the manifest (the file itself, when the manifest is reached
// through a link). A line without one takes the settings file of the command line, and without PC settings
// those of --pc-settings; DEVICE PC_SETTINGS is read as such. A line holding a control character other than a
// tab (a NUL, an escape) is refused.
#pragma once

#include <string>
#include <vector>

#include "cli/Fleet.h"

// Reads and checks every line; each problem is one message "MANIFEST:LINE: ...". Nothing is opened
// but the manifest (CheckFleet then checks the files and devices of the lines that were read).
bool ReadManifest(const std::string& path, const std::string& defaultFile, const PortLine& defaultPc,
                  std::vector<FleetReceiver>& receivers, std::vector<FleetProblem>& problems);
