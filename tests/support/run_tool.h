// Runs a command-line tool as a content author would, in the current
// directory, and keeps its exit code and what it printed.
#pragma once

#include "support/files.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

struct ToolResult {
    int code;
    std::string out, err;
};

inline ToolResult RunTool(const std::string& tool, const std::vector<std::string>& args) {
    std::string command = "'" + tool + "'";
    for (const auto& arg : args) command += " '" + arg + "'";
    command += " >run.out 2>run.err";
    const int status = std::system(command.c_str());
    ToolResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, test_files::ReadText("run.out"),
                      test_files::ReadText("run.err")};
    std::filesystem::remove("run.out");
    std::filesystem::remove("run.err");
    return result;
}
