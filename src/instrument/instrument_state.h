#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "datalog/export.h"
#include "datalog/notes.h"

namespace fenwyd {

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
    int32_t RecordCnt = 0;
    uint8_t RecordOn = 0;  // 0 off, 1 logging, 2 paused

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

}  // namespace fenwyd
