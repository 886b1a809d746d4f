#pragma once

#include <optional>
#include <string>
#include <vector>

// What the command line asks for before anything starts. Options begin with "--" (or are -h and
// -V); Qt's own single-dash options (-platform, -style, ...) are left to Qt.
struct CommandLineAnswer {
    int exitStatus = 0;
    std::string text;
    bool toStandardError = false;
};

// Nothing when the app is to start; otherwise what to print and the status to exit with.
std::optional<CommandLineAnswer> answerCommandLine(const std::vector<std::string>& args,
                                                   const std::string& version);

// Printed, with exit status 1, when there is no display to show the app on.
extern const char kNoGraphicalSession[];
