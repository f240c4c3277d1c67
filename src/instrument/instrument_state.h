#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "datalog/export.h"
#include "datalog/notes.h"
#include "measure/measurement.h"

namespace fenwyd {

// What the data log keeps of each row beside its three numbers, in room
// allocated once: the reading's unit and label, its full time and its flags.
struct LogRowInfo {
    int64_t utcMs = 0;  // 0: not known (a row read back from a data file)
    int32_t utcOffsetSeconds = 0;
    uint8_t unit = 0;   // base unit name: an index into RecordUnitNames (0: "")
    uint8_t label = 0;  // display label: an index into RecordUnitNames
    int8_t range = 0;
    uint8_t percent = 0;
    uint8_t flags = 0;  // kRowOverRange, kRowUnderRange, kRowAutoRange
    int16_t model = 0;
    // Where it was taken (fix 0: no position): WGS84 degrees, metres above
    // mean sea level (NaN: not known), the position's own time.
    uint8_t fix = 0;
    float altitudeM = 0;
    double latitude = 0, longitude = 0;
    int64_t fixUtcMs = 0;
};
constexpr uint8_t kRowOverRange = 1;
constexpr uint8_t kRowUnderRange = 2;
constexpr uint8_t kRowAutoRange = 4;
// Distinct unit names and labels a data log can name; the tables know 15.
constexpr std::size_t kMaxUnitNames = 64;

// A row of a data log kept elsewhere (the journal, a data file), to be put
// back into the data log.
struct LoggedRow {
    float logTime = 0;  // fraction of a day, or the sample number of an uploaded reading
    Measurement reading;
};

// What has happened to the data log since start-up, as far as the commands'
// availability depends on it.
struct LogHistory {
    bool started = false;      // logging was started
    bool stopped = false;      // logging was stopped
    bool uploadEnded = false;  // an upload completed
    bool loaded = false;       // a log was loaded (the journal, a data file)
};

// The instrument state: every member lives for the whole run and is shared by
// the procedures of the main window under these names.
struct InstrumentState {
    // Probe link
    std::string PendingCmnd;
    std::string ProbeData;
    int16_t TimeOut = 5;  // 5 = lost; the program starts lost
    uint8_t LostComm = 1;
    int16_t CommRecoverCnt = 0;
    int16_t CommPortNo = 2;
    uint8_t CommPortOpenOk = 0;

    // Last reading
    int16_t ProbeRange = 0;
    std::string ProbeUnits = "V/m";
    std::string ProbeTypeCode;
    float ReadingMantissa = 0;
    int16_t ReadingExponent = 0;
    std::string UnitsText;

    // Probe model
    int16_t ProbeModel = 0;
    std::string Model;
    int16_t ProbeTypeAsked = 0;
    int16_t ZeroAllowed = 0;
    // A live reading is on the panel (not "No Probe"), and a survey point's
    // dwell runs: what "Mark Point" depends on.
    bool ReadingShown = false;
    bool PointDwell = false;

    // Acquisition
    int16_t ActualSamPerSec = 0;
    int16_t RefreshCnt = 0;
    std::string SampleRate = "15";
    int16_t BattTempUpdateInterval = 30;
    int16_t SamRateTickCnt = 0;
    int16_t StatusHoldTicks = 0;  // rate ticks a result text stays in status panel 1
    uint8_t BattTempMinuteCnt = 0;

    // Data log: rows 0..32000; row i = sample i (col 0 time of day or sample
    // number, col 1 value, col 2 decimal exponent).
    std::array<std::array<float, kLogColumns>, kMaxRecords + 1> RecordData{};
    std::array<LogRowInfo, kMaxRecords + 1> RecordInfo{};
    // Unit names and labels the rows refer to; [0] is "". Room is made once,
    // so nothing is allocated while logging.
    std::vector<std::string> RecordUnitNames;
    int32_t RecordCnt = 0;
    uint8_t RecordOn = 0;  // 0 off, 1 logging, 2 paused
    LogHistory LogEvents;

    // Probe-memory upload
    int16_t UploadActive = 0;
    int16_t UploadStep = 0;
    int16_t UploadTotal = 0;
    int16_t DataUploaded = 0;
    bool UploadRecordOk = false;  // the last "LG" record number named a row

    // Files
    std::string DefaultSavePath;
    std::string SaveFileName;
    std::vector<NoteEntry> NoteQuery;  // at most kMaxNoteEntries; NoteQueryCnt = size
};

// The unit name or label a row's index stands for; "" for none.
inline const std::string& RowUnitName(const InstrumentState& st, uint8_t index) {
    static const std::string kNone;
    return index < st.RecordUnitNames.size() ? st.RecordUnitNames[index] : kNone;
}

}  // namespace fenwyd
