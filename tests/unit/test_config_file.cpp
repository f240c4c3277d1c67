#include "config/config_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "datalog/notes.h"

#include "support/files.h"

namespace fenwyd {
namespace {

namespace fs = std::filesystem;

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = (dir_.path() / "Fenwyd8200.cfg").string();
        defaults_.DefaultSavePath = "/opt/fenwyd";
    }
    void Write(const std::string& text) const { testing::WriteFile(path_, text); }
    std::string Read() const { return testing::ReadFile(path_); }
    static void ExpectCfg(const FreeCfg& c, int16_t port, const char* units, const char* folder,
                          const char* rate, int16_t interval, const std::string& where) {
        EXPECT_EQ(c.CommPortNo, port) << where;
        EXPECT_EQ(c.ProbeUnits, units) << where;
        EXPECT_EQ(c.DefaultSavePath, folder) << where;
        EXPECT_EQ(c.SampleRate, rate) << where;
        EXPECT_EQ(c.BattTempUpdateInterval, interval) << where;
    }
    testing::TempFolder dir_;
    std::string path_;
    FreeCfg defaults_;
};

TEST_F(ConfigFile, RoundTrip) {
    struct Case {
        int16_t port;
        const char* units;
        const char* folder;
        const char* rate;
        int16_t interval;
        const char* bytes;
    };
    const Case cases[] = {
        {3, "T", "C:\\Data", "2", 60, " 3 \r\nT\r\nC:\\Data\r\n2\r\n 60 \r\n"},
        {2, "", "/home/u/data, old", "15", 0, " 2 \r\n\r\n/home/u/data, old\r\n15\r\n 0 \r\n"},
        {-1, "V/m", "", "", -32768, "-1 \r\nV/m\r\n\r\n\r\n-32768 \r\n"},
        {32767, "\xB5T",
         "C:\\Donn\xE9"
         "es",
         "0.5", 5,
         " 32767 \r\n\xB5T\r\nC:\\Donn\xE9"
         "es\r\n0.5\r\n 5 \r\n"},
    };
    for (const Case& c : cases) {
        const FreeCfg out{c.port, c.units, c.folder, c.rate, c.interval};
        ASSERT_TRUE(SaveFreeCfgFile(path_, out));
        EXPECT_EQ(Read(), c.bytes);
        FreeCfg in = defaults_;
        EXPECT_TRUE(LoadFreeCfgFile(path_, in));
        ExpectCfg(in, c.port, c.units, c.folder, c.rate, c.interval, c.bytes);
    }
}

TEST_F(ConfigFile, ReadingStopsAtTheFirstFailure) {
    struct Case {
        const char* text;
        bool ok;
        int16_t port;
        const char* units;
        const char* folder;
        const char* rate;
        int16_t interval;
    };
    const Case cases[] = {
        {" 3 \nT\n  C:\\Data \n 2\n45\nextra\n", true, 3, "T", "C:\\Data ", "2",
         45},  // LF only, leading blanks go
        {"\t4\t\r\nG\r\n/d\r\n15\r\n+7\r\n", true, 4, "G", "/d", "15", 7},
        {" 3 \r\nT\r\nC:\\Data\r\n", false, 3, "T", "C:\\Data", "15", 30},  // only three lines
        {" 3 \r\nT\r\n/d\r\n2\r\n", false, 3, "T", "/d", "2", 30},
        {"99999\r\nT\r\n/d\r\n2\r\n 60 \r\n", false, 2, "V/m", "/opt/fenwyd", "15", 30},
        {"32768\r\nT\r\n/d\r\n2\r\n 60 \r\n", false, 2, "V/m", "/opt/fenwyd", "15", 30},
        {"-32769\r\nT\r\n/d\r\n2\r\n 60 \r\n", false, 2, "V/m", "/opt/fenwyd", "15", 30},
        {"\r\nT\r\n/d\r\n2\r\n 60 \r\n", false, 2, "V/m", "/opt/fenwyd", "15", 30},
        {"COM3\r\nT\r\n/d\r\n2\r\n 60 \r\n", false, 2, "V/m", "/opt/fenwyd", "15", 30},
        {"3 4\r\nT\r\n/d\r\n2\r\n 60 \r\n", false, 2, "V/m", "/opt/fenwyd", "15", 30},
        {"3\r\nT\r\n/d\r\n2\r\n99999999999999999999\r\n", false, 3, "T", "/d", "2", 30},
        {"3\r\nT\r\n/d\r\n2\r\n6.5\r\n", false, 3, "T", "/d", "2", 30},
        {"", false, 2, "V/m", "/opt/fenwyd", "15", 30},
    };
    for (const Case& c : cases) {
        Write(c.text);
        FreeCfg cfg = defaults_;
        EXPECT_EQ(LoadFreeCfgFile(path_, cfg), c.ok) << c.text;
        ExpectCfg(cfg, c.port, c.units, c.folder, c.rate, c.interval, c.text);
    }
}

TEST_F(ConfigFile, MissingFileKeepsTheDefaults) {
    FreeCfg cfg = defaults_;
    EXPECT_FALSE(LoadFreeCfgFile(path_, cfg));
    ExpectCfg(cfg, 2, "V/m", "/opt/fenwyd", "15", 30, "missing");
}

TEST_F(ConfigFile, LineBreakInATextCannotShiftTheLines) {
    const FreeCfg out{5, "V\r\n", "/a\nb", "1\r5", 60};
    ASSERT_TRUE(SaveFreeCfgFile(path_, out));
    EXPECT_EQ(Read(), " 5 \r\nV  \r\n/a b\r\n1 5\r\n 60 \r\n");
    FreeCfg in = defaults_;
    EXPECT_TRUE(LoadFreeCfgFile(path_, in));
    EXPECT_EQ(in.BattTempUpdateInterval, 60);
}

TEST_F(ConfigFile, FailedSaveKeepsTheOldFile) {
    Write("old");
    EXPECT_FALSE(SaveFreeCfgFile(path_ + "/Fenwyd8200.cfg", FreeCfg{}));  // folder is a file
    fs::create_directories(dir_.path() / "dir.cfg");
    EXPECT_FALSE(SaveFreeCfgFile((dir_.path() / "dir.cfg").string(), FreeCfg{}));
    EXPECT_EQ(Read(), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);
}

#ifndef _WIN32
TEST_F(ConfigFile, AFolderOrAFifoOfThatNameIsAMissingFile) {
    fs::create_directory(path_);
    FreeCfg cfg = defaults_;
    EXPECT_FALSE(LoadFreeCfgFile(path_, cfg));
    ExpectCfg(cfg, 2, "V/m", "/opt/fenwyd", "15", 30, "folder");
    fs::remove(path_);
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);  // would block a plain read for ever
    EXPECT_FALSE(LoadFreeCfgFile(path_, cfg));
    EXPECT_TRUE(LoadNotesFile((dir_.path() / "Fenwyd8200.cfg").string()).empty());
}
#endif
}  // namespace
}  // namespace fenwyd
