// The real program as a process: ended by a signal, it shuts down as when its
// window is closed, whatever it is showing at the moment.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>

#include "e2e/e2e_support.h"
#include "journal/journal.h"
#include "support/files.h"
#include "support/process.h"

namespace fenwyd::testing {
namespace {

namespace fs = std::filesystem;

bool StartsWith(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }
bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// A copy of the program in a folder that is also its home: its settings in
// folder/config, its journal in folder/data. Its configuration file says
// Comm3 and an interval of 45 minutes (read as 30, so a file that says 30
// afterwards was written at exit); Comm3 is a simulator unless told
// otherwise, the other numbers no device. It traces each dialog it opens.
struct Program {
    TempFolder dir;
    fs::path folder = dir.path();
    std::unique_ptr<probesim::ProbeSim> sim;
    Child child;

    fs::path configFile() const { return folder / "Fenwyd8200.cfg"; }
    fs::path settingsFile() const { return folder / "config" / "Fenwyd 8200.conf"; }
    fs::path journalFile() const { return folder / "data" / "Fenwyd 8200" / "journal.sqlite"; }
    std::string output() const { return ReadFile(folder / "program.log"); }

    // The files it finds; comm3Device empty: a simulator.
    bool prepare(bool withConfig = true, const std::string& comm3Device = std::string()) {
        std::string device = comm3Device;
        if (device.empty()) {
            sim = std::make_unique<probesim::ProbeSim>(FixedProbe());
            if (!sim->start()) return false;
            device = sim->devicePath();
        }
        fs::create_directories(folder / "config");
        fs::copy_file(FENWYD_PROGRAM, folder / "fenwyd8200");
        if (withConfig) {
            WriteFile(configFile(), " 3 \r\nV/m\r\n" + folder.string() + "\r\n15\r\n 45 \r\n");
        }
        WriteFile(folder / "testquery.txt", "Where?,Location,Lab 3\r\n");
        // The other numbers stand for nothing: no real device is touched.
        std::string ports = "[Ports]\n";
        for (int n = 1; n <= kPortCount; ++n) {
            ports += "Comm" + std::to_string(n) + "=" +
                     (n == 3 ? device : (folder / ("no-tty" + std::to_string(n))).string()) + "\n";
        }
        WriteFile(settingsFile(), ports);
        return true;
    }
    bool start() {
        const int log =
            ::open((folder / "program.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        child = Child(
            Spawn((folder / "fenwyd8200").string(), {},
                  EnvironmentInHome(folder, {{"QT_QPA_PLATFORM", "offscreen"},
                                             {"QT_LOGGING_RULES", "fenwyd.dialogs.debug=true"}}),
                  log, log));
        ::close(log);
        return child.started();
    }
    // The dialog's trace line ("fenwyd.dialogs: open: ...") in its output.
    bool opened(const std::string& what) const {
        return RunUntil([&] { return output().find("open: " + what) != std::string::npos; }, 30000);
    }
    // Readings taken, not only asked for: the program asks for the next one
    // only when it has dealt with the last, so with three served at least
    // two have been read.
    bool reading() const { return sim && sim->stats().readings >= 3; }

    // Sends the signal: the exit code within 2 s, or -1.
    int endWith(int sig) {
        child.signal(sig);
        return child.wait(2000);
    }
};

TEST(Program, EndingSignalsRunTheNormalShutdown) {
    const int endings[] = {SIGTERM, SIGINT, SIGHUP};
    Program programs[3];
    for (Program& p : programs) ASSERT_TRUE(p.prepare() && p.start());
    for (int i = 0; i < 3; ++i) {
        Program& p = programs[i];
        SCOPED_TRACE(strsignal(endings[i]));
        ASSERT_TRUE(RunUntil([&] { return p.reading(); }, 30000)) << p.output();
        EXPECT_EQ(p.endWith(endings[i]), 0) << p.output();
        // The units letter of the last reading, the sample rate the list
        // holds, the interval as applied: written at exit.
        EXPECT_EQ(ReadFile(p.configFile()),
                  " 3 \r\nG\r\n" + p.folder.string() + "\r\n2\r\n 30 \r\n");
        EXPECT_EQ(ReadFile(p.folder / "testquery.txt"), "Where?,Location,Lab 3\r\n");
        EXPECT_NE(ReadFile(p.settingsFile()).find("MainLeft="), std::string::npos);
    }
}

// A crashed run's log in the program's journal: three readings never saved.
int64_t LeaveACrashedLog(const fs::path& path) {
    fs::create_directories(path.parent_path());
    journal::Journal j;
    int64_t id = 0;
    if (!j.open(path.string()) || !j.beginLog(LogSource::Live, 1796551200000, 0, id)) return 0;
    for (int32_t row = 1; row <= 3; ++row) {
        journal::JournalRow r;
        r.row = row;
        r.reading.utcMs = 1796551200000 + row * 500;
        r.reading.mantissa = 1.5f;
        r.reading.unitsText = "Tesla";
        r.reading.model = 8204;
        if (!j.addRow(id, r)) return 0;
    }
    return id;  // closed without a normal end: as a crash leaves it
}

TEST(Program, AnEndingSignalEndsEveryStartUpDialog) {
    // All of them come before the application's event loop runs.
    struct Case {
        const char* dialog;
        int signal;
        const char* traced;
    };
    const Case cases[] = {
        {"the port picker (no configuration file)", SIGTERM, "Select a Comm Port"},
        {"the splash", SIGINT, "splash"},
        {"the port-open failure", SIGHUP, "message: Unable to open the selected comm port."},
        {"the journal message", SIGTERM, "message: The journal "},
        {"the restore question", SIGINT, "question: The log started "},
    };
    constexpr int kCases = sizeof cases / sizeof cases[0];
    Program programs[kCases];
    ASSERT_TRUE(programs[0].prepare(false));
    ASSERT_TRUE(programs[1].prepare());
    ASSERT_TRUE(programs[2].prepare(true, (programs[2].folder / "no-such-tty").string()));
    ASSERT_TRUE(programs[3].prepare());
    // Where its folder should be, a file: the journal cannot be opened.
    fs::create_directories(programs[3].journalFile().parent_path().parent_path());
    WriteFile(programs[3].journalFile().parent_path(), "not a folder");
    ASSERT_TRUE(programs[4].prepare());
    const int64_t crashed = LeaveACrashedLog(programs[4].journalFile());
    ASSERT_NE(crashed, 0);
    // Started together: the splash alone takes five seconds.
    for (Program& p : programs) ASSERT_TRUE(p.start());

    for (int i = 0; i < kCases; ++i) {
        const Case& c = cases[i];
        Program& p = programs[i];
        SCOPED_TRACE(c.dialog);
        ASSERT_TRUE(p.opened(c.traced)) << p.output();
        EXPECT_EQ(p.endWith(c.signal), 0) << "not ended 2 s after " << strsignal(c.signal) << "\n"
                                          << p.output();
        // The normal shutdown, once: the configuration (the port, and the
        // interval as applied), the notes as read, the window's place.
        const std::string config = ReadFile(p.configFile());
        EXPECT_TRUE(StartsWith(config, i == 0 ? " 2 \r\n" : " 3 \r\n")) << config;
        EXPECT_TRUE(EndsWith(config, "\r\n 30 \r\n")) << config;
        EXPECT_EQ(ReadFile(p.folder / "testquery.txt"), "Where?,Location,Lab 3\r\n");
        EXPECT_NE(ReadFile(p.settingsFile()).find("MainLeft="), std::string::npos);
    }

    // The restore question was not answered: the next start asks it again.
    journal::Journal j;
    ASSERT_TRUE(j.open(programs[4].journalFile().string())) << j.error();
    const auto offered = j.crashedLog();
    ASSERT_TRUE(offered.has_value());
    EXPECT_EQ(offered->id, crashed);
}

}  // namespace
}  // namespace fenwyd::testing
