#include "datalog/export.h"

#include <cmath>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "datalog/data_file.h"
#ifndef _WIN32
#include <unistd.h>
#endif

namespace fenwyd {
namespace {

namespace fs = std::filesystem;

class ExportFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = fs::temp_directory_path() /
               ("fenwyd_export_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
                std::to_string(rd()));
        fs::create_directories(dir_);
        rows_ = std::make_unique<float[][5]>(kMaxRecords + 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    static std::string Read(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    }

    static void Write(const std::string& path, const std::string& text) {
        std::ofstream f(path, std::ios::binary);
        f << text;
    }

    int FilesInDir() const {
        int n = 0;
        for (const auto& e : fs::directory_iterator(dir_)) {
            (void)e;
            ++n;
        }
        return n;
    }

    ExportInput Input(int32_t count, const std::string& units = "Tesla") {
        ExportInput in;
        in.recordData = rows_.get();
        in.recordCnt = count;
        in.dataUploaded = false;
        in.unitsText = units;
        in.dateText = [this] {
            ++dateCalls_;
            return std::string("12/6/2026");
        };
        in.timeText = [] { return std::string("3:16:52 PM"); };
        in.onTimeFormatError = [this] { ++timeErrors_; };
        return in;
    }

    void SetRow(std::size_t i, float t, float m, float x) {
        rows_[i][0] = t;
        rows_[i][1] = m;
        rows_[i][2] = x;
    }

    static float Tod(int h, int m, int s) {
        return static_cast<float>(h * 3600 + m * 60 + s) / 86400.0f;
    }

    fs::path dir_;
    std::unique_ptr<float[][5]> rows_;
    int dateCalls_ = 0;
    int timeErrors_ = 0;
};

const char* const kHeaderTail = "Units,Tesla\r\nEndHeader\r\nTime ,Field Tesla\r\n";

TEST_F(ExportFiles, WorkedExampleByteForByte) {
    SetRow(1, Tod(10, 15, 0), 1.25f, -6);
    SetRow(2, Tod(10, 15, 1), 1.3f, -6);
    SetRow(3, Tod(10, 15, 2), 1.275f, -6);
    SetRow(4, Tod(11, 0, 0), 9, 9);  // beyond RecordCnt: must not be written
    ExportInput in = Input(3);
    in.notes = {{"Location", "Lab 3"}};

    const ExportResult r = WriteDataPages(Path("run.csv"), in);
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_EQ(
        Read(Path("run.csv")),
        "Header\r\nFile,run.csv\r\nDate,12/6/2026\r\nTime,3:16:52 PM\r\nSamples,3\r\nColumns,2\r\n"
        "Page,1 of 1\r\nLocation,Lab 3\r\nUnits,Tesla\r\nEndHeader\r\nTime ,Field Tesla\r\n"
        "10:15:00,1.25E-6\r\n10:15:01,1.3E-6\r\n10:15:02,1.275E-6\r\n");
    EXPECT_EQ(dateCalls_, 1);
    EXPECT_EQ(timeErrors_, 0);
    EXPECT_EQ(FilesInDir(), 1) << "no temporary file may stay behind";
}

TEST_F(ExportFiles, EmptyLogStillWritesTheWholeHeader) {
    const ExportResult r = WriteDataPages(Path("empty.txt"), Input(0));
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_EQ(
        Read(Path("empty.txt")),
        std::string("Header\r\nFile,empty.txt\r\nDate,12/6/2026\r\nTime,3:16:52 PM\r\nSamples,0\r\n"
                    "Columns,2\r\nPage,1 of 1\r\n") +
            kHeaderTail);
}

TEST_F(ExportFiles, FullLogIsOnePageOfAllRows) {
    for (int i = 1; i <= kMaxRecords; ++i) {
        const float n = static_cast<float>(i);
        SetRow(static_cast<std::size_t>(i), n / 86400.0f, n / 100.0f, -3);
    }
    const ExportResult r = WriteDataPages(Path("full.csv"), Input(kMaxRecords));
    ASSERT_TRUE(r.ok) << r.reason;

    const std::string text = Read(Path("full.csv"));
    EXPECT_NE(text.find("\r\nSamples,32000\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nPage,1 of 1\r\n"), std::string::npos);
    const auto dataStart = text.find(kHeaderTail) + std::string(kHeaderTail).size();
    std::size_t lines = 0;
    for (std::size_t p = dataStart; (p = text.find("\r\n", p)) != std::string::npos; p += 2)
        ++lines;
    EXPECT_EQ(lines, 32000u);
    EXPECT_EQ(text.substr(dataStart, 20), "00:00:01,0.01E-3\r\n00");
    const std::string lastLine = "\r\n08:53:20,320E-3\r\n";
    EXPECT_EQ(text.substr(text.size() - lastLine.size()), lastLine);
    EXPECT_FALSE(fs::exists(Path("full_2.csv")));
}

TEST_F(ExportFiles, RecordCountOutsideTheLogIsClamped) {
    struct Case {
        int32_t count;
        const char* samples;
    };
    const Case cases[] = {
        {-5, "Samples,0"}, {32001, "Samples,32000"}, {2147483647, "Samples,32000"}};
    for (const Case& c : cases) {
        const ExportResult r = WriteDataPages(Path("clamp.csv"), Input(c.count));
        ASSERT_TRUE(r.ok) << r.reason;
        EXPECT_NE(Read(Path("clamp.csv")).find(std::string("\r\n") + c.samples + "\r\nColumns"),
                  std::string::npos)
            << c.count;
        EXPECT_FALSE(fs::exists(Path("clamp_2.csv")));
    }
    ExportInput none = Input(10);
    none.recordData = nullptr;
    EXPECT_TRUE(WriteDataPages(Path("null.csv"), none).ok);
}

TEST_F(ExportFiles, UploadedLogWritesSampleNumbers) {
    for (std::size_t i = 1; i <= 3; ++i) SetRow(i, static_cast<float>(i), 19.99f, 0);
    ExportInput in = Input(3, "V/m");
    in.dataUploaded = true;
    ASSERT_TRUE(WriteDataPages(Path("up.csv"), in).ok);
    const std::string text = Read(Path("up.csv"));
    EXPECT_NE(text.find("Time ,Field V/m\r\n1,19.99E0\r\n2,19.99E0\r\n3,19.99E0\r\n"),
              std::string::npos);
    EXPECT_EQ(timeErrors_, 0);
}

TEST_F(ExportFiles, BadTimeIsReportedAndWrittenAnyway) {
    SetRow(1, 5.0f, 1, 0);  // five days: 120:00:00
    SetRow(2, Tod(1, 2, 3), 1, 0);
    ASSERT_TRUE(WriteDataPages(Path("t.csv"), Input(2)).ok);
    EXPECT_EQ(timeErrors_, 1);
    EXPECT_NE(Read(Path("t.csv")).find("\r\n120:00:00,1E0\r\n01:02:03,1E0\r\n"), std::string::npos);
}

TEST_F(ExportFiles, NotesLinesAndLineBreaksInHeaderFields) {
    ExportInput in = Input(0, "m A/m\r\nInjected,1");
    in.notes = {{"Location", "Lab 3"},
                {"Height", ""},
                {"", "no label"},
                {"Op\r\nerator", "J.\nDoe"},
                {"Temp", "21\r"}};
    ASSERT_TRUE(WriteDataPages(Path("n.csv"), in).ok);
    EXPECT_EQ(
        Read(Path("n.csv")),
        "Header\r\nFile,n.csv\r\nDate,12/6/2026\r\nTime,3:16:52 PM\r\nSamples,0\r\nColumns,2\r\n"
        "Page,1 of 1\r\nLocation,Lab 3\r\n,no label\r\nOp  erator,J. Doe\r\nTemp,21 \r\n"
        "Units,m A/m  Injected,1\r\nEndHeader\r\nTime ,Field m A/m  Injected,1\r\n");
}

TEST_F(ExportFiles, ReplacesAnOlderLongerFile) {
    Write(Path("old.csv"), std::string(100000, 'x'));
    ASSERT_TRUE(WriteDataPages(Path("old.csv"), Input(0)).ok);
    const std::string text = Read(Path("old.csv"));
    EXPECT_EQ(text.substr(0, 8), "Header\r\n");
    EXPECT_EQ(text.find('x'), std::string::npos);
    EXPECT_EQ(FilesInDir(), 1);
}

TEST_F(ExportFiles, FailedSaveReportsAndLeavesNoTrace) {
    // A "folder" that is a regular file fails for every user, root included.
    Write(Path("plainfile"), "keep");
    const std::string inFile = Path("plainfile") + "/run.csv";
    ExportResult r = WriteDataPages(inFile, Input(0));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failedFile, inFile);
    EXPECT_FALSE(r.reason.empty());
    EXPECT_EQ(Read(Path("plainfile")), "keep");

    // The target being a folder fails at the rename; the temp file must go.
    fs::create_directories(Path("taken.csv"));
    Write(Path("taken.csv") + "/inside", "keep");
    r = WriteDataPages(Path("taken.csv"), Input(0));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.reason.empty());
    EXPECT_EQ(Read(Path("taken.csv") + "/inside"), "keep");
    EXPECT_EQ(FilesInDir(), 2);
}

#ifndef _WIN32
TEST_F(ExportFiles, ReadOnlyFolderKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    Write(Path("run.csv"), "old contents");
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    const ExportResult r = WriteDataPages(Path("run.csv"), Input(0));
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(Read(Path("run.csv")), "old contents");
    EXPECT_EQ(FilesInDir(), 1);
}
#endif

TEST_F(ExportFiles, TheLongestNamesCanBeReplaced) {
    // 255 bytes leaves no room for a temporary suffix beside the file.
    const std::string name = std::string(251, 'n') + ".csv";
    ASSERT_TRUE(WriteDataPages(Path(name), Input(0)).ok);
    ExportResult r = WriteDataPages(Path(name), Input(3));
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_NE(Read(Path(name)).find("Samples,3\r\n"), std::string::npos);
    EXPECT_EQ(FilesInDir(), 1);
}

#ifndef _WIN32
TEST_F(ExportFiles, ALinkIsFollowedAndThePermissionsKept) {
    Write(Path("real.csv"), "old");
    fs::permissions(Path("real.csv"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
                    fs::perm_options::replace);
    fs::create_symlink("real.csv", Path("link.csv"));
    ASSERT_TRUE(WriteDataPages(Path("link.csv"), Input(0)).ok);
    EXPECT_TRUE(fs::is_symlink(Path("link.csv")));
    EXPECT_EQ(Read(Path("real.csv")).substr(0, 8), "Header\r\n");
    EXPECT_EQ(fs::status(Path("real.csv")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(FilesInDir(), 2);
}
#endif

TEST(FormatTimeStr, HoursMinutesSeconds) {
    struct Case {
        float perc;
        const char* text;
        bool ok;
    };
    const Case cases[] = {
        {0.0f, "00:00:00", true},
        {0.5f, "12:00:00", true},
        {0.4270833f, "10:15:00", true},
        {36901.0f / 86400, "10:15:01", true},
        {3599.0f / 86400, "00:59:59", true},
        {3600.0f / 86400, "01:00:00", true},
        {86399.0f / 86400, "23:59:59", true},
        {0.99999535f, "24:00:00", true},  // last half second before midnight
        {1.0f, "24:00:00", true},
        {0.01171875f, "00:16:52", true},  // exactly 1012.5 s: half goes to even (down)
        {0.00390625f, "00:05:38", true},  // exactly 337.5 s: half goes to even (up)
        {5.0f, "120:00:00", false},
        {-1.0f / 86400, "00:00:-01", false},
    };
    for (const Case& c : cases) {
        const TimeText t = FormatTimeStr(c.perc);
        EXPECT_EQ(t.text, c.text) << c.perc;
        EXPECT_EQ(t.ok, c.ok) << c.perc;
    }
}

TEST(FormatTimeStr, AbsurdInputsAreSafe) {
    for (float v : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity(), 1e30f, -1e30f,
                    std::numeric_limits<float>::max(), 24856.0f, -24856.0f}) {
        const TimeText t = FormatTimeStr(v);
        EXPECT_FALSE(t.ok) << v;
        EXPECT_FALSE(t.text.empty()) << v;
    }
}

TEST(ParsePathFile, FolderAndNameParts) {
    struct Case {
        const char* path;
        bool folderOk;
        const char* folder;
        const char* name;
    };
    const Case cases[] = {
        {"/data/run.csv", true, "/data", "run.csv"},
        {"/run.csv", true, "", "run.csv"},
        {"run.csv", false, "", "run.csv"},
        {"a/b/c", true, "a/b", "c"},
        {"a/b/", true, "a/b", ""},
        {"", false, "", ""},
#ifdef _WIN32
        {"C:\\Data\\run.csv", true, "C:\\Data", "run.csv"},
        {"C:\\Data/sub\\run.csv", true, "C:\\Data/sub", "run.csv"},
#else
        {"C:\\Data\\run.csv", false, "", "C:\\Data\\run.csv"},
#endif
    };
    for (const Case& c : cases) {
        std::string folder = "untouched";
        EXPECT_EQ(ParsePathFile(c.path, 1, folder), c.folderOk) << c.path;
        EXPECT_EQ(folder, c.folderOk ? c.folder : "untouched") << c.path;
        for (int which : {2, 0, -1}) {
            std::string name;
            EXPECT_TRUE(ParsePathFile(c.path, which, name));
            EXPECT_EQ(name, c.name) << c.path;
        }
    }
}

TEST(SplitSaveName, ExtensionFromTheFileNameOnly) {
    struct Case {
        const char* path;
        const char* base;
        const char* ext;
        const char* page3;
    };
    const Case cases[] = {
        {"/d/run.csv", "/d/run", ".csv", "/d/run_3.csv"},
        {"/d/run.backup", "/d/run", ".backup", "/d/run_3.backup"},
        {"/d/run.2026.txt", "/d/run.2026", ".txt", "/d/run.2026_3.txt"},
        {"/d.v2/run", "/d.v2/run", "", "/d.v2/run_3"},
        {"/d.v2/run.csv", "/d.v2/run", ".csv", "/d.v2/run_3.csv"},
        {"run", "run", "", "run_3"},
        {"run.", "run", ".", "run_3."},
        {"/d/.csv", "/d/", ".csv", "/d/_3.csv"},
        {"", "", "", "_3"},
    };
    for (const Case& c : cases) {
        const SaveNameSplit s = SplitSaveName(c.path);
        EXPECT_EQ(s.base, c.base) << c.path;
        EXPECT_EQ(s.ext, c.ext) << c.path;
        EXPECT_EQ(DropExtension(c.path), c.base) << c.path;
        EXPECT_EQ(PageFileName(s, 1), c.path) << c.path;
        EXPECT_EQ(PageFileName(s, 3), c.page3) << c.path;
    }
    EXPECT_EQ(PageFileName(SplitSaveName("/d/run.csv"), 2), "/d/run_2.csv");
    EXPECT_EQ(PageFileName(SplitSaveName("/d/run.csv"), 10), "/d/run_10.csv");
}

// ------------------------------------------------------ reading a data file back

TEST_F(ExportFiles, TheReaderTakesBackWhatTheWriterWroteEvenInExponentForm) {
    // Mantissas the display never shows still come back: the writer gives
    // them in exponent form ("1.5E+07E-3").
    SetRow(1, 1, 1.5e7f, -3);
    SetRow(2, 2, 2.5e-5f, 0);
    SetRow(3, 3, -3.4e38f, 99);
    SetRow(4, 1e7f, 1.25f, -6);
    ExportInput in = Input(4, "V/m");
    in.dataUploaded = true;
    ASSERT_TRUE(WriteDataPages(Path("up.csv"), in).ok);
    DataFileContents file;
    std::string error;
    ASSERT_TRUE(ReadDataFile(Path("up.csv"), file, error)) << error;
    EXPECT_TRUE(file.uploaded);
    EXPECT_EQ(file.unitsText, "V/m");
    ASSERT_EQ(file.rows.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(file.rows[i].time, rows_[i + 1][0]) << i;
        EXPECT_FLOAT_EQ(file.rows[i].mantissa, rows_[i + 1][1]) << i;
        EXPECT_EQ(file.rows[i].exponent, rows_[i + 1][2]) << i;
    }
}

TEST_F(ExportFiles, TheColumnTitlesAreSkippedOnlyWhenTheyAreThere) {
    const std::string head = "Header\r\nUnits,Tesla\r\nEndHeader\r\n";
    struct Row {
        const char* body;
        std::size_t rows;
        float firstMantissa;
    };
    const Row rows[] = {
        {"Time ,Field Tesla\r\n10:15:00,1.25E-6\r\n10:15:01,1.3E-6\r\n", 2, 1.25f},
        {"10:15:00,1.25E-6\r\n10:15:01,1.3E-6\r\n", 2, 1.25f},  // no titles: nothing lost
        {"Time,Field Tesla\r\n1,2E0\r\n", 1, 2},                // titles a spreadsheet saved
        {"Time ,Field \r\n", 0, 0},                             // no unit, no rows
    };
    for (const Row& r : rows) {
        Write(Path("x.csv"), head + r.body);
        DataFileContents file;
        std::string error;
        ASSERT_TRUE(ReadDataFile(Path("x.csv"), file, error)) << r.body << error;
        ASSERT_EQ(file.rows.size(), r.rows) << r.body;
        if (r.rows > 0) {
            EXPECT_EQ(file.rows[0].mantissa, r.firstMantissa) << r.body;
        }
    }
}

TEST_F(ExportFiles, TheReaderRefusesNumbersALogCannotHoldAndSaysWhy) {
    const std::string head = "Header\r\nEndHeader\r\nTime ,Field G\r\n";
    struct Row {
        const char* lines;
        const char* error;  // part of the reason
    };
    const Row rows[] = {
        {"1e400,1.2E-3\r\n",
         "line 4 is not a row of readings: the sample number \"1e400\" is "
         "beyond what a data log holds"},
        {"1,1.2E-3\r\n1e39,1E0\r\n", "line 5 is not a row of readings: the sample number"},
        {"-inf,1E0\r\n", "\"-inf\" is not a sample number"},
        {"1-2,1E0\r\n", "\"1-2\" is not a sample number"},
        {"1,3.4E38E99\r\n", "\"3.4E38E99\" is not a value"},
        {"1,1.2E3x\r\n", "\"1.2E3x\" is not a value"},
        {"1,1.2.3E3\r\n", "\"1.2.3E3\" is not a value"},
        {"1,1-2E3\r\n", "\"1-2E3\" is not a value"},
        {"1,1E+400E0\r\n", "the mantissa \"1E+400\" is beyond"},
        {"1,1E0E0E0\r\n", "not a value"},
        {"1,1E100\r\n", "exponent -99 to 99"},
        {"10:15:00,1E0\r\n10:15:0x,1E0\r\n",
         "line 5 is not a row of readings: \"10:15:0x\" is "
         "not a time of day"},
        {"10:15:00 1E0\r\n", "line 4 is not a row of readings: no comma"},
    };
    for (const Row& r : rows) {
        Write(Path("x.csv"), head + r.lines);
        DataFileContents file;
        std::string error;
        EXPECT_FALSE(ReadDataFile(Path("x.csv"), file, error)) << r.lines;
        EXPECT_NE(error.find(r.error), std::string::npos) << r.lines << ": " << error;
    }
    // What a log can hold is taken, to the last single.
    Write(Path("x.csv"), head + "3.4E+38,-3.4E+38E-99\r\n");
    DataFileContents file;
    std::string error;
    ASSERT_TRUE(ReadDataFile(Path("x.csv"), file, error)) << error;
    ASSERT_EQ(file.rows.size(), 1u);
    EXPECT_TRUE(std::isfinite(file.rows[0].time));
    EXPECT_FLOAT_EQ(file.rows[0].mantissa, -3.4e38f);
}

}  // namespace
}  // namespace fenwyd
