// Programs that start at the same moment share one journal: every one of
// them gets it, whoever creates it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>

#include "journal/journal.h"
#include "support/files.h"
#include "support/process.h"

namespace fenwyd::testing {
namespace {

constexpr int kRounds = 20;
constexpr int kPrograms = 3;

TEST(Contention, ProgramsOpeningANewJournalAtOnceAllGetIt) {
    int roundsWithALoser = 0;
    std::string losses;
    for (int round = 0; round < kRounds; ++round) {
        TempFolder home;
        const std::string journal =
            (home.path() / "data" / "Fenwyd 8200" / "journal.sqlite").string();
        const std::vector<std::string> env =
            EnvironmentWith({{"HOME", home.str()},
                             {"XDG_CONFIG_HOME", (home.path() / "config").string()},
                             {"XDG_DATA_HOME", (home.path() / "data").string()},
                             {"XDG_CACHE_HOME", (home.path() / "cache").string()},
                             {"XDG_RUNTIME_DIR", home.str()}});
        // The start: every child waits for the end of this pipe, which comes
        // to all of them at once when it is closed here.
        int start[2];
        ASSERT_EQ(pipe2(start, O_CLOEXEC), 0);
        ASSERT_EQ(fcntl(start[0], F_SETFD, 0), 0);  // the children inherit the reading end
        std::vector<pid_t> children;
        std::vector<int> outputs;
        for (int p = 0; p < kPrograms; ++p) {
            int out[2];
            ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
            children.push_back(
                Spawn(FENWYD_OPEN_CHILD, {journal, std::to_string(start[0])}, env, out[1], -1));
            ::close(out[1]);
            outputs.push_back(out[0]);
            ASSERT_GT(children.back(), 0);
        }
        ::close(start[0]);
        ::close(start[1]);  // go
        bool lost = false;
        for (int p = 0; p < kPrograms; ++p) {
            std::string line;
            const bool said = ReadLine(outputs[p], line, 30000);
            ::close(outputs[p]);
            const int code = WaitExit(children[p], 30000);
            if (code < 0) Stop(children[p], 1000);
            if (!said || code != 0) {
                lost = true;
                losses += "round " + std::to_string(round + 1) + ", program " +
                          std::to_string(p + 1) + ": " + (said ? line : "no answer") + "\n";
            }
        }
        roundsWithALoser += lost ? 1 : 0;
        // Every program's log is in the journal.
        if (!lost) {
            journal::Journal j;
            ASSERT_TRUE(j.open(journal)) << j.error();
            EXPECT_EQ(j.logs().size(), static_cast<std::size_t>(kPrograms));
        }
    }
    std::printf("%d of %d rounds of %d programs had a loser\n", roundsWithALoser, kRounds,
                kPrograms);
    EXPECT_EQ(roundsWithALoser, 0) << losses;
}

}  // namespace
}  // namespace fenwyd::testing

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
