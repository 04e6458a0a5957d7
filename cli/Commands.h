// The commands of vandel-cli. Each returns the exit status (kExitSuccess, kExitFailed, kExitUsage);
// results go to out, messages to err.
#pragma once

#include <cstdio>

#include "cli/Arguments.h"

int RunShow(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunDiff(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunLoad(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunConfigure(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunPorts(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunTrace(const CliArguments& arguments, std::FILE* out, std::FILE* err);

int RunCommand(const CliArguments& arguments, std::FILE* out, std::FILE* err);
