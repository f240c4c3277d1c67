#pragma once
#include <memory>
#include <string>

#include "datalog/data_file.h"
#include "instrument/instrument_state.h"
#include "instrument/observer.h"
#include "instrument/port_options.h"
#include "instrument/seams.h"
#include "instrument/view_state.h"
#include "link/serial_port.h"
#include "measure/reply_layout.h"

namespace fenwyd {

struct CommandInfo;

constexpr const char* kAppTitle = "Fenwyd 8200";

// What the logic needs from the outside world.
struct Platform {
    SerialPort& port;
    Clock& clock;
    Dialogs& dialogs;
    SettingsStore& settings;
    Display& display;
    std::string programFolder;  // where the configuration and notes files live
    std::string saveFolder;     // where the save dialog first opens; empty: programFolder
};

// The main window's logic: the instrument state, the three timers and every
// procedure, free of widgets. The window turns clicks into calls of the
// handlers below and renders `view`.
class Instrument {
public:
    explicit Instrument(Platform platform);
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    InstrumentState st;
    ViewState view;

    // Followers of readings, log rows and link events; not owned.
    void addObserver(InstrumentObserver* observer);
    void removeObserver(InstrumentObserver* observer);

    // --- Start-up and shutdown
    void Form_Load();
    void Main();
    void Form_Unload();

    // True while SendCmnd runs, its waits included (window events run at
    // their start): nothing else may use the port then.
    bool InTransaction() const { return inTransaction_; }

    // --- Probe link
    void OpenCommPort(int16_t CommNo);
    void HRTReadProbe_Timer();
    void SendCmnd(std::string& Cmnd);
    void DELAY(float dlay);

    // --- Reply interpretation
    void ProcessData(int16_t CmndType);
    std::string ConvertToNumber(const int16_t& locRange, const float& locField);
    void UpdateUnits(const std::string& Units);
    void SetProbeType(std::string& LocType);
    void mnuProbeType820x_Click(int16_t Index);
    void SetUp57XX();
    void GetDataNumber(int16_t LGPosition);

    // --- Operator requests
    void LabRange_Click();
    void LabUnits_Click();
    void LabBattery_Click();
    void mnuProbeUpdateNow_Click();
    void SetUpReadBattTemp(int16_t& TimeInterval);
    void mnuProbeUpdateInterval_Click(int16_t minutes);
    void mnuProbeUploadData_Click();
    void mnucommcomm_Click(int16_t Index);
    void cmdSendCmnd_Click(const std::string& Combo1Text);
    void mnuHelpAbout_Click();

    // --- Port options (the Options dialog)
    // The device of each port number as it stands, and the line speed.
    PortOptions PortOptionsNow() const;
    // Stores the mapping and speed ("Ports" section of the settings store)
    // and reopens the current port when its device or the speed changed.
    // reopen false: stored only (from the port picker, which comes before
    // start-up opens the port, or at exit).
    void ApplyPortOptions(const PortOptions& options, bool reopen = true);
    // Opens the device on its own line, sends "RD", waits as a transaction
    // does and says what came back. Testing the port in use pauses the reading
    // cycle and reopens the port afterwards. Not to be called inside a
    // transaction.
    PortTestReport TestPort(SerialPort& line, const std::string& device, int32_t baudRate);

    // --- Acquisition
    void HRTCalSamPerSec_Timer();
    void HRTReadBattTemp_Timer();
    void SetSampleRate(const std::string& CmbSampleRateTxt);
    void CmbSampleRate_Click(int index);

    // --- Data log and files
    void ToggleRecordOn();
    void TogglePause();
    void StopRecording();
    void RecordIndicator(const std::string& State);
    void LabRecordCntLab_Click();
    void tbToolBar_ButtonClick(const std::string& Key);
    // Puts a log kept elsewhere (the journal, a data file) into the data
    // log, ready to be saved; false while a log or an upload runs.
    bool LoadDataLog(const std::vector<LogRow>& rows, bool uploaded, const std::string& unitsText);
    void mnuFileSaveAs_Click();
    bool SaveData(const std::string& filenam);
    void LoadNoteQuery();
    void SaveNoteQuery();
    int16_t NoteQueryCnt() const { return static_cast<int16_t>(st.NoteQuery.size()); }

    // --- Configuration file
    void LoadFreeCfg();
    void SaveFreeCfg();

    // --- Display
    void ClearDisplay();

    Timer& HRTReadProbe() { return *readProbeTimer_; }
    Timer& HRTCalSamPerSec() { return *calSamPerSecTimer_; }
    Timer& HRTReadBattTemp() { return *readBattTempTimer_; }

    std::string configFilePath() const;
    std::string notesFilePath() const;
    std::string defaultSaveFolder() const;

private:
    // The device of each port number and the line in use, for tool tips and
    // the status bar.
    void ShowPortMapping();
    void AppendList1(const std::string& text);
    void SetBusyPointer(bool busy);
    void SetStatusText(const std::string& text);
    // A save or upload result: kept in status panel 1 for at least 5 s.
    void ShowResult(const std::string& text);
    void RefreshStatusBar();
    // Stores the reading as the next row; the row, or 0 when the log is full.
    int32_t LogReading(const ProbeReading& r);
    // Pieces of a transaction: the port with the link trace, and the
    // counters of the link supervision.
    void WriteProbe(const std::string& bytes);
    std::string ReadProbe();
    void CountReply();
    void CountSilence();
    void FollowWithKR(const CommandInfo& info);
    // Pieces of ProcessData, one per kind of reply.
    void ShowReading(const ProbeReading& r);
    void ShowUploadCount(const std::string& data);
    void StoreUploadedReading(const ProbeReading& r);
    ReadingRecord RecordOf(const ProbeReading& r, int32_t row);
    template <typename Event>
    void Notify(Event&& event) {
        for (InstrumentObserver* o : observers_) event(*o);
    }
    // Shows "Over Range" or "Under Range" for a reply's range state; true
    // when the reading is in range.
    bool ShowRangeWarnings(const ProbeReading& r);
    void SelectSampleRateText(const std::string& text);

    Platform p_;
    bool inTransaction_ = false;
    std::vector<InstrumentObserver*> observers_;
    std::unique_ptr<Timer> readProbeTimer_;
    std::unique_ptr<Timer> calSamPerSecTimer_;
    std::unique_ptr<Timer> readBattTempTimer_;
};

}  // namespace fenwyd
