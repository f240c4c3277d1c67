// fenwyd8200 --report: a report of saved data files, written without a
// window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exposure/comparison.h"

namespace fenwyd::report {

constexpr int kExitOk = 0;
constexpr int kExitFile = 1;   // a data file cannot be read or the report written
constexpr int kExitUsage = 2;  // the command line is wrong

struct ReportCommand {
    std::vector<std::string> files;  // one log's pages, in order
    std::string output;
    std::optional<Reference> reference;
    std::string title;  // empty: the first data file's name
    double alarmPercent = 100;
    bool help = false;
};

// Whether the program was started for a report (an argument "--report").
bool WantsReport(int argc, char** argv);

// args[0] is the program. False with what is wrong, one line, for a usage
// error; files are not looked at here.
bool ParseReportCommand(const std::vector<std::string>& args, ReportCommand& out,
                        std::string& error);

std::string ReportUsage();
std::string ReportHelp();

// The whole command: reads the files, writes the report, says on standard
// error what went wrong. The exit code.
int Main(int argc, char** argv);

}  // namespace fenwyd::report
