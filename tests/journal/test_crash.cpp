// Crash soak: the logic and journal log against the probe simulator and are
// killed (SIGKILL) at seeded random moments, again and again. No row the
// program had counted is ever lost: each run restores the log the last one
// left, and every counted row is in the journal, in order, exactly, and was
// served by the probe. FENWYD_CRASH_ROUNDS (default 6) and
// FENWYD_CRASH_SEED (default 1) set the length and the moments.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSettings>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <sstream>

#include "journal/journal.h"
#include "probe_sim.h"
#include "support/files.h"
#include "support/home.h"
#include "support/process.h"

namespace fenwyd::testing {
namespace {

int EnvInt(const char* name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok ? v : fallback;
}

struct Counted {
    int row;
    uint32_t bits;
    int exponent;
    std::string reply;
};

// "counted ROW MANTISSA-BITS EXPONENT REPLY" from the child.
void takeCounted(const std::string& line, std::vector<Counted>& counted) {
    Counted c{};
    char reply[64] = {};
    if (std::sscanf(line.c_str(), "counted %d %x %d %63[^\n]", &c.row, &c.bits, &c.exponent,
                    reply) >= 3) {
        c.reply = reply;
        counted.push_back(c);
    }
}

TEST(Crash, NoCountedRowIsLostWhenTheProgramIsKilled) {
    const int rounds = EnvInt("FENWYD_CRASH_ROUNDS", 6);
    std::mt19937 moments(static_cast<uint32_t>(EnvInt("FENWYD_CRASH_SEED", 1)));
    TempFolder folder;
    probesim::Options o;
    o.model = 'E';
    o.excursionRate = 0.05;  // over/under range now and then: never counted
    probesim::ProbeSim sim(o);
    ASSERT_TRUE(sim.start()) << sim.lastError();
    const std::string config = (folder.path() / "config").string();
    {
        QSettings s(QString::fromStdString(config + "/Fenwyd 8200.conf"), QSettings::IniFormat);
        s.setValue(QStringLiteral("Ports/Comm2"), QString::fromStdString(sim.devicePath()));
    }
    const std::string journalPath = (folder.path() / "journal.sqlite").string();

    std::vector<std::vector<Counted>> runs;
    std::vector<int> restored;
    for (int round = 0; round < rounds; ++round) {
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        // A home of its own in the folder: its settings are in `config`.
        Child child(Spawn(FENWYD_CRASH_CHILD, {journalPath, folder.str()},
                          EnvironmentInHome(folder.path(), {{"QT_QPA_PLATFORM", "offscreen"}}),
                          out[1], -1));
        ::close(out[1]);
        ASSERT_TRUE(child.started());
        std::string line;
        ASSERT_TRUE(ReadLine(out[0], line, 10000)) << "no start";
        int restoredRows = 0;
        long long logId = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "restored %d %lld", &restoredRows, &logId), 2) << line;
        restored.push_back(restoredRows);

        // Killed after a random while: between two readings, or in the
        // middle of one.
        std::uniform_int_distribution<int> ms(800, 4000);
        const int lifeMs = ms(moments);
        std::vector<Counted> counted;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(lifeMs);
        while (std::chrono::steady_clock::now() < until) {
            const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  until - std::chrono::steady_clock::now())
                                                  .count());
            if (!ReadLine(out[0], line, std::max(1, left))) break;
            takeCounted(line, counted);
        }
        child.signal(SIGKILL);
        EXPECT_EQ(child.wait(5000), 128 + SIGKILL);
        // What it printed before it died was counted, too.
        while (ReadLine(out[0], line, 50)) takeCounted(line, counted);
        ::close(out[0]);
        runs.push_back(counted);
    }

    journal::Journal j;
    ASSERT_TRUE(j.open(journalPath)) << j.error();
    std::vector<journal::LogSummary> logs = j.logs();
    std::reverse(logs.begin(), logs.end());  // oldest first: one per run
    ASSERT_GE(logs.size(), static_cast<std::size_t>(rounds) - 1);
    const std::vector<std::string> served = sim.readingsSent();
    std::size_t servedAt = 0;
    int total = 0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const std::vector<Counted>& counted = runs[r];
        if (counted.empty()) continue;
        // Each run's log: the rows it counted, exactly, in order.
        const journal::LogSummary* log = nullptr;
        for (const journal::LogSummary& s : logs) {
            if (s.rows >= static_cast<int32_t>(counted.size())) {
                std::vector<LoggedRow> rows;
                j.rows(s.id, rows);
                uint32_t bits = 0;
                std::memcpy(&bits, &rows[0].reading.mantissa, sizeof bits);
                if (bits == counted[0].bits && rows.size() >= counted.size()) {
                    log = &s;
                    break;
                }
            }
        }
        ASSERT_NE(log, nullptr) << "run " << r << ": its rows are not in the journal";
        std::vector<LoggedRow> rows;
        ASSERT_TRUE(j.rows(log->id, rows));
        for (std::size_t i = 0; i < counted.size(); ++i) {
            uint32_t bits = 0;
            std::memcpy(&bits, &rows[i].reading.mantissa, sizeof bits);
            ASSERT_EQ(counted[i].row, static_cast<int>(i + 1)) << "run " << r;
            ASSERT_EQ(bits, counted[i].bits) << "run " << r << " row " << i + 1;
            ASSERT_EQ(rows[i].reading.exponent, counted[i].exponent)
                << "run " << r << " row " << i + 1;
            // The probe really sent it, in this order.
            while (servedAt < served.size() && served[servedAt] != counted[i].reply) ++servedAt;
            ASSERT_LT(servedAt, served.size()) << "never served: " << counted[i].reply;
            ++servedAt;
        }
        // The next run restored this log whole.
        if (r + 1 < restored.size()) {
            EXPECT_EQ(restored[r + 1], log->rows) << "run " << r + 1 << " restored";
        }
        total += static_cast<int>(counted.size());
    }
    std::printf("crash soak: %d runs killed, %d rows counted, all in the journal; restored %s\n",
                rounds, total,
                [&] {
                    std::ostringstream s;
                    for (int n : restored) s << n << ' ';
                    return s.str();
                }()
                    .c_str());
    EXPECT_GT(total, rounds) << "the runs should have logged something";
}

}  // namespace
}  // namespace fenwyd::testing

int main(int argc, char** argv) {
    const fenwyd::testing::PrivateHome home;  // the child's, too
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
