#include <iostream>

#include "app/application_main.h"
#include "app/command_line.h"
#include "platform/application.h"

int main(int argc, char** argv) {
    // --help and --version answer without a display and without starting anything.
    if (const auto answer = answerCommandLine({argv + 1, argv + argc}, ORVANE_VERSION)) {
        (answer->toStandardError ? std::cerr : std::cout) << answer->text;
        return answer->exitStatus;
    }
    if (!platform::hasGraphicalSession()) {
        std::cerr << kNoGraphicalSession;
        return 1;
    }
    return applicationMain(argc, argv);
}
