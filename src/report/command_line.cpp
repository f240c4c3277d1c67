#include "report/command_line.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "datalog/data_file.h"
#include "instrument/instrument.h"
#include "report/report.h"

namespace fenwyd::report {

namespace {

void Say(const std::string& line) { std::fprintf(stderr, "fenwyd8200: %s\n", line.c_str()); }

std::string StandardKeys() {
    std::string keys;
    for (std::size_t i = 0; i < kStandardCount; ++i) {
        if (i > 0) keys += ", ";
        keys += Standards()[i].key;
    }
    return keys;
}

std::string FileName(const std::string& path) {
    return QFileInfo(QString::fromLocal8Bit(path.c_str())).fileName().toLocal8Bit().toStdString();
}

}  // namespace

bool WantsReport(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--report") == 0 || std::strncmp(argv[i], "--report=", 9) == 0) {
            return true;
        }
    }
    return false;
}

bool ParseReportCommand(const std::vector<std::string>& args, ReportCommand& out,
                        std::string& error) {
    out = ReportCommand();
    bool report = false;
    std::optional<std::string> exposure, frequency, alarm, levelValue, levelUnit, title, output;
    auto isOption = [](const std::string& a) { return a.rfind("--", 0) == 0; };
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (isOption(name) && name.find('=') != std::string::npos) {
            inlineValue = name.substr(name.find('=') + 1);
            name.erase(name.find('='));
        }
        // The next argument as the option's value, unless it is an option.
        auto value = [&](std::optional<std::string>& into) {
            if (into) {
                error = name + " is given twice";
                return false;
            }
            if (inlineValue) {
                into = *inlineValue;
            } else if (i + 1 < args.size() && !isOption(args[i + 1])) {
                into = args[++i];
            } else {
                error = name + " needs a value";
                return false;
            }
            return true;
        };
        if (name == "--report") {
            if (report) {
                error = "--report is given twice";
                return false;
            }
            report = true;
            if (inlineValue) out.files.push_back(*inlineValue);
            while (i + 1 < args.size() && !isOption(args[i + 1])) out.files.push_back(args[++i]);
        } else if (name == "--help" && !inlineValue) {
            out.help = true;
        } else if (name == "--output") {
            if (!value(output)) return false;
        } else if (name == "--exposure") {
            if (!value(exposure)) return false;
        } else if (name == "--frequency") {
            if (!value(frequency)) return false;
        } else if (name == "--alarm") {
            if (!value(alarm)) return false;
        } else if (name == "--title") {
            if (!value(title)) return false;
        } else if (name == "--reference-level") {
            if (!value(levelValue)) return false;
            if (i + 1 >= args.size() || isOption(args[i + 1])) {
                error = "--reference-level needs a value and a unit (2000 mG)";
                return false;
            }
            levelUnit = args[++i];
        } else if (isOption(name) || (name.size() > 1 && name[0] == '-')) {
            error = "unknown option '" + args[i] + "'";
            return false;
        } else {
            error = "unexpected argument '" + name + "'";
            return false;
        }
    }
    if (out.help) return true;
    if (out.files.empty()) {
        error = "--report needs the data file (or the pages of one log)";
        return false;
    }
    if (!output || output->empty()) {
        error = "--output REPORT.pdf is missing";
        return false;
    }
    out.output = *output;
    if (exposure && levelValue) {
        error = "give either --exposure or --reference-level, not both";
        return false;
    }
    if (frequency && !exposure) {
        error = "--frequency needs --exposure (a typed level has no frequency)";
        return false;
    }
    if (alarm && !exposure && !levelValue) {
        error = "--alarm needs --exposure or --reference-level";
        return false;
    }
    if (exposure) {
        const std::optional<StandardId> id = StandardFromKey(*exposure);
        if (!id) {
            error = "unknown --exposure '" + *exposure + "'; use one of " + StandardKeys();
            return false;
        }
        double hz = kDefaultFrequencyHz;
        if (frequency) {
            const std::optional<double> f = ParseDecimal(*frequency);
            if (!f || !FrequencyInRange(*f)) {
                error = std::string("--frequency: ") + kFrequencyRangeError;
                return false;
            }
            hz = *f;
        }
        out.reference = MakeStandardReference(*id, hz, &error);
    } else if (levelValue) {
        out.reference = ParseTypedReference(*levelValue, *levelUnit, &error);
        if (!out.reference) {
            error = "--reference-level: " + error;
            return false;
        }
    }
    if (alarm) {
        const std::optional<double> a = ParseDecimal(*alarm);
        if (!a || !(*a > 0)) {
            error = "--alarm must be a percent above 0";
            return false;
        }
        out.alarmPercent = *a;
    }
    if (title) {
        if (title->empty()) {
            error = "--title needs a text";
            return false;
        }
        out.title = *title;
    }
    return true;
}

std::string ReportUsage() {
    return "usage: fenwyd8200 --report FILE [FILE ...] --output REPORT.pdf\n"
           "         [--exposure ID | --reference-level VALUE UNIT] [--frequency HZ]\n"
           "         [--title TEXT] [--alarm PERCENT]\n";
}

std::string ReportHelp() {
    return ReportUsage() + R"(
Writes a PDF report of a log saved as data files by this program: the date
and time span, the site notes, the statistics per unit, the verdict against
the reference level, a graph and the readings. No window is opened.

  --report FILE [FILE ...]   the data file (its other pages are found beside
                             it), or the pages of one log in order
  --output REPORT.pdf        the report to write
  --exposure ID              compare with a standard: )" +
           StandardKeys() + R"(
  --frequency HZ             the field's frequency, 1 to 3000 (default 50)
  --reference-level V UNIT   or with a typed level (2000 mG, 200 uT, 5 kV/m)
  --alarm PERCENT            count readings at or above this percent of the
                             level (default 100)
  --title TEXT               the title (default: the data file's name)

Exit status: 0 written, 1 a file cannot be read or the report written,
2 usage error.
)";
}

int Main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    ReportCommand cmd;
    std::string error;
    if (!ParseReportCommand(args, cmd, error)) {
        Say(error);
        std::fputs(ReportUsage().c_str(), stderr);
        return kExitUsage;
    }
    if (cmd.help) {
        std::fputs(ReportHelp().c_str(), stdout);
        return kExitOk;
    }

    // Fonts and the PDF writer need a GUI application, never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QElapsedTimer clock;
    clock.start();

    ReportInput in;
    SavedLog log;
    for (const std::string& path : cmd.files) {
        if (!QFileInfo::exists(QString::fromLocal8Bit(path.c_str()))) {
            Say(path + ": no such file");
            return kExitFile;
        }
    }
    if (cmd.files.size() == 1) {
        if (!ReadSavedLog(cmd.files.front(), log, error)) {
            Say(cmd.files.front() + ": not a data file of this program: " + error);
            return kExitFile;
        }
        if (log.incomplete) {
            const DataFileContents& page = log.pages.front();
            const std::string remark = "Only page " + std::to_string(page.page) + " of " +
                                       std::to_string(page.pages) +
                                       " was read: the other pages of this log were not found "
                                       "beside it.";
            Say(cmd.files.front() + ": " + remark);
            in.remarks.push_back(remark);
        }
    } else {
        for (const std::string& path : cmd.files) {
            DataFileContents page;
            if (!ReadDataFile(path, page, error)) {
                Say(path + ": not a data file of this program: " + error);
                return kExitFile;
            }
            log.paths.push_back(path);
            log.pages.push_back(std::move(page));
        }
    }
    // A report never replaces the readings it is made from.
    const QString output = QFileInfo(QString::fromLocal8Bit(cmd.output.c_str())).absoluteFilePath();
    for (const std::string& path : log.paths) {
        const QFileInfo page(QString::fromLocal8Bit(path.c_str()));
        if (page.absoluteFilePath() == output || page.canonicalFilePath() == output) {
            Say("--output " + cmd.output + " would replace the data file " + path);
            return kExitUsage;
        }
    }
    // Pages of one log are all live or all uploaded.
    const DataFileContents* firstRows = nullptr;
    std::size_t total = 0;
    for (std::size_t k = 0; k < log.pages.size(); ++k) {
        const DataFileContents& page = log.pages[k];
        total += page.rows.size();
        if (page.rows.empty()) continue;
        if (firstRows == nullptr) {
            firstRows = &page;
        } else if (page.uploaded != firstRows->uploaded) {
            Say(log.paths[k] + ": not a page of the same log: it holds " +
                (page.uploaded ? "sample numbers" : "times of day") + ", the pages before it " +
                (firstRows->uploaded ? "sample numbers" : "times of day"));
            return kExitFile;
        }
    }

    const DataFileContents& first = log.pages.front();
    in.title = cmd.title.empty() ? FileName(log.paths.front()) : cmd.title;
    in.notes = first.notes;
    in.rows = RowsOfSavedLog(log);
    in.uploaded = firstRows != nullptr && firstRows->uploaded;
    in.savedDate = first.dateText;
    in.savedTime = first.timeText;
    for (const std::string& path : log.paths) {
        if (!in.source.empty()) in.source += ", ";
        in.source += FileName(path);
    }
    if (in.rows.size() < total) {
        in.remarks.push_back("Only the first " + std::to_string(in.rows.size()) + " of " +
                             std::to_string(total) + " rows are reported: a log holds at most " +
                             std::to_string(in.rows.size()) + ".");
    }
    in.reference = cmd.reference;
    in.alarmPercent = cmd.alarmPercent;

    ReportStats stats;
    if (!WriteReport(in, cmd.output, error, &stats)) {
        Say("cannot write " + cmd.output + ": " + error);
        return kExitFile;
    }
    std::printf("%s: %d page%s, %zu reading%s (%.2f s)\n", cmd.output.c_str(), stats.pages,
                stats.pages == 1 ? "" : "s", in.rows.size(), in.rows.size() == 1 ? "" : "s",
                clock.elapsed() / 1000.0);
    return kExitOk;
}

}  // namespace fenwyd::report
