// The report read back as a reader would: the real program writes it from
// data files saved by the program's own writer, poppler's pdftotext and
// pdfinfo read it, and every figure is checked against a recomputation from
// the files' text. Journal rows, over-range flags and survey points, which
// no data file carries, go through RenderReport itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <cmath>
#include <memory>
#include <regex>
#include <sstream>

#include "datalog/export.h"
#include "report/report.h"
#include "support/files.h"
#include "support/process.h"

namespace fenwyd::testing {
namespace {

namespace fs = std::filesystem;

struct Finished {
    int code = -1;
    std::string out, err;
};

// A program run with its own HOME and XDG folders and no display, under a
// locale whose paper is A4 unless one is given.
Finished RunProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::string& locale = "en_GB.UTF-8") {
    TempFolder home;
    for (const char* sub : {"home", "config", "data", "cache", "runtime"}) {
        fs::create_directories(home.path() / sub);
    }
    chmod((home.path() / "runtime").c_str(), 0700);
    const auto env = EnvironmentWith({{"HOME", (home.path() / "home").string()},
                                      {"XDG_CONFIG_HOME", (home.path() / "config").string()},
                                      {"XDG_DATA_HOME", (home.path() / "data").string()},
                                      {"XDG_CACHE_HOME", (home.path() / "cache").string()},
                                      {"XDG_RUNTIME_DIR", (home.path() / "runtime").string()},
                                      {"DISPLAY", ""},
                                      {"WAYLAND_DISPLAY", ""},
                                      {"QT_QPA_PLATFORM", ""},
                                      {"LC_ALL", locale},
                                      {"LANG", locale}});
    const fs::path outPath = home.path() / "out", errPath = home.path() / "err";
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t pid = Spawn(program, args, env, out, err);
    close(out);
    close(err);
    Finished r;
    r.code = pid > 0 ? WaitExit(pid, 120000) : -1;
    if (r.code == -1) Stop(pid, 1000);
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    return r;
}

Finished Report(const std::vector<std::string>& args, const std::string& locale = "en_GB.UTF-8") {
    std::vector<std::string> all = {"--report"};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(FENWYD_PROGRAM, all, locale);
}

std::string PdfText(const fs::path& pdf, int first = 0, int last = 0) {
    std::vector<std::string> args = {"-layout"};
    if (first > 0)
        args.insert(args.end(), {"-f", std::to_string(first), "-l", std::to_string(last)});
    args.insert(args.end(), {pdf.string(), "-"});
    return RunProgram("/usr/bin/pdftotext", args).out;
}

// A "Key:  value" line of pdfinfo.
std::string PdfInfo(const fs::path& pdf, const std::string& key) {
    std::istringstream lines(RunProgram("/usr/bin/pdfinfo", {pdf.string()}).out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return line.substr(line.find_first_not_of(' ', key.size() + 1));
        }
    }
    return {};
}

// --- Data files, written as the program saves a data log

struct LogRowSpec {
    float mantissa;
    int exponent;
    std::string units;
};

std::vector<std::string> SaveLog(const fs::path& file, const std::vector<LogRowSpec>& rows,
                                 bool uploaded = false) {
    auto data = std::make_unique<float[][kLogColumns]>(rows.size() + 1);
    ExportInput in;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        data[i + 1][kLogColTime] =
            uploaded ? static_cast<float>(i + 1) : static_cast<float>((36900.0 + i) / 86400.0);
        data[i + 1][kLogColValue] = rows[i].mantissa;
        data[i + 1][kLogColExponent] = static_cast<float>(rows[i].exponent);
        const auto row = static_cast<int32_t>(i + 1);
        if (in.unitRuns.empty() || in.unitRuns.back().unitsText != rows[i].units) {
            in.unitRuns.push_back({row, row, rows[i].units});
        }
        in.unitRuns.back().last = row;
    }
    in.recordData = data.get();
    in.recordCnt = static_cast<int32_t>(rows.size());
    in.dataUploaded = uploaded;
    in.unitsText = rows.empty() ? "Gauss" : rows.front().units;
    in.notes = {{"Location", "Substation 4; fence line"}, {"Operator", "R. Pryce"}};
    in.dateText = [] { return "12/6/2026"; };
    in.timeText = [] { return "3:16:52 PM"; };
    in.onTimeFormatError = [] {};
    return WriteDataPages(file.string(), in).files;
}

// The readings of a data file recomputed from its text: the value in the
// base unit of its "Units," line, and the time column as written.
struct FileReading {
    std::string when;
    double value;
};
std::vector<FileReading> ReadBack(const std::string& path, std::string& units) {
    std::istringstream lines(ReadFile(path));
    std::string line;
    std::vector<FileReading> out;
    bool rows = false, titles = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("Units,", 0) == 0) units = line.substr(6);
        if (titles) {
            const std::size_t comma = line.find(',');
            out.push_back({line.substr(0, comma), std::stod(line.substr(comma + 1))});
        }
        titles = titles || rows;
        rows = rows || line == "EndHeader";
    }
    return out;
}

struct Recomputed {
    std::size_t count = 0;
    double min = 0, max = 0, mean = 0, sd = 0;
    std::string maxAt, minAt;
};
Recomputed Recompute(const std::vector<FileReading>& readings, double scale) {
    Recomputed r;
    double sum = 0;
    for (const FileReading& f : readings) {
        const double v = f.value * scale;
        if (r.count == 0 || v > r.max) r.max = v, r.maxAt = f.when;
        if (r.count == 0 || v < r.min) r.min = v, r.minAt = f.when;
        sum += v;
        ++r.count;
    }
    r.mean = sum / static_cast<double>(r.count);
    double squares = 0;
    for (const FileReading& f : readings) squares += std::pow(f.value * scale - r.mean, 2);
    r.sd = std::sqrt(squares / static_cast<double>(r.count - 1));
    return r;
}

// The text after `label` on its line in the report ("Mean   1.102 mG").
std::string Field(const std::string& text, const std::string& label) {
    const std::regex line("(^|\\n)\\s*" + std::regex_replace(label, std::regex("[()%.]"), "\\$&") +
                          "\\s{2,}([^\\n]*)");
    std::smatch m;
    return std::regex_search(text, m, line) ? m[2].str() : std::string("(no " + label + ")");
}

double Leading(const std::string& s) { return std::atof(s.c_str()); }

// Shown with four significant digits: within half a unit of the fourth.
void ExpectShown(const std::string& shown, double expected, const std::string& what) {
    EXPECT_NEAR(Leading(shown), expected, std::fabs(expected) * 5.01e-4) << what << ": " << shown;
}

// Percents are cut to one decimal, never rounded up.
void ExpectPercent(const std::string& shown, double expected, const std::string& what) {
    const double v = Leading(shown);
    EXPECT_LE(v, expected + 1e-9) << what << ": " << shown;
    EXPECT_GT(v, expected - 0.1) << what << ": " << shown;
}

// --- The command line

TEST(ReportCommand, FiguresOfEveryUnitEqualARecomputationFromBothPages) {
    TempFolder folder;
    std::vector<LogRowSpec> rows;
    for (int i = 0; i < 40; ++i) {  // mG: 100 to 2500, the peak at row 8
        rows.push_back(
            {i == 7 ? 2500.0f : 100.0f + static_cast<float>((i * 37) % 1900), -3, "Gauss"});
    }
    for (int i = 0; i < 25; ++i) {  // V/m: 100.5 to 1999
        rows.push_back({i == 3 ? 1999.0f : 100.5f + static_cast<float>((i * 53) % 1500), 0, "V/m"});
    }
    const auto files = SaveLog(folder.path() / "site.csv", rows);
    ASSERT_EQ(files.size(), 2u);
    const fs::path pdf = folder.path() / "site.pdf";
    const Finished run = Report(
        {files[0], "--output", pdf.string(), "--exposure", "icnirp2010-public", "--alarm", "50"});
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string text = PdfText(pdf);

    EXPECT_EQ(Field(text, "Location"), "Substation 4; fence line");
    EXPECT_EQ(Field(text, "Operator"), "R. Pryce");
    EXPECT_EQ(Field(text, "Source"), "site.csv, site_2.csv");
    EXPECT_EQ(Field(text, "Frequency"), "50 Hz");
    EXPECT_NE(text.find("10:15:00 to 10:16:04 (times of day; the data file was saved on "
                        "12/6/2026 at 3:16:52 PM)"),
              std::string::npos);
    EXPECT_NE(text.find("Maximum 125 % of the ICNIRP 2010 general public reference level "
                        "(2000 mG at 50 Hz)"),
              std::string::npos)
        << text;

    // The graph of each quantity draws the level where the readings come near it.
    EXPECT_NE(text.find("Reference level 2000 mG\n"), std::string::npos);
    EXPECT_NE(text.find("Alarm threshold 50 % (1000 mG)"), std::string::npos);
    EXPECT_NE(text.find("The reference level (5000 V/m) lies above the plotted range."),
              std::string::npos);

    // A block per unit, each checked against its own page's text.
    struct Unit {
        std::string heading, label;
        double scale, level;
        int atOrAbove = 0;
    };
    const Unit units[] = {{"Magnetic flux density (mG)", "mG", 1000, 2000},
                          {"Electric field strength (V/m)", "V/m", 1, 5000}};
    const std::size_t mg = text.find(units[0].heading), vm = text.find(units[1].heading);
    ASSERT_NE(mg, std::string::npos);
    ASSERT_NE(vm, std::string::npos);
    ASSERT_LT(mg, vm);
    const std::string blocks[] = {text.substr(mg, vm - mg), text.substr(vm, 2000)};
    for (int k = 0; k < 2; ++k) {
        std::string fileUnits;
        const std::vector<FileReading> readings = ReadBack(files[k], fileUnits);
        const Recomputed r = Recompute(readings, units[k].scale);
        const std::string& b = blocks[k];
        const std::string& u = units[k].label;
        SCOPED_TRACE(units[k].heading);
        std::size_t above = 0;
        for (const FileReading& f : readings) {
            above += f.value * units[k].scale / units[k].level * 100 >= 50 ? 1 : 0;
        }
        EXPECT_EQ(Field(b, "Readings counted"),
                  std::to_string(r.count) + " of " + std::to_string(r.count));
        ExpectShown(Field(b, "Minimum"), r.min, "minimum");
        EXPECT_NE(Field(b, "Minimum").find(" " + u + " at " + r.minAt), std::string::npos);
        ExpectShown(Field(b, "Maximum"), r.max, "maximum");
        EXPECT_NE(Field(b, "Maximum").find(" " + u + " at " + r.maxAt), std::string::npos);
        ExpectShown(Field(b, "Mean"), r.mean, "mean");
        ExpectShown(Field(b, "Standard deviation"), r.sd, "standard deviation");
        EXPECT_EQ(Field(b, "Reference level"), k == 0 ? "2000 mG" : "5000 V/m");
        ExpectPercent(Field(b, "Maximum, % of the level"), 100 * r.max / units[k].level, "max %");
        ExpectPercent(Field(b, "Mean, % of the level"), 100 * r.mean / units[k].level, "mean %");
        EXPECT_EQ(Field(b, "At or above the alarm threshold (50 %)"),
                  std::to_string(above) + " of " + std::to_string(r.count));
    }
}

TEST(ReportCommand, PagesAndTheOrderOfTheSectionsAreFixed) {
    TempFolder folder;
    // A short log lists its readings in the body; a long one in an appendix.
    struct Case {
        int rows;
        const char* locale;
        int pages;
        const char* paper;
    };
    for (const Case& c : {Case{40, "en_GB.UTF-8", 2, "(A4)"}, Case{1000, "en_GB.UTF-8", 6, "(A4)"},
                          Case{1000, "en_US.UTF-8", 6, "(letter)"}}) {
        SCOPED_TRACE(std::to_string(c.rows) + " rows, " + c.locale);
        std::vector<LogRowSpec> rows;
        for (int i = 0; i < c.rows; ++i) {
            rows.push_back({1.0f + static_cast<float>(i % 90) / 100.0f, -3, "Gauss"});
        }
        const auto files = SaveLog(folder.path() / "run.csv", rows);
        const fs::path pdf = folder.path() / "run.pdf";
        const Finished run =
            Report({files[0], "--output", pdf.string(), "--title", "Golden check"}, c.locale);
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(Leading(PdfInfo(pdf, "Pages")), c.pages);
        EXPECT_NE(PdfInfo(pdf, "Page size").find(c.paper), std::string::npos);
        EXPECT_EQ(PdfInfo(pdf, "Title"), "Golden check");
        // Every font is embedded.
        const std::string fonts = RunProgram("/usr/bin/pdffonts", {pdf.string()}).out;
        const std::regex font("\\n(\\S+) .* (yes|no) +(yes|no) +(yes|no) +\\d+ +\\d+");
        int embedded = 0;
        for (auto f = std::sregex_iterator(fonts.begin(), fonts.end(), font);
             f != std::sregex_iterator(); ++f) {
            EXPECT_EQ((*f)[2].str(), "yes") << (*f)[1].str() << " is not embedded";
            ++embedded;
        }
        EXPECT_GE(embedded, 2) << fonts;

        const std::string text = PdfText(pdf);
        std::size_t at = 0;
        for (const char* section : {"Golden check", "Summary", "No reference level chosen",
                                    "Verdict", "Site notes", "Statistics", "Graph", "Readings"}) {
            const std::size_t next = text.find(section, at);
            ASSERT_NE(next, std::string::npos) << section << " missing or out of order";
            at = next;
        }
        EXPECT_NE(text.find("Page 1 of " + std::to_string(c.pages)), std::string::npos);
        if (c.rows > static_cast<int>(report::kReadingsInBody)) {
            // The appendix starts on the page the body names.
            const std::regex named("listed in Appendix A, from page (\\d+)");
            std::smatch m;
            ASSERT_TRUE(std::regex_search(text, m, named));
            const int page = std::stoi(m[1].str());
            EXPECT_NE(PdfText(pdf, page, page).find("Appendix A. The readings"), std::string::npos);
            EXPECT_EQ(PdfText(pdf, page - 1, page - 1).find("Appendix A. The"), std::string::npos);
            // Every reading is listed, the last on the last page.
            EXPECT_TRUE(std::regex_search(PdfText(pdf, c.pages, c.pages),
                                          std::regex("1000\\s+10:31:39\\s+1\\.09\\s+mG")));
        }
    }
}

TEST(ReportCommand, AnEmptyLogAndAnUploadedOneGiveTheirOwnWords) {
    TempFolder folder;
    const auto empty = SaveLog(folder.path() / "empty.csv", {});
    const fs::path pdf = folder.path() / "r.pdf";
    Finished run = Report({empty[0], "--output", pdf.string(), "--exposure", "icnirp2010-public"});
    ASSERT_EQ(run.code, 0) << run.err;
    std::string text = PdfText(pdf);
    EXPECT_EQ(Field(text, "Readings taken"), "No readings");
    EXPECT_NE(text.find("No readings to compare with the reference level"), std::string::npos);
    EXPECT_NE(text.find("The log holds no readings."), std::string::npos);

    std::vector<LogRowSpec> rows;
    for (int i = 0; i < 12; ++i) rows.push_back({i == 6 ? 95.5f : 10.0f + i, 0, "V/m"});
    const auto uploaded = SaveLog(folder.path() / "upload.csv", rows, true);
    run = Report({uploaded[0], "--output", pdf.string(), "--reference-level", "191", "V/m"});
    ASSERT_EQ(run.code, 0) << run.err;
    text = PdfText(pdf);
    EXPECT_NE(
        Field(text, "Readings taken").find("Samples 1 to 12, uploaded from the probe's memory"),
        std::string::npos);
    EXPECT_EQ(Field(text, "Maximum"), "95.5 V/m at sample 7");
    EXPECT_NE(text.find("Maximum 50 % of the typed reference level (191 V/m)"), std::string::npos);
}

TEST(ReportCommand, FilesThatCannotBeReadOrWrittenExitOneWithTheReason) {
    TempFolder folder;
    WriteFile(folder.path() / "notes.txt", "Dear inspector,\r\n");
    const auto good = SaveLog(folder.path() / "good.csv", {{1.5f, -3, "Gauss"}});
    const fs::path pdf = folder.path() / "r.pdf";
    struct Case {
        std::vector<std::string> args;
        std::string reason;
    };
    const Case cases[] = {
        {{(folder.path() / "notes.txt").string(), "--output", pdf.string()},
         "notes.txt: not a data file of this program: no \"Header\" line at the start"},
        {{(folder.path() / "missing.csv").string(), "--output", pdf.string()},
         "missing.csv: no such file"},
        {{good[0], (folder.path() / "notes.txt").string(), "--output", pdf.string()},
         "notes.txt: not a data file"},
        {{good[0], "--output", (folder.path() / "no-such-folder" / "r.pdf").string()},
         "cannot write " + (folder.path() / "no-such-folder" / "r.pdf").string() + ": "},
    };
    for (const Case& c : cases) {
        const Finished run = Report(c.args);
        EXPECT_EQ(run.code, 1) << c.reason;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(pdf));
    }
}

TEST(ReportCommand, UsageErrorsExitTwoAndWriteNothing) {
    TempFolder folder;
    const auto log = SaveLog(folder.path() / "log.csv", {{1.5f, -3, "Gauss"}});
    const std::string pdf = (folder.path() / "r.pdf").string();
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{log[0], "--output", pdf, "--colour", "red"}, "unknown option '--colour'"},
        {{log[0], "--output"}, "--output needs a value"},
        {{log[0]}, "--output REPORT.pdf is missing"},
        {{"--output", pdf}, "--report needs the data file"},
        {{log[0], "--output", pdf, "--exposure", "icnirp2010-public", "--reference-level", "2",
          "G"},
         "either --exposure or --reference-level"},
        {{log[0], "--output", pdf, "--exposure", "icnirp2020"}, "unknown --exposure 'icnirp2020'"},
        {{log[0], "--output", pdf, "--exposure", "eu2013-low", "--frequency", "0.5"},
         "The frequency must be from 1 Hz to 3 kHz."},
        {{log[0], "--output", pdf, "--exposure", "eu2013-low", "--frequency", "3001"},
         "The frequency must be from 1 Hz to 3 kHz."},
        {{log[0], "--output", pdf, "--exposure", "eu2013-low", "--frequency", "fifty"},
         "The frequency must be from 1 Hz to 3 kHz."},
        {{log[0], "--output", pdf, "--reference-level", "2000", "mX"}, "Unknown unit \"mX\""},
        {{log[0], "--output", pdf, "--reference-level", "-3", "mG"}, "number above zero"},
        {{log[0], "--output", pdf, "--reference-level", "2000"}, "needs a value and a unit"},
        {{log[0], "--output", pdf, "--exposure", "eu2013-low", "--alarm", "1,5"},
         "--alarm must be a percent above 0"},
        {{log[0], "--output", pdf, "--alarm", "80"}, "--alarm needs --exposure"},
        {{log[0], "--output", pdf, "--frequency", "60"}, "--frequency needs --exposure"},
        {{log[0], "--output", pdf, "stray"}, "unexpected argument 'stray'"},
    };
    // Nor may the report replace a page of its log.
    const Finished own = Report({log[0], "--output", (folder.path() / "log.csv").string()});
    EXPECT_EQ(own.code, 2);
    EXPECT_NE(own.err.find("would replace the data file"), std::string::npos) << own.err;
    EXPECT_EQ(ReadFile(log[0]).rfind("Header", 0), 0u);
    for (const Case& c : cases) {
        const Finished run = Report(c.args);
        EXPECT_EQ(run.code, 2) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("usage: fenwyd8200 --report FILE"), std::string::npos);
        EXPECT_FALSE(fs::exists(pdf)) << c.message;
    }
    // And the help, which is no error.
    const Finished help = Report({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--reference-level V UNIT"), std::string::npos);
    EXPECT_NE(RunProgram(FENWYD_PROGRAM, {"--help"}).out.find("fenwyd8200 --report FILE"),
              std::string::npos);
}

// --- Rows only the window and the journal have

fenwyd::LoggedRow Row(const std::string& value, int exponent, const std::string& units,
                      const std::string& label, int64_t utcMs) {
    fenwyd::LoggedRow r;
    r.reading.valueText = value;
    r.reading.mantissa = std::stof(value);
    r.reading.exponent = static_cast<int16_t>(exponent);
    r.reading.unitsText = units;
    r.reading.unitsLabel = label;
    r.reading.quantity = LookUpUnitScale(units).quantity;
    r.reading.model = 8204;
    r.reading.utcMs = utcMs;
    r.reading.utcOffsetSeconds = 3600;
    return r;
}

TEST(ReportInput, JournalRowsOverRangeFlagsAndSurveyPoints) {
    report::ReportInput in;
    in.title = "Night survey";
    // 2026-06-12 22:59:58 UTC: 23:59:58 local, past midnight by the end.
    const int64_t t0 = 1781305198000;
    const char* values[] = {"1.2", "1.5", "1.999", "0.8", "1.1", "1.4", "1.3", "0.9", "1.0", "1.6"};
    for (int i = 0; i < 10; ++i)
        in.rows.push_back(Row(values[i], -6, "Tesla", "uT", t0 + i * 1000));
    in.rows[2].reading.overRange = true;  // 1.999 mT would be the peak; it is not counted
    in.rows[5].reading.underRange = true;
    in.rows.push_back(Row("45", 0, "V/m", "V/m", t0 + 10000));
    in.reference = MakeTypedReference(2, "uT");
    in.alarmPercent = 60;
    report::SurveyPoint gate;
    gate.name = "Gate";
    gate.utcMs = t0;
    gate.utcOffsetSeconds = 3600;
    gate.valueText = "1.5";
    gate.exponent = -6;
    gate.unitsText = "Tesla";
    gate.unitsLabel = "uT";
    gate.latitude = 51.5;
    gate.longitude = -0.127;
    gate.altitude = 35;
    report::SurveyPoint bench = gate;
    bench.name = "Bench";
    bench.latitude.reset();
    bench.longitude.reset();
    bench.altitude.reset();
    bench.gridLabel = "B4";
    in.points = {gate, bench};

    TempFolder folder;
    const fs::path pdf = folder.path() / "night.pdf";
    WriteFile(pdf, report::RenderReport(in, QPageSize::A4).toStdString());
    const std::string text = PdfText(pdf);
    EXPECT_EQ(Field(text, "Readings taken"),
              "2026-06-12 23:59:58 to 2026-06-13 00:00:08 (UTC+01:00)");
    EXPECT_EQ(Field(text, "Probe"), "QM-8204");
    EXPECT_EQ(Field(text, "Readings"),
              "11 readings in uT, V/m (1 over range, 1 under range, left "
              "out of the figures)");
    EXPECT_EQ(Field(text, "Readings counted"), "8 of 10");
    EXPECT_EQ(Field(text, "Left out"), "1 over range, 1 under range");
    EXPECT_EQ(Field(text, "Maximum"), "1.6 uT at 2026-06-13 00:00:07");
    EXPECT_EQ(Field(text, "At or above the alarm threshold (60 %)"), "4 of 8");
    EXPECT_NE(text.find("Maximum 80 % of the typed reference level (2 uT)"), std::string::npos);
    EXPECT_NE(text.find("None for this quantity"), std::string::npos);  // V/m against a uT level
    EXPECT_TRUE(std::regex_search(text, std::regex("00:00:00\\s+1\\.999\\s+uT\\s+over range")));
    EXPECT_NE(text.find("over range"), std::string::npos);
    EXPECT_NE(text.find("Survey points"), std::string::npos);
    EXPECT_NE(text.find("51.500000\u00b0 N, 0.127000\u00b0 W; 35.0 m"), std::string::npos);
    EXPECT_NE(text.find("grid B4"), std::string::npos);
    // Two graphs: one per quantity.
    EXPECT_NE(text.find("Magnetic flux density (uT)\n"), std::string::npos);
    EXPECT_NE(text.find("Electric field strength (V/m)\n"), std::string::npos);
}

}  // namespace
}  // namespace fenwyd::testing
