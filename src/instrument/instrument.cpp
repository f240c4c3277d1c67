// The main window's logic: timers, start-up and shutdown, the configuration
// file, the display reset and the small commands of the shell.
#include "instrument/instrument.h"

#include <algorithm>
#include <climits>

#include "common/textconv.h"
#include "config/config_file.h"

namespace fenwyd {

namespace {
constexpr int kReadProbeIntervalMs = 66;
constexpr int kCalSamPerSecIntervalMs = 500;
constexpr int kReadBattTempIntervalMs = 60000;
constexpr float kSplashMs = 5000;
constexpr int kDefaultWindowPosTwips = 1000;
// Rate ticks (500 ms) a result stays: at least 5 s whatever the tick's phase.
constexpr int16_t kResultHoldTicks = 11;

// A stored window position; anything that is not a whole number falls back
// to the default.
int StoredPosition(const std::string& text) {
    long long v = 0;
    if (!ParseInteger(text, INT_MIN / 2, INT_MAX / 2, v)) return kDefaultWindowPosTwips;
    return static_cast<int>(v);
}

// The five settings of the configuration file, as the instrument holds them.
FreeCfg SettingsOf(const InstrumentState& st) {
    FreeCfg cfg;
    cfg.CommPortNo = st.CommPortNo;
    cfg.ProbeUnits = st.ProbeUnits;
    cfg.DefaultSavePath = st.DefaultSavePath;
    cfg.SampleRate = st.SampleRate;
    cfg.BattTempUpdateInterval = st.BattTempUpdateInterval;
    return cfg;
}

void TakeSettings(InstrumentState& st, const FreeCfg& cfg) {
    st.CommPortNo = cfg.CommPortNo;
    st.ProbeUnits = cfg.ProbeUnits;
    st.DefaultSavePath = cfg.DefaultSavePath;
    st.SampleRate = cfg.SampleRate;
    st.BattTempUpdateInterval = cfg.BattTempUpdateInterval;
}

std::string JoinPath(const std::string& folder, const char* name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
    return folder + "/" + name;
}
}  // namespace

Instrument::Instrument(Platform platform) : p_(std::move(platform)) {
    readProbeTimer_ = p_.clock.createTimer([this] { HRTReadProbe_Timer(); });
    readProbeTimer_->setInterval(kReadProbeIntervalMs);
    readProbeTimer_->setEnabled(false);
    calSamPerSecTimer_ = p_.clock.createTimer([this] { HRTCalSamPerSec_Timer(); });
    calSamPerSecTimer_->setInterval(kCalSamPerSecIntervalMs);
    calSamPerSecTimer_->setEnabled(true);
    readBattTempTimer_ = p_.clock.createTimer([this] { HRTReadBattTemp_Timer(); });
    readBattTempTimer_->setInterval(kReadBattTempIntervalMs);
    readBattTempTimer_->setEnabled(true);
    stepTimer_ = p_.clock.createTimer([this] { TransactionStep(); });
    portTestTimer_ = p_.clock.createTimer([this] { FinishPortTest(); });
    st.DefaultSavePath = defaultSaveFolder();
    st.NoteQuery.reserve(kMaxNoteEntries);
    st.RecordUnitNames.reserve(kMaxUnitNames);
    st.RecordUnitNames.emplace_back();
}

Instrument::~Instrument() = default;

void Instrument::addObserver(InstrumentObserver* observer) { observers_.push_back(observer); }

void Instrument::removeObserver(InstrumentObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

std::string Instrument::configFilePath() const {
    return JoinPath(p_.programFolder, "Fenwyd8200.cfg");
}

std::string Instrument::defaultSaveFolder() const {
    return p_.saveFolder.empty() ? p_.programFolder : p_.saveFolder;
}

std::string Instrument::notesFilePath() const {
    return JoinPath(p_.programFolder, "testquery.txt");
}

// ---------------------------------------------------------------- start-up

void Instrument::Form_Load() {
    Main();
    p_.display.moveWindowTwips(StoredPosition(p_.settings.get(
                                   "Settings", "MainLeft", std::to_string(kDefaultWindowPosTwips))),
                               StoredPosition(p_.settings.get(
                                   "Settings", "MainTop", std::to_string(kDefaultWindowPosTwips))));
    p_.display.showNormal();
    st.LostComm = 1;
    st.TimeOut = 5;
}

void Instrument::Main() {
    LoadFreeCfg();
    p_.dialogs.showSplash();
    p_.clock.processEventsOnce();
    p_.clock.pause(kSplashMs);  // DELAY, cut short when the program is to end
    p_.dialogs.closeSplash();
    view.mnuProbeUnits57xx.visible = false;
    SetSampleRate(st.SampleRate);
    SetUpReadBattTemp(st.BattTempUpdateInterval);
    view.CmbSampleRateItems.push_back("1");
    view.CmbSampleRateItems.push_back("2");
    LoadNoteQuery();
    view.LabOverRange.visible = false;
    OpenCommPort(st.CommPortNo);
    ClearDisplay();
    ShowAvailability();
    if (st.CommPortOpenOk == 1) readProbeTimer_->setEnabled(true);
    p_.display.changed();
}

void Instrument::Form_Unload() {
    AbandonTransaction();
    if (p_.port.isOpen()) p_.port.close();
    SaveFreeCfg();
    switch (p_.display.windowState()) {
        case WindowState::Normal:
            p_.settings.set("Settings", "MainLeft", std::to_string(p_.display.windowLeftTwips()));
            p_.settings.set("Settings", "MainTop", std::to_string(p_.display.windowTopTwips()));
            break;
        case WindowState::Maximized: p_.settings.set("Settings", "WindowState", "2"); break;
        case WindowState::Minimized: break;
    }
    SaveNoteQuery();
}

// ------------------------------------------------------ configuration file

void Instrument::LoadFreeCfg() {
    st.ProbeUnits = "V/m";
    st.CommPortNo = 2;
    st.DefaultSavePath = defaultSaveFolder();
    st.SampleRate = "15";
    st.BattTempUpdateInterval = 30;

    FreeCfg cfg = SettingsOf(st);
    const bool ok = LoadFreeCfgFile(configFilePath(), cfg);
    TakeSettings(st, cfg);  // values read before a failure keep their new values
    if (!ok) p_.dialogs.portPicker(st.CommPortNo);
}

void Instrument::SaveFreeCfg() {
    if (!SaveFreeCfgFile(configFilePath(), SettingsOf(st))) p_.dialogs.portPicker(st.CommPortNo);
}

// ------------------------------------------------------------------ display

void Instrument::ClearDisplay() {
    view.LabXYZField.caption = "No Probe";
    if (st.ReadingShown) {
        st.ReadingShown = false;
        ShowAvailability();
    }
    view.LabXYZField.foreColor = colors::kNoProbe;
    // Nothing, rather than a placeholder word, beside "No Probe".
    view.LabUnits.visible = false;
    view.LabUnits.caption.clear();
    view.ShapeBatLevel.height = 0;
    view.ShapeBatLevel.top = 1200;
    view.ShapeBatLevel.fill = colors::kCyan;
    view.LabBattery.caption.clear();
    view.LabBattery.visible = true;
    view.LabSamRate.visible = false;
    view.LabRange.caption.clear();
    view.LabBarGraph.caption.clear();
    view.LabOverRange.visible = false;
    view.LabUnderRange.visible = false;
    if (st.StatusHoldTicks == 0) SetStatusText("");  // a fresh result stays its while
    RefreshStatusBar();
    SetBusyPointer(false);
    view.ProgressBar1Visible = false;
    p_.display.changed();
}

void Instrument::AppendList1(const std::string& text) {
    // A device that floods the line must not grow memory without bound.
    if (text.size() > kList1ItemChars) {
        view.List1.push_back(text.substr(0, kList1ItemChars) + kList1CutMark);
    } else {
        view.List1.push_back(text);
    }
    while (view.List1.size() > kList1Bound) view.List1.pop_front();
    ++view.List1Appended;
}

void Instrument::SetBusyPointer(bool busy) {
    view.BusyPointer = busy;
    p_.display.changed();
}

void Instrument::SetStatusText(const std::string& text) { view.StatusText = text; }

void Instrument::ShowResult(const std::string& text) {
    SetStatusText(text);
    st.StatusHoldTicks = kResultHoldTicks;
    RefreshStatusBar();
}

void Instrument::RefreshStatusBar() { p_.display.repaintStatusBar(); }

// ---------------------------------------------------- dialogs and commands

void Instrument::mnucommcomm_Click(int16_t Index) {
    readProbeTimer_->setEnabled(false);
    st.CommPortOpenOk = 0;
    OpenCommPort(Index);
    if (st.CommPortOpenOk == 1) readProbeTimer_->setEnabled(true);
}

void Instrument::cmdSendCmnd_Click(const std::string& Combo1Text) {
    // Queued as typed: not trimmed, not upper-cased.
    st.PendingCmnd = Combo1Text;
}

void Instrument::mnuHelpAbout_Click() {
    p_.dialogs.about(std::string("About ") + kAppTitle, st.Model);
}

}  // namespace fenwyd
