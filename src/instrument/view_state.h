#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace fenwyd {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};

namespace colors {
constexpr Rgb kGreen{0, 192, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kLightGrey{192, 192, 192};
constexpr Rgb kCyan{0, 255, 255};
// "No Probe" in a dim grey, so it cannot be taken for a reading.
constexpr Rgb kNoProbe{150, 150, 150};
}  // namespace colors

struct LabelView {
    std::string caption;
    bool visible = true;
    Rgb foreColor = colors::kGreen;
};

// Positions and sizes in twips.
struct ShapeView {
    int left = 0, top = 0, width = 0, height = 0;
    Rgb fill;
};

struct MenuItemView {
    bool enabled = true;
    bool checked = false;
    bool visible = true;
};

struct ToolButtonView {
    const char* key = "";
    bool enabled = true;
    bool pressed = false;
};

// Toolbar buttons by index; 3, 5, 8 and 11 are separators.
constexpr int kToolButtonCount = 13;
constexpr int kTbOpen = 1;
constexpr int kTbSave = 2;
constexpr int kTbProperties = 4;
constexpr int kTbScatter = 6;
constexpr int kTbBarGraph = 7;
constexpr int kTbZoomIn = 9;
constexpr int kTbZoomOut = 10;
constexpr int kTbRecord = 12;
constexpr int kTbRecordPause = 13;
constexpr std::size_t kList1Bound = 1000;     // newest raw replies kept on screen
constexpr std::size_t kList1ItemChars = 256;  // longer replies are cut, and marked
constexpr const char* kList1CutMark = " [...]";

// Everything the logic shows. The window renders it; the tests read it.
// Captions and texts are 8-bit (Latin-1) text.
struct ViewState {
    LabelView LabXYZField{"No Probe", true, colors::kNoProbe};
    LabelView LabUnits{"units"};
    LabelView LabRecord{"Log", true, colors::kWhite};
    LabelView LabRange{"Range 1"};
    LabelView LabSamRate{""};  // empty until a rate has been measured
    LabelView LabOverRange{"Over Range", true, colors::kRed};
    LabelView LabUnderRange{"Under Range", true, colors::kYellow};
    LabelView LabRecordCnt{"0"};
    LabelView LabBarGraph{"%"};
    LabelView LabBattery{"%"};
    LabelView LabExposure{"", true, colors::kCyan};
    LabelView LabExposureLab{"Exposure", false, colors::kWhite};  // shown with a reference level
    std::string Label1 = "Label1";

    // Raw reply history; bounded, oldest dropped. List1Appended counts every
    // item ever appended so a renderer can tell which ones are new.
    std::deque<std::string> List1;
    uint64_t List1Appended = 0;

    ShapeView ShapeRecordInd{3120, 680, 780, 235, colors::kGrey};
    ShapeView ShapeBatLevel{4200, 1200, 255, 495, colors::kGreen};

    bool ProgressBar1Visible = true;
    int ProgressBar1Max = 100;
    int ProgressBar1Value = 0;

    std::string StatusText;  // status-bar panel 1
    // Panel 2: the speed of the line in use; the tool tip names its device.
    std::string StatusBaudText = "9600 Baud";
    std::string StatusToolTip;
    bool BusyPointer = false;

    std::vector<std::string> CmbSampleRateItems;
    int CmbSampleRateIndex = -1;  // -1: nothing selected

    // Menus. Arrays are indexed as the menu control arrays are (index 0 unused
    // where the array starts at 1).
    MenuItemView mnuFileSaveAs;
    MenuItemView mnuProbeRecord;
    MenuItemView mnuProbeRecordPause{false};
    MenuItemView mnuProbeMarkPoint{false};
    MenuItemView mnuFileReport{false};
    MenuItemView mnuProbeZero{false};
    MenuItemView mnuProbeType820x[3] = {{}, {true, false}, {true, true}};
    MenuItemView mnuProbeUnits57xx;
    MenuItemView mnuProbeUploadData;
    MenuItemView mnuProbeClearPeak;
    MenuItemView mnuProbeUpdateNow;
    MenuItemView mnuProbeUpdateProbeBatt;
    MenuItemView mnuProbeUpdateoff, mnuProbeUpdate5, mnuProbeUpdate30, mnuProbeUpdate60;
    MenuItemView mnuprobeTempUnits{false};
    MenuItemView mnuProbeTempFahr;
    MenuItemView mnuProbeTempCels{false};
    MenuItemView mnuProbeRangeTop{false};
    MenuItemView mnuProbeRange[6] = {{true}, {false}, {false}, {false}, {false}, {false}};
    MenuItemView mnucommcomm[kPortCount + 1];
    std::string mnucommToolTip[kPortCount + 1];  // the device each port number stands for

    // Toolbar buttons by index 1..13 (0 unused); separators carry no key.
    ToolButtonView tbButtons[kToolButtonCount + 1] = {
        {},          {"Open"},        {"Save"}, {""},       {"Properties"}, {""},
        {"Scatter"}, {"BarGraph"},    {""},     {"ZoomIn"}, {"ZoomOut"},    {""},
        {"Record"},  {"RecordPause"},
    };
};

}  // namespace fenwyd
