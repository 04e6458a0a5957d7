// The commands of vandel-cli. Each returns the exit status (kExitSuccess, kExitFailed, kExitUsage);
// results go to out, messages to err.
#pragma once

#include <cstdio>

#include "cli/Arguments.h"
#include "cli/SettingsFileRead.h"

int RunShow(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunDiff(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunLoad(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunConfigure(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunPorts(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunTrace(const CliArguments& arguments, std::FILE* out, std::FILE* err);

// "vandel-cli: TEXT" on err.
void Message(std::FILE* err, const std::string& text);
// Reads a settings file of either form into file, or says why not on err; warns of a size other
// than a settings file's.
bool ReadFileOrSay(const std::string& path, SettingsFileBytes& file, std::FILE* err);

int RunCommand(const CliArguments& arguments, std::FILE* out, std::FILE* err);
