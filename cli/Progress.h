// Progress of a load or configure run on standard error: at every wait of the operation, which
// pass it is in and which ports still miss what. Printed only while standard error is a terminal,
// so that scripts and logs get nothing extra.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// devices[i] is the device of comm index i. Prints to out when it is a terminal (or when force).
void StartProgress(const std::vector<std::string>& devices, std::FILE* out, bool force = false);
void StopProgress();
