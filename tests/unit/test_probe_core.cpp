// The probe simulator's protocol core on its own: what each command gets back,
// the range and units cycles, probe memory, the battery over time, and the
// seeded faults. No pty and no clock: the tests say what time it is.
#include "probe_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "measure/reply_layout.h"
#include "support/sim_checks.h"

namespace {

using namespace probesim::testing;
using probesim::Options;
using probesim::ProbeCore;
using probesim::Response;

constexpr double kBatteryStepMs = 5 * 60000.0;  // the cell loses 0.01 V per 5 minutes

std::string ask(ProbeCore& core, const std::string& cmd, double nowMs = 0) {
    return joined(core.handle(cmd, nowMs));
}

Reading readingOf(ProbeCore& core, double nowMs = 0) {
    Reading f;
    const std::string r = ask(core, "RD", nowMs);
    EXPECT_TRUE(cutReading(r, f));
    return f;
}

// ---------------------------------------------------------------------------
// Per model: the reading reply, the range and units cycles, probe memory.

class ProbeCoreModel : public ::testing::TestWithParam<char> {};

TEST_P(ProbeCoreModel, ReadingReplyPutsEveryFieldAtItsPosition) {
    const char model = GetParam();
    const int top = maxRangeOf(model);
    const std::string m(1, model);
    const std::string u(1, unitsCycleOf(model)[0]);
    const std::string t = std::to_string(top);
    struct Case {
        int raw;
        char state;
        int range;
        bool autoOn;
        int battery;
        std::string reply;
    };
    const Case cases[] = {
        {1500, 'N', 0, false, 900, "@RD1500" + m + "0" + u + " NM 15-"},
        {1999, 'O', 0, false, 900, "@RD1999" + m + "0" + u + " OM 20-"},
        {5, 'U', 0, false, 900, "@RD0005" + m + "0" + u + " UM 00-"},
        // Auto-range on the highest range; a low battery raises the flag at 17.
        {735, 'N', top, true, 690, "@RD0735" + m + t + u + " NA 07L"},
        {1949, 'N', 1, false, 700, "@RD1949" + m + "1" + u + " NM 19-"},  // 7.00 V is not low
        {1950, 'N', 1, false, 699, "@RD1950" + m + "1" + u + " NM 20L"},
        {0, 'N', 2, false, 900, "@RD0000" + m + "2" + u + " NM 00-"},
    };
    for (const Case& c : cases) {
        ProbeCore core(fixedOptions(model));
        ASSERT_TRUE(core.setRange(c.range));
        core.setAuto(c.autoOn);
        core.setValue(c.raw, c.state);
        core.setBattery(c.battery, 0);
        const Response r = core.handle("RD", 0);
        ASSERT_EQ(r.parts.size(), 1u) << c.reply;
        EXPECT_EQ(r.parts[0].text, c.reply);
        EXPECT_TRUE(r.reading);
        EXPECT_FALSE(r.junk);
        EXPECT_EQ(r.delayMs, 0);
        EXPECT_FALSE(r.hangUp);
    }

    ProbeCore core(fixedOptions(model));
    EXPECT_FALSE(core.setRange(top + 1));
    EXPECT_FALSE(core.setRange(-1));
    EXPECT_EQ(core.range(), 0);
}

TEST_P(ProbeCoreModel, DriftingReadingsStayWellFormed) {
    const char model = GetParam();
    Options opt;
    opt.model = model;
    opt.seed = 42;
    opt.excursionRate = 0.05;  // make a few over/under spells show up
    ProbeCore core(opt);

    int normal = 0;
    for (int i = 0; i < 400; ++i) {
        if (i == 200) core.setAuto(true);
        const Response resp = core.handle("RD", i * 100.0);
        EXPECT_TRUE(resp.reading);
        const std::string r = joined(resp);
        Reading f;
        ASSERT_TRUE(cutReading(r, f)) << "reading " << i;
        EXPECT_EQ(f.model, model);
        EXPECT_EQ(f.mode, i < 200 ? 'M' : 'A');
        if (i < 200) {
            EXPECT_EQ(f.range, 0) << "manual range must not move by itself";
        }
        EXPECT_LE(f.raw, 1999);
        if (f.state == 'N') {
            ++normal;
            EXPECT_LE(std::abs(f.percent * 100 - f.raw), 50) << r;  // percent follows the value
        }
    }
    EXPECT_GT(normal, 300) << "mostly in range";
    EXPECT_LT(normal, 400) << "some over/under spells at this rate";
}

TEST_P(ProbeCoreModel, RangeStepsUpThroughAutoAndBackToZero) {
    const char model = GetParam();
    ProbeCore core(fixedOptions(model));
    const int top = maxRangeOf(model);

    // (range, mode) after each SC, starting from manual 0.
    std::vector<std::pair<int, char>> expected;
    for (int r = 1; r <= top; ++r) expected.emplace_back(r, 'M');
    expected.emplace_back(top, 'A');  // fixed value: auto keeps the range it had
    expected.emplace_back(0, 'M');
    expected.emplace_back(1, 'M');

    Reading f = readingOf(core);
    EXPECT_EQ(f.range, 0);
    EXPECT_EQ(f.mode, 'M');
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(ask(core, "SC"), "@SC");
        EXPECT_EQ(ask(core, "KR"), "@KR");
        f = readingOf(core);
        EXPECT_EQ(f.range, expected[i].first) << "after SC #" << i + 1;
        EXPECT_EQ(f.mode, expected[i].second) << "after SC #" << i + 1;
        EXPECT_EQ(core.range(), expected[i].first);
        EXPECT_EQ(core.isAuto(), expected[i].second == 'A');
    }
}

TEST_P(ProbeCoreModel, AutoRangePicksTheRangeThatFitsTheField) {
    const char model = GetParam();
    Options opt;
    opt.model = model;
    opt.excursionRate = 0.0;
    ProbeCore core(opt);
    const int top = maxRangeOf(model);

    // 1200 counts on range 1 is a field that fits range 1, not range 0.
    ASSERT_TRUE(core.setRange(1));
    core.setValue(1200, 'N');
    ASSERT_TRUE(core.setRange(top));
    EXPECT_EQ(ask(core, "SC"), "@SC");
    Reading f = readingOf(core);
    EXPECT_EQ(f.mode, 'A');
    EXPECT_EQ(f.range, 1);
    EXPECT_NEAR(f.raw, 1200, 100);  // one drift step away

    // A weak field on a high manual range: auto drops to range 0.
    ASSERT_TRUE(core.setRange(0));
    core.setValue(150, 'N');
    core.setAuto(false);
    ASSERT_TRUE(core.setRange(top));
    EXPECT_EQ(ask(core, "SC"), "@SC");
    f = readingOf(core);
    EXPECT_EQ(f.mode, 'A');
    EXPECT_EQ(f.range, 0);
}

TEST_P(ProbeCoreModel, UnitsStepThroughTheModelsCycle) {
    const char model = GetParam();
    ProbeCore core(fixedOptions(model));
    const std::string cycle = unitsCycleOf(model);  // E: G V T A, V: V A G T

    for (int i = 0; i <= 4; ++i) {
        EXPECT_EQ(readingOf(core).units, cycle[i % 4]) << "after " << i << " EH";
        EXPECT_EQ(core.units(), cycle[i % 4]);
        EXPECT_EQ(ask(core, "EH"), "@EH");
        EXPECT_EQ(ask(core, "KR"), "@KR");
    }
    EXPECT_FALSE(core.setUnits('X'));
    EXPECT_TRUE(core.setUnits(cycle[2]));
    EXPECT_EQ(readingOf(core).units, cycle[2]);
}

TEST_P(ProbeCoreModel, StoredReadingsHaveTheNxLayout) {
    const char model = GetParam();
    Options opt;
    opt.model = model;
    opt.storedCount = 300;
    ProbeCore core(opt);
    const auto& stored = core.storedReadings();
    ASSERT_EQ(stored.size(), 300u);
    int normal = 0;
    for (const auto& s : stored) {
        EXPECT_TRUE(checkStored(s, model));
        normal += s[10] == 'N';
    }
    EXPECT_GT(normal, 250);
}

INSTANTIATE_TEST_SUITE_P(BothModels, ProbeCoreModel, ::testing::Values('E', 'V'),
                         [](const ::testing::TestParamInfo<char>& info) {
                             return std::string(info.param == 'E' ? "QM8204" : "QM8203");
                         });

TEST(ProbeCoreModelLetter, LowerCaseLetterIsTheSameModel) {
    Options opt = fixedOptions('v');
    ProbeCore core(opt);
    EXPECT_EQ(core.model(), 'V');
    EXPECT_TRUE(core.setRange(2));
    EXPECT_FALSE(core.setRange(3)) << "three ranges on a QM-8203";
    EXPECT_EQ(ask(core, "RD"), "@RD1000V2V NM 10-");
}

// ---------------------------------------------------------------------------
// Commands that carry no measurement.

TEST(ProbeCoreCommands, AcknowledgementsAndUnknownCommands) {
    struct Case {
        const char* cmd;
        const char* reply;
    };
    const Case cases[] = {
        {"KR", "@KR"},
        {"CL", "@CL"},
        {"DD", "@DD"},
        {"MX", "@MX"},
        {"PR", "@PR"},
        {"SP", "@SP"},
        {"SC", "@SC"},
        {"EH", "@EH"},
        {"LG", "@LG0000"},
        // Unknown text, including the right letters in the wrong case.
        {"XY", "@??"},
        {"rd", "@??"},
        {"RDX", "@??"},
        {"AutoScale", "@??"},
        {"R", "@??"},
        {" RD", "@??"},
        {"", "@??"},
    };
    ProbeCore core(fixedOptions('E'));
    for (const Case& c : cases) {
        const Response r = core.handle(c.cmd, 0);
        ASSERT_EQ(r.parts.size(), 1u) << c.cmd;
        EXPECT_EQ(r.parts[0].text, c.reply) << c.cmd;
        EXPECT_EQ(r.parts[0].offsetMs, 0) << c.cmd;
        EXPECT_FALSE(r.reading) << c.cmd;
    }
}

TEST(ProbeCoreBattery, ReplyCarriesHundredthsOfAVolt) {
    ProbeCore fixed(fixedOptions('E'));
    fixed.setBattery(895, 0);
    EXPECT_EQ(ask(fixed, "BT"), "@BT0895");
    EXPECT_EQ(ask(fixed, "KR"), "@KR");

    // Drifting: starts near 9 V and never climbs.
    Options opt;
    opt.seed = 3;
    ProbeCore drifting(opt);
    int previous = 10000;
    for (int i = 0; i < 30; ++i) {
        const std::string r = ask(drifting, "BT", i * 1000.0);
        ASSERT_EQ(r.size(), 7u);
        ASSERT_EQ(r.substr(0, 3), "@BT");
        ASSERT_TRUE(allDigits(r.substr(3))) << r;
        const int v = std::atoi(r.substr(3).c_str());
        if (i == 0) {
            EXPECT_GE(v, 880);
        }
        EXPECT_LE(v, 900);
        EXPECT_GE(v, 650);
        EXPECT_LE(v, previous);
        previous = v;
    }
}

TEST(ProbeCoreBattery, DrainsWithTimeAndRaisesTheLowFlagBelowSevenVolts) {
    Options opt;
    opt.excursionRate = 0.0;
    ProbeCore core(opt);
    const double origin = 12345.0;  // the drain counts from the setting, not from start
    core.setBattery(702, origin);
    struct Case {
        double afterMs;
        char flag;
    };
    const Case cases[] = {
        {0, '-'},
        {2 * kBatteryStepMs, '-'},  // 7.00 V
        {3 * kBatteryStepMs - 1, '-'},
        {3 * kBatteryStepMs, 'L'},  // 6.99 V
        {1e9, 'L'},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readingOf(core, origin + c.afterMs).battery, c.flag) << c.afterMs << " ms";
    EXPECT_EQ(ask(core, "BT", origin + 1e9), "@BT0650") << "a flat cell stops at 6.50 V";

    // A fixed probe keeps what it was given, however long it runs.
    ProbeCore fixed(fixedOptions('E'));
    fixed.setBattery(700, 0);
    EXPECT_EQ(readingOf(fixed, 1e9).battery, '-');
    EXPECT_EQ(ask(fixed, "BT", 1e9), "@BT0700");
    fixed.setBattery(690, 0);
    EXPECT_EQ(readingOf(fixed, 0).battery, 'L');
}

// ---------------------------------------------------------------------------
// Probe memory: NS, SP, NX.

TEST(ProbeCoreUpload, CountIsTheNumberOfStoredReadings) {
    struct Case {
        int count;
        const char* reply;
        size_t held;
    };
    const Case cases[] = {
        {0, "@NS0000", 0},  {1, "@NS0001", 1},       {12, "@NS0012", 12},
        {-5, "@NS0000", 0}, {9999, "@NS9999", 9999}, {20000, "@NS9999", 9999},
    };
    for (const Case& c : cases) {
        Options opt;
        opt.storedCount = c.count;
        ProbeCore fromStart(opt);
        EXPECT_EQ(ask(fromStart, "NS"), c.reply) << c.count;
        EXPECT_EQ(fromStart.storedReadings().size(), c.held) << c.count;

        ProbeCore later{Options()};
        later.setStoredCount(c.count);
        EXPECT_EQ(ask(later, "NS"), c.reply) << c.count;
    }
    ProbeCore byDefault{Options()};
    EXPECT_EQ(ask(byDefault, "NS"), "@NS0012") << "default memory";
}

TEST(ProbeCoreUpload, SequenceDeliversEveryRecordThenRepeatsTheLast) {
    Options opt = fixedOptions('V');
    opt.storedCount = 5;
    opt.seed = 7;
    opt.nxDelayMs = 150;
    ProbeCore core(opt);
    const auto stored = core.storedReadings();
    ASSERT_EQ(stored.size(), 5u);

    // Record number first, the stored reading nxDelayMs after it.
    auto expectNx = [&](int record, int delayMs) {
        const Response r = core.handle("NX", 0);
        ASSERT_EQ(r.parts.size(), 2u) << "record " << record;
        EXPECT_EQ(r.parts[0].text, "@LG000" + std::to_string(record));
        EXPECT_EQ(r.parts[0].offsetMs, 0);
        EXPECT_EQ(r.parts[1].text, stored[record - 1]);
        EXPECT_EQ(r.parts[1].offsetMs, delayMs);
        EXPECT_FALSE(r.reading) << "a stored reading is not a live one";
    };

    EXPECT_EQ(ask(core, "NS"), "@NS0005");
    EXPECT_EQ(ask(core, "SP"), "@SP");
    for (int k = 1; k <= 5; ++k) {
        expectNx(k, 150);
        EXPECT_EQ(ask(core, "KR"), "@KR");
    }
    EXPECT_EQ(ask(core, "NX"), "@LG0005" + stored[4]) << "past the end: last record again";
    expectNx(5, 150);

    // SP starts over; the gap follows setNxDelay().
    EXPECT_EQ(ask(core, "SP"), "@SP");
    EXPECT_EQ(ask(core, "NX"), "@LG0001" + stored[0]);
    core.setNxDelay(0);
    expectNx(2, 0);
    core.setNxDelay(-20);
    expectNx(3, 0);
    core.setNxDelay(900);
    expectNx(4, 900);
}

TEST(ProbeCoreUpload, MemoryIsFixedBySeedAndCount) {
    Options a;
    a.seed = 11;
    a.storedCount = 8;
    Options b = a;
    b.seed = 12;
    ProbeCore coreA(a), coreA2(a), coreB(b);
    EXPECT_EQ(coreA.storedReadings(), coreA2.storedReadings());
    EXPECT_NE(coreA.storedReadings(), coreB.storedReadings());

    // More memory keeps the first readings; none empties it.
    const auto first8 = coreA.storedReadings();
    coreA.setStoredCount(20);
    const auto first20 = coreA.storedReadings();
    ASSERT_EQ(first20.size(), 20u);
    EXPECT_TRUE(std::equal(first8.begin(), first8.end(), first20.begin()));

    EXPECT_EQ(ask(coreA, "NS"), "@NS0020");
    coreA.setStoredCount(0);
    EXPECT_EQ(ask(coreA, "NS"), "@NS0000");
    const Response r = coreA.handle("NX", 0);
    ASSERT_EQ(r.parts.size(), 1u) << "nothing stored, nothing follows";
    EXPECT_EQ(r.parts[0].text, "@LG0000");
}

TEST(ProbeCoreUpload, ShrinkingMemoryPullsTheUploadBack) {
    Options opt = fixedOptions('E');
    opt.storedCount = 8;
    ProbeCore core(opt);
    const auto stored = core.storedReadings();
    for (int k = 1; k <= 5; ++k)
        EXPECT_EQ(ask(core, "NX"), "@LG000" + std::to_string(k) + stored[k - 1]);
    // Shrunk below the record last sent: the upload carries on from the new end.
    core.setStoredCount(3);
    core.setStoredCount(8);
    EXPECT_EQ(ask(core, "NX"), "@LG0004" + stored[3]);
    core.setStoredCount(3);
    EXPECT_EQ(ask(core, "NX"), "@LG0003" + stored[2]) << "past the new end: its last record";
}

// ---------------------------------------------------------------------------
// Value, state and seeds.

TEST(ProbeCoreState, SetValueHoldsTheValueAndItsRangeState) {
    struct Case {
        int raw;
        char state;
        const char* reply;
    };
    const Case cases[] = {
        {1500, 'N', "@RD1500E0G NM 15-"},  {1999, 'O', "@RD1999E0G OM 20-"},
        {5, 'U', "@RD0005E0G UM 00-"},     {700, 'X', "@RD0700E0G NM 07-"},  // unknown: in range
        {12000, 'N', "@RD9999E0G NM 20-"},                                   // four digits at most
        {-3, 'U', "@RD0000E0G UM 00-"},
    };
    for (const Case& c : cases) {
        ProbeCore core(fixedOptions('E'));
        core.setValue(c.raw, c.state);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(ask(core, "RD", i * 1000.0), c.reply) << i;
    }
}

TEST(ProbeCoreState, FixedValueIsTheSameWhateverTheSeedAndTime) {
    auto run = [](std::uint32_t seed) {
        Options opt = fixedOptions('E');
        opt.seed = seed;
        opt.excursionRate = 0.5;  // has no say over a fixed value
        ProbeCore core(opt);
        std::vector<std::string> out;
        for (int i = 0; i < 100; ++i) {
            const double now = i * 600000.0;  // ten minutes apart
            out.push_back(ask(core, "RD", now));
            out.push_back(ask(core, "BT", now));
        }
        core.setAuto(true);
        out.push_back(ask(core, "RD"));
        return out;
    };
    const auto a = run(1);
    EXPECT_EQ(a, run(99));
    for (size_t i = 0; i + 1 < a.size(); i += 2) {
        EXPECT_EQ(a[i], "@RD1000E0G NM 10-") << i;
        EXPECT_EQ(a[i + 1], "@BT0900") << i;
    }
    EXPECT_EQ(a.back(), "@RD1000E0G NA 10-") << "auto keeps the fixed value and range";
}

TEST(ProbeCoreState, SameSeedSameDrift) {
    auto run = [](std::uint32_t seed) {
        Options opt;
        opt.seed = seed;
        opt.excursionRate = 0.05;
        ProbeCore core(opt);
        const char* script[] = {"RD", "RD", "BT", "RD", "SC", "RD", "EH", "NX", "RD"};
        std::string out;
        for (int i = 0; i < 300; ++i) out += ask(core, script[i % 9], i * 250.0) + '|';
        return out;
    };
    const std::string a = run(5);
    EXPECT_EQ(a, run(5));
    EXPECT_NE(a, run(6));
}

// ---------------------------------------------------------------------------
// Faults.

// One character per command: '.' swallowed, 'g' junk, 'r' a reading, 'a' any
// other reply; upper case when the reply is late.
std::string faultPattern(const Options& opt, const std::vector<std::string>& cmds) {
    ProbeCore core(opt);
    std::string pattern;
    for (size_t i = 0; i < cmds.size(); ++i) {
        const Response r = core.handle(cmds[i], static_cast<double>(i));
        char c = r.parts.empty() ? '.' : r.junk ? 'g' : r.reading ? 'r' : 'a';
        if (r.delayMs > 0) c = static_cast<char>(std::toupper(c));
        pattern += c;
    }
    return pattern;
}

TEST(ProbeCoreFaults, SilentProbeSwallowsCommandsAndTheirEffects) {
    ProbeCore core(fixedOptions('E'));
    core.setSilent(true);
    core.garbageNext(1);
    core.lateNext(1, 600);
    for (const char* cmd : {"RD", "SC", "EH", "SP", "NX"}) {
        const Response r = core.handle(cmd, 0);
        EXPECT_TRUE(r.parts.empty()) << cmd;
        EXPECT_FALSE(r.reading) << cmd;
    }
    EXPECT_EQ(core.range(), 0) << "a swallowed SC does not step the range";
    EXPECT_EQ(core.units(), 'G');

    // Junk and lateness were for replies, so the first one after the silence gets them.
    core.setSilent(false);
    const Response first = core.handle("RD", 0);
    EXPECT_TRUE(first.junk);
    EXPECT_EQ(first.delayMs, 600);
    EXPECT_TRUE(looksLikeReading(ask(core, "RD")));
    EXPECT_EQ(ask(core, "NX"), "@LG0001" + core.storedReadings()[0]) << "upload did not move";
}

TEST(ProbeCoreFaults, SeededScheduleRepeatsForTheSameSeed) {
    auto outcomes = [](std::uint32_t seed) {
        Options opt = fixedOptions('E');
        opt.seed = seed;
        opt.faults.silentRate = 0.1;
        opt.faults.silentLen = 3;
        opt.faults.garbageRate = 0.2;
        ProbeCore core(opt);
        std::string pattern;
        for (int i = 0; i < 80; ++i) {
            const Response r = core.handle("RD", i * 10.0);
            if (r.parts.empty()) {
                pattern += '.';
                continue;
            }
            pattern += looksLikeReading(joined(r)) ? 'r' : 'g';
        }
        return pattern;
    };
    const std::string a = outcomes(5);
    EXPECT_EQ(a, outcomes(5));
    EXPECT_NE(a, outcomes(6));
    EXPECT_NE(a.find('.'), std::string::npos);
    EXPECT_NE(a.find('g'), std::string::npos);
    EXPECT_GT(std::count(a.begin(), a.end(), 'r'), 30);
    // Silence comes in runs of (at least) silentLen commands.
    for (size_t i = 0; i < a.size();) {
        size_t j = a.find_first_not_of('.', i);
        if (j == std::string::npos) break;
        if (j > i) {
            EXPECT_GE(j - i, 3u) << a;
        }
        i = j + 1;
    }
}

TEST(ProbeCoreFaults, ScheduleDependsOnTheCommandNumberNotTheCommand) {
    Options opt;
    opt.seed = 21;
    opt.faults.silentRate = 0.05;
    opt.faults.silentLen = 2;
    opt.faults.garbageRate = 0.1;
    opt.faults.lateRate = 0.1;
    const std::vector<std::string> reads(200, "RD");
    std::vector<std::string> mixed;
    const char* script[] = {"RD", "BT", "SC", "NX", "EH", "KR", "XY"};
    for (int i = 0; i < 200; ++i) mixed.push_back(script[i % 7]);

    // Same places for silence, junk and lateness; only the kind of reply differs.
    auto faultsOnly = [](std::string p) {
        for (char& c : p) {
            if (c == 'r') c = 'a';
            if (c == 'R') c = 'A';
        }
        return p;
    };
    const std::string a = faultPattern(opt, reads);
    EXPECT_EQ(faultsOnly(a), faultsOnly(faultPattern(opt, mixed)));
    for (char c : {'.', 'g', 'R'}) EXPECT_NE(a.find(c), std::string::npos) << c << " in " << a;
}

TEST(ProbeCoreFaults, SilenceComesInRunsOfSilentLen) {
    struct Case {
        int silentLen;
        size_t run;  // every run of silence is a whole number of these
    };
    const Case cases[] = {{0, 1}, {1, 1}, {3, 3}, {7, 7}};
    for (const Case& c : cases) {
        Options opt = fixedOptions('E');
        opt.seed = 9;
        opt.faults.silentRate = 0.1;
        opt.faults.silentLen = c.silentLen;
        const std::string p = faultPattern(opt, std::vector<std::string>(400, "RD"));
        int runs = 0;
        for (size_t i = p.find('.'); i != std::string::npos; i = p.find('.', i)) {
            const size_t end = std::min(p.find_first_not_of('.', i), p.size());
            if (end < p.size()) {  // a run cut short by the end of the test says nothing
                EXPECT_EQ((end - i) % c.run, 0u) << "silentLen " << c.silentLen << ": " << p;
                ++runs;
            }
            i = end;
        }
        EXPECT_GT(runs, 5) << "silentLen " << c.silentLen;
        EXPECT_GT(std::count(p.begin(), p.end(), 'r'), 100) << "silentLen " << c.silentLen;
    }

    Options always = fixedOptions('E');
    always.faults.silentRate = 1.0;
    EXPECT_EQ(faultPattern(always, std::vector<std::string>(50, "RD")), std::string(50, '.'));
}

TEST(ProbeCoreFaults, GarbageIsNeverTakenForAReading) {
    ProbeCore core(fixedOptions('E'));
    const int n = 3000;
    const int kCodeSweep = 400000;
    core.garbageNext(n);
    bool sawFakeRd = false;
    bool sawControl = false;
    size_t shortest = 99, longest = 0;
    const char* cmds[] = {"RD", "NX", "BT", "SC"};  // junk whatever the command
    for (int i = 0; i < n; ++i) {
        const Response r = core.handle(cmds[i % 4], 0);
        ASSERT_EQ(r.parts.size(), 1u) << "junk reply " << i;
        EXPECT_TRUE(r.junk);
        EXPECT_FALSE(r.reading);
        const std::string& junk = r.parts[0].text;
        EXPECT_FALSE(CutReply(ReplyKind::Reading, junk)) << junk;
        EXPECT_FALSE(CutReply(ReplyKind::Stored, junk)) << junk;
        EXPECT_FALSE(looksLikeReading(junk)) << junk;
        EXPECT_FALSE(junk.size() >= 16 && junk.compare(0, 2, "NX") == 0) << junk;
        shortest = std::min(shortest, junk.size());
        longest = std::max(longest, junk.size());
        if (junk.compare(0, 3, "@RD") == 0) {
            sawFakeRd = true;
            EXPECT_FALSE(allDigits(junk.substr(3, 4)))
                << "fake reading with a real value field: " << junk;
        }
        sawControl |= std::any_of(junk.begin(), junk.end(), [](char c) {
            auto u = static_cast<unsigned char>(c);
            return u < 0x20 || u >= 0x7f;
        });
    }
    EXPECT_GE(shortest, 1u);
    EXPECT_LE(longest, 40u);
    EXPECT_TRUE(sawFakeRd);
    EXPECT_TRUE(sawControl);

    // Random junk carrying a reply code by chance is rare (about one in 65536 per
    // code), so look at many more of them. Only the junk made to look like a
    // reading starts "@RD", and its fields are never digits.
    core.garbageNext(kCodeSweep);
    for (int i = 0; i < kCodeSweep; ++i) {
        const std::string junk = joined(core.handle("KR", 0));
        const bool fakeReading = junk.compare(0, 3, "@RD") == 0;
        ASSERT_FALSE(fenwyd::HasReplyCode(ReplyKind::Reading, junk) && !fakeReading)
            << "junk " << i << ": " << junk;
        ASSERT_FALSE(fenwyd::HasReplyCode(ReplyKind::Stored, junk)) << "junk " << i << ": " << junk;
        ASSERT_FALSE(fakeReading && CutReply(ReplyKind::Reading, junk))
            << "junk " << i << ": " << junk;
    }

    const Response back = core.handle("RD", 0);
    EXPECT_TRUE(back.reading) << "back to normal after n";
    EXPECT_TRUE(looksLikeReading(joined(back)));

    Options always = fixedOptions('E');
    always.faults.garbageRate = 1.0;
    EXPECT_EQ(faultPattern(always, std::vector<std::string>(50, "RD")), std::string(50, 'g'));
}

TEST(ProbeCoreFaults, LateRepliesCarryTheirDelay) {
    ProbeCore core(fixedOptions('E'));
    core.lateNext(2, 600);
    EXPECT_EQ(core.handle("RD", 0).delayMs, 600);
    const Response nx = core.handle("NX", 0);
    EXPECT_EQ(nx.delayMs, 600) << "the whole two-part reply is late";
    ASSERT_EQ(nx.parts.size(), 2u);
    EXPECT_EQ(nx.parts[1].offsetMs, 500) << "the gap between the parts stays";
    EXPECT_EQ(core.handle("RD", 0).delayMs, 0) << "only the next n are late";
    core.lateNext(1, -5);
    EXPECT_EQ(core.handle("RD", 0).delayMs, 0);

    // Random lateness takes lateMs.
    Options opt = fixedOptions('E');
    opt.faults.lateRate = 1.0;
    opt.faults.lateMs = 450;
    ProbeCore always(opt);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(always.handle("RD", 0).delayMs, 450);
}

TEST(ProbeCoreFaults, ScheduledHangUpFlagsTheNthCommandAndSwallowsTheRest) {
    for (int n : {1, 3}) {
        Options opt = fixedOptions('E');
        opt.faults.hangupAfter = n;
        ProbeCore core(opt);
        for (int line = 1; line <= 2; ++line) {
            for (int i = 1; i <= n + 4; ++i) {
                const Response r = core.handle(i > n ? "SC" : "RD", 0);
                EXPECT_EQ(r.hangUp, i == n) << "after " << n << ", line " << line << ", #" << i;
                EXPECT_EQ(r.parts.empty(), i > n)
                    << "after " << n << ", line " << line << ", #" << i;
            }
            EXPECT_EQ(core.range(), 0) << "commands past the hang-up change nothing";
            core.lineOpened();  // the count starts again on a fresh line
        }
    }

    // The hang-up is due even when the probe is silent at that moment.
    Options opt = fixedOptions('E');
    opt.faults.hangupAfter = 2;
    ProbeCore silent(opt);
    silent.setSilent(true);
    EXPECT_FALSE(silent.handle("RD", 0).hangUp);
    const Response second = silent.handle("RD", 0);
    EXPECT_TRUE(second.hangUp);
    EXPECT_TRUE(second.parts.empty());

    ProbeCore never(fixedOptions('E'));
    for (int i = 0; i < 100; ++i) ASSERT_FALSE(never.handle("RD", 0).hangUp) << i;
}

}  // namespace
