// fenwyd8200 --headless: the probe logic with no window, as a service.
#pragma once

namespace fenwyd::headless {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitOutputFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitPortFailed = 3;

// Runs the logger, or prints the help or version text, under a
// QCoreApplication: no display is needed. argv as main() has it.
int Main(int argc, char** argv);

// The window program's way in: replaces this process by the lean logger
// program (fenwyd8200-headless beside it, which loads no window libraries
// and so keeps a service's memory small) with the same arguments. Returns
// only when there is no such program or it cannot be run.
void HandOver(char** argv);
constexpr const char* kLeanProgram = "fenwyd8200-headless";

}  // namespace fenwyd::headless
