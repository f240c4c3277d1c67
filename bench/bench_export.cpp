// Saving a full data log, flushed to disk, beside writing and flushing the
// same bytes with one fwrite.
#include <unistd.h>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "bench.h"
#include "instrument/instrument.h"
#include "qt/qt_platform.h"
#include "support/fakes.h"

namespace fenwyd::bench {

namespace {
constexpr int kRepetitions = 11;
constexpr double kFirstSampleSeconds = 9 * 3600 + 41 * 60 + 7.25;  // time of day
constexpr double kSamplePeriodSeconds = 0.366;

// A full log of plausible readings in the logged-time form: time of day as a
// fraction of a day, a four-digit value and its decimal exponent.
void FillLog(InstrumentState& st) {
    for (int32_t i = 1; i <= kMaxRecords; ++i) {
        auto& row = st.RecordData[static_cast<std::size_t>(i)];
        row[0] = static_cast<float>((kFirstSampleSeconds + i * kSamplePeriodSeconds) / 86400.0);
        const int raw = 1000 + (i * 7919) % 9000;  // 1000..9999
        row[1] = static_cast<float>(raw) / (i % 3 == 0 ? 100.0f : 1000.0f);
        row[2] = static_cast<float>(i % 3 == 0 ? 0 : -3);
    }
    st.RecordCnt = kMaxRecords;
    st.DataUploaded = 0;
    st.UnitsText = "V/m";
    st.NoteQuery = {{"Operator?", "Operator", "R. Pryce"},
                    {"Site?", "Site", "Mast 4, north face"},
                    {"Probe serial number?", "Probe", "8204-01173"}};
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

Figure BenchExport() {
    const Figure failed{"Saving a full log, durably", "n/a", "< 50 ms", ""};
    QTemporaryDir dir;
    const std::string saved = dir.filePath(QStringLiteral("run.csv")).toStdString();
    const std::string plain = dir.filePath(QStringLiteral("plain.csv")).toStdString();

    QtClock clock;  // date and time of the header
    testing::VirtualClock portClock;
    testing::FakeSerialPort port{portClock};
    testing::ScriptedDialogs dialogs;
    testing::MemorySettings settings;
    testing::RecordingDisplay display;
    auto in = std::make_unique<Instrument>(
        Platform{port, clock, dialogs, settings, display, dir.path().toStdString(), ""});
    FillLog(in->st);

    // Saves and plain writes take turns, so a burst of load elsewhere on the
    // machine falls on both; one unmeasured round first.
    std::vector<double> saveTimes, writeTimes;
    std::string bytes;
    for (int r = 0; r <= kRepetitions; ++r) {
        double t0 = Now();
        const bool ok = in->SaveData(saved);
        double t1 = Now();
        if (!ok) return Figure{failed.name, failed.value, failed.goal, "SaveData failed"};
        if (r > 0) saveTimes.push_back(t1 - t0);
        if (bytes.empty()) bytes = ReadFile(saved);

        t0 = Now();
        std::FILE* f = std::fopen(plain.c_str(), "wb");
        if (f == nullptr) return Figure{failed.name, failed.value, failed.goal, "fopen failed"};
        const std::size_t n = std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fflush(f);
        fdatasync(fileno(f));
        std::fclose(f);
        t1 = Now();
        if (n != bytes.size()) return Figure{failed.name, failed.value, failed.goal, "short write"};
        if (r > 0) writeTimes.push_back(t1 - t0);
    }

    const double save = Median(saveTimes);
    const double write = Median(writeTimes);
    auto list = [](const std::vector<double>& v) {
        std::string s;
        for (double x : v) s += (s.empty() ? "" : " ") + Num(x * 1000, 2);
        return s;
    };
    return Figure{"Saving a full log, durably", Num(save * 1000, 2) + " ms", "< 50 ms",
                  "SaveData of " + std::to_string(kMaxRecords) + " rows (" +
                      std::to_string(bytes.size()) + " bytes, flushed to disk before the rename) " +
                      "median " + Num(save * 1000, 2) + " ms [" + list(saveTimes) +
                      "]; fwrite + fdatasync of the same bytes median " + Num(write * 1000, 2) +
                      " ms [" + list(writeTimes) + "]; " + std::to_string(kRepetitions) +
                      " runs each"};
}

}  // namespace fenwyd::bench
