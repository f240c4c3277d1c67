// The real program as a process: ended by a signal, it shuts down as when its
// window is closed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>

#include "e2e/e2e_support.h"
#include "support/process.h"

namespace fenwyd::testing {
namespace {

namespace fs = std::filesystem;

// A copy of the program in a folder of its own, its Comm2 mapped to a
// simulator, with an interval of 45 minutes in its configuration file (read
// as 30, so a file that says 30 afterwards was written at exit).
struct RunningProgram {
    probesim::ProbeSim sim{FixedProbe()};
    QTemporaryDir dir;
    fs::path folder{dir.path().toStdString()};
    pid_t pid = -1;

    bool start() {
        if (!sim.start()) return false;
        const fs::path config = folder / "config";
        fs::create_directories(config);
        fs::copy_file(FENWYD_PROGRAM, folder / "fenwyd8200");
        WriteFile(folder / "Fenwyd8200.cfg",
                  " 3 \r\nV/m\r\n" + folder.string() + "\r\n15\r\n 45 \r\n");
        WriteFile(folder / "testquery.txt", "Where?,Location,Lab 3\r\n");
        WriteFile(config / "Fenwyd 8200.conf", "[Ports]\nComm3=" + sim.devicePath() + "\n");
        const int log =
            ::open((folder / "program.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        pid = Spawn((folder / "fenwyd8200").string(), {},
                    EnvironmentWith({{"XDG_CONFIG_HOME", config.string()},
                                     {"XDG_RUNTIME_DIR", folder.string()},
                                     {"QT_QPA_PLATFORM", "offscreen"}}),
                    log, log);
        ::close(log);
        return pid > 0;
    }
    bool reading() const { return sim.commandCount() > 0; }
};

TEST(Program, EndingSignalsRunTheNormalShutdown) {
    const int endings[] = {SIGTERM, SIGINT, SIGHUP};
    RunningProgram programs[3];
    for (RunningProgram& p : programs) ASSERT_TRUE(p.start());
    for (int i = 0; i < 3; ++i) {
        RunningProgram& p = programs[i];
        SCOPED_TRACE(strsignal(endings[i]));
        ASSERT_TRUE(RunUntil([&] { return p.reading(); }, 30000))
            << ReadFile(p.folder / "program.log");
        ::kill(p.pid, endings[i]);
        const int code = WaitExit(p.pid, 10000);
        if (code < 0) Stop(p.pid, 0);
        EXPECT_EQ(code, 0) << ReadFile(p.folder / "program.log");
        // The units letter of the last reading, the sample rate the list
        // holds, the interval as applied: written at exit.
        EXPECT_EQ(ReadFile(p.folder / "Fenwyd8200.cfg"),
                  " 3 \r\nG\r\n" + p.folder.string() + "\r\n2\r\n 30 \r\n");
        EXPECT_EQ(ReadFile(p.folder / "testquery.txt"), "Where?,Location,Lab 3\r\n");
        EXPECT_NE(ReadFile(p.folder / "config" / "Fenwyd 8200.conf").find("MainLeft="),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace fenwyd::testing
