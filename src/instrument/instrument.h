#pragma once
#include <functional>
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
// The rows of a saved log's pages, each in the unit of its page.
std::vector<LoggedRow> RowsOfSavedLog(const SavedLog& log);

class Instrument {
public:
    explicit Instrument(Platform platform);
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    InstrumentState st;
    ViewState view;

    // Where live readings are taken; nullptr (the default): nowhere known.
    void SetPositionSource(PositionSource* positions) { positions_ = positions; }

    // Followers of readings, log rows and link events; not owned.
    void addObserver(InstrumentObserver* observer);
    void removeObserver(InstrumentObserver* observer);

    // --- Start-up and shutdown
    void Form_Load();
    void Main();
    void Form_Unload();

    // True while a transaction runs, its waits included (the window's events
    // run during them): nothing else may use the port then.
    bool InTransaction() const { return inTransaction_; }
    // True while a reply is being interpreted (a question the interpreter
    // asks may be open then).
    bool Interpreting() const { return interpreting_; }
    // A transaction, or a test of the port in use, holds the port.
    bool Busy() const { return inTransaction_ || portTest_.line != nullptr; }
    // What the operator asks for while a transaction awaits its reply is done
    // once the reply has been interpreted, as it always was: the reading is
    // logged, or not, by the state that held before the click. Otherwise at
    // once.
    void AfterReply(std::function<void()> action);
    // Done at once, or when the port is free again (the transaction, or the
    // test of the port in use, has ended): opening another port, a test.
    void WhenIdle(std::function<void()> action);

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
    // does and says through `done` what came back; the window's events run
    // meanwhile. Testing the port in use pauses the reading cycle and reopens
    // the port afterwards. Waits for a running transaction to end first.
    void TestPort(std::shared_ptr<SerialPort> line, const std::string& device, int32_t baudRate,
                  std::function<void(const PortTestReport&)> done);

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
    // The commands' availability brought up to date with the state.
    void ShowAvailability();
    void LabRecordCntLab_Click();
    void tbToolBar_ButtonClick(const std::string& Key);
    // Puts a log kept elsewhere (the journal, a data file) into the data
    // log, ready to be saved; false while a log or an upload runs.
    // `loaded` says where the rows came from (origin, journal log); the
    // followers are told with it.
    bool LoadDataLog(const std::vector<LoggedRow>& rows, bool uploaded,
                     const std::string& unitsText, const DataLogChange& loaded);
    // Row 1..RecordCnt of the data log as a measurement.
    Measurement LoggedReading(int32_t row) const;
    const std::string& UnitName(uint8_t index) const;
    // The data log as runs of rows of one unit, in row order.
    std::vector<UnitRun> UnitRuns() const;
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
    int32_t LogReading(const Measurement& m);
    // The measurement of a cut reply, decoded by the unit tables of the
    // probe model (which set UnitsText and ReadingExponent as they always do).
    Measurement Decode(const ProbeReading& r, bool stored);
    // Row `row` of the data log: written, and (StoreRow) the followers told.
    void PutRow(int32_t row, float logTime, const Measurement& m);
    void StoreRow(int32_t row, float logTime, const Measurement& m, LogSource source);
    uint8_t UnitNameIndex(const std::string& name);
    void NotifyLog(const DataLogChange& change);
    // Pieces of a transaction: the port with the link trace, and the
    // counters of the link supervision.
    void WriteProbe(const std::string& bytes);
    std::string ReadProbe();
    void CountReply();
    void CountSilence();
    // The steps of a transaction after its command went out, each after its
    // wait: read the reply (and the second part of a stored reading),
    // interpret it, then "KR" and its reply where the command has one.
    enum class Step { None, FirstPart, SecondPart, WriteKr, KrReply };
    void WaitThen(int ms, Step next);
    void TransactionStep();
    void Interpret();
    void EndTransaction();
    // The program ends during a wait: nothing more goes to the port.
    void AbandonTransaction();
    static void RunQueue(std::vector<std::function<void()>>& queue);
    // Pieces of ProcessData, one per kind of reply.
    void ShowReading(const ProbeReading& r);
    void ShowUploadCount(const std::string& field);
    void StoreUploadedReading(const ProbeReading& r);
    template <typename Event>
    void Notify(Event&& event) {
        for (InstrumentObserver* o : observers_) event(*o);
    }
    // Shows "Over Range" or "Under Range" for a reply's range state; true
    // when the reading is in range.
    bool ShowRangeWarnings(const ProbeReading& r);
    void SelectSampleRateText(const std::string& text);

    Platform p_;
    PositionSource* positions_ = nullptr;
    bool inTransaction_ = false;
    bool interpreting_ = false;
    // A port test waiting for its reply.
    struct PortTest {
        std::shared_ptr<SerialPort> line;
        bool inUse = false;
        std::function<void(const PortTestReport&)> done;
    } portTest_;
    void FinishPortTest();
    struct Transaction {
        const CommandInfo* info = nullptr;
        Step next = Step::None;
        bool awaitingReply = false;  // its reply not interpreted yet
    } tx_;
    std::unique_ptr<Timer> stepTimer_;
    std::unique_ptr<Timer> portTestTimer_;
    std::vector<std::function<void()>> afterReply_, whenIdle_;
    std::vector<InstrumentObserver*> observers_;
    std::unique_ptr<Timer> readProbeTimer_;
    std::unique_ptr<Timer> calSamPerSecTimer_;
    std::unique_ptr<Timer> readBattTempTimer_;
};

}  // namespace fenwyd
