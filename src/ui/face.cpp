#include "ui/face.h"

namespace fenwyd::ui {

namespace {
// The label clicks from the keyboard. Ctrl+L, Ctrl+B, Ctrl+Z, Ctrl+A and
// F1..F5 belong to the menus.
constexpr QKeyCombination kKeyRange = Qt::CTRL | Qt::SHIFT | Qt::Key_R;
constexpr QKeyCombination kKeyUnits = Qt::CTRL | Qt::SHIFT | Qt::Key_U;
constexpr QKeyCombination kKeyBattery = Qt::CTRL | Qt::SHIFT | Qt::Key_B;
constexpr QKeyCombination kKeyLog = Qt::CTRL | Qt::SHIFT | Qt::Key_L;
constexpr QKeyCombination kKeyEraseCount = Qt::CTRL | Qt::SHIFT | Qt::Key_E;

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;

FaceElement Fill(const char* name, int l, int t, int w, int h) {
    FaceElement e{name, FaceKind::Background, l, t, w, h};
    e.colourRole = Colour::Button;
    e.accessibleName = "Background";
    return e;
}

FaceElement Shape(const char* name, int l, int t, int w, int h, Rgb fill, bool border,
                  const char* accessibleName, ShapeView ViewState::*shape = nullptr) {
    FaceElement e{name, FaceKind::Shape, l, t, w, h};
    e.colour = fill;
    e.border = border;
    e.shape = shape;
    e.accessibleName = accessibleName;
    return e;
}

FaceElement Label(const char* name, int l, int t, int w, int h, const char* family, double points,
                  bool bold, LabelView ViewState::*shown, const char* description) {
    FaceElement e{name, FaceKind::Label, l, t, w, h};
    e.family = family;
    e.points = points;
    e.bold = bold;
    e.shown = shown;
    e.description = description;
    return e;
}

FaceElement Clickable(FaceElement e, const char* toolTip, FaceAction click, QKeyCombination key) {
    e.toolTip = toolTip;
    e.click = click;
    e.key = key;
    return e;
}

FaceElement Caption(const char* name, int l, int t, int w, int h, const char* caption, Colour role,
                    Rgb colour = {}) {
    FaceElement e{name, FaceKind::Label, l, t, w, h};
    e.family = "Arial";
    e.points = 8.25;
    e.caption = caption;
    e.colourRole = role;
    e.colour = colour;
    return e;
}

FaceElement Aligned(FaceElement e, Qt::Alignment align) {
    e.align = align;
    return e;
}

FaceElement Widget(const char* name, FaceKind kind, int l, int t, int w, int h,
                   const char* accessibleName, const char* description = nullptr) {
    FaceElement e{name, kind, l, t, w, h};
    e.family = "Arial";
    e.points = 8.25;
    e.accessibleName = accessibleName;
    e.description = description;
    return e;
}

std::vector<FaceElement> MakeFace() {
    using V = ViewState;
    std::vector<FaceElement> f;
    // Background fills around the reading panel, stretched with the window.
    f.push_back(Fill("ShapeFormColor_0", -120, 480, 375, 1815));
    f.push_back(Fill("ShapeFormColor_1", 4560, 360, 5175, 1935));
    f.push_back(Fill("ShapeFormColor_2", 0, 2160, 9855, 2655));
    f.push_back(Fill("ShapeFormColor_3", 0, 360, 4815, 255));

    FaceElement keys = Widget("Command1", FaceKind::FocusButton, 1, 1, 495, 255, "Probe keys",
                              "%1 steps the range, %2 the units, %3 reads the battery, %4 "
                              "switches logging, %5 erases the record count");
    f.push_back(keys);

    f.push_back(Shape("ShaMain", 120, 600, 4455, 1575, colors::kBlack, true, "Reading panel"));
    f.push_back(Shape("ShapeRecordInd", 3120, 680, 780, 235, colors::kGrey, true,
                      "Log indicator light", &V::ShapeRecordInd));
    f.push_back(
        Shape("ShapeBatBackground", 4200, 1200, 255, 495, colors::kGrey, false, "Battery gauge"));
    f.push_back(Shape("ShapeBatLevel", 4200, 1200, 255, 495, colors::kGreen, false, "Battery level",
                      &V::ShapeBatLevel));
    f.push_back(
        Shape("ShapeBatTip", 4275, 1155, 105, 45, colors::kLightGrey, false, "Battery terminal"));

    f.push_back(Label("LabXYZField", 240, 720, 1790, 375, "Arial", 18, true, &V::LabXYZField,
                      "Field value"));
    // Wider than its designed 525 twips, up to the log indicator, so the
    // longer labels ("m A/m", "k V/m") show whole in the bold 11.25 pt face.
    f.push_back(Clickable(Label("LabUnits", 2040, 720, 1035, 270, "Arial", 11.25, true,
                                &V::LabUnits, "Units; %1 steps the units"),
                          "Click to change units", FaceAction::StepUnits, kKeyUnits));
    f.push_back(
        Clickable(Aligned(Label("LabRecord", 3120, 675, 780, 200, "Arial", 8.25, false,
                                &V::LabRecord, "Log indicator; %1 switches logging on or off"),
                          Qt::AlignCenter),
                  "Click to toggle log", FaceAction::ToggleLog, kKeyLog));
    f.push_back(Clickable(Label("LabRange", 240, 1320, 1095, 255, "Arial", 8.25, false,
                                &V::LabRange, "Range; %1 steps the range"),
                          "Click to change range", FaceAction::StepRange, kKeyRange));
    f.push_back(
        Caption("LabSamSecLab", 2040, 1320, 855, 255, "Sam / Sec", Colour::HighlightedText));
    f.push_back(Label("LabSamRate", 3000, 1320, 495, 255, "Arial", 8.25, false, &V::LabSamRate,
                      "Readings per second"));
    f.push_back(Label("LabOverRange", 240, 1560, 870, 195, "MS Sans Serif", 8.25, false,
                      &V::LabOverRange, "Range warning"));
    f.push_back(Label("LabUnderRange", 240, 1560, 975, 255, "Arial", 8.25, false, &V::LabUnderRange,
                      "Range warning"));
    FaceElement countCaption =
        Caption("LabRecordCntLab", 2040, 1560, 855, 195, "Record Cnt", Colour::HighlightedText);
    countCaption.description = "Record count caption; %1 erases the count";
    f.push_back(
        Clickable(countCaption, "Click to erase data", FaceAction::EraseCount, kKeyEraseCount));
    f.push_back(Label("LabRecordCnt", 3000, 1560, 735, 255, "Arial", 8.25, false, &V::LabRecordCnt,
                      "Record count"));
    f.push_back(Caption("LabPercentOfRange", 2040, 1800, 855, 255, "% of Range", Colour::Exact,
                        colors::kWhite));
    f.push_back(Label("LabBarGraph", 3000, 1800, 495, 180, "MS Sans Serif", 8.25, false,
                      &V::LabBarGraph, "Percent of range"));
    f.push_back(Clickable(Aligned(Label("LabBattery", 3840, 1800, 615, 225, "Arial", 8.25, false,
                                        &V::LabBattery, "Battery voltage; %1 reads it now"),
                                  kRight),
                          nullptr, FaceAction::ReadBattery, kKeyBattery));
    // On the panel, under the range warnings, with a caption: at its
    // designed place (4800, 1680) it lay beyond the window's first width and
    // under the command list.
    f.push_back(Label("LabExposureLab", 240, 1830, 780, 300, "Arial", 8.25, false,
                      &V::LabExposureLab, nullptr));
    f.push_back(Label("LabExposure", 1020, 1830, 1000, 300, "Arial", 12, true, &V::LabExposure,
                      "Exposure"));

    f.push_back(
        Widget("ProgressBar1", FaceKind::Progress, 120, 2280, 4455, 225, "Upload progress"));
    // Seen only when the window is made taller or wider than designed.
    f.push_back(
        Widget("Label1", FaceKind::RawReply, 120, 3720, 4455, 615, nullptr, "Last raw reply"));
    f.push_back(Widget("List1", FaceKind::ReplyList, 6360, 1080, 3135, 3210, "Raw replies"));
    // Combo1: a simple combo box, its edit field with the list always open.
    f.push_back(Widget("Combo1", FaceKind::Command, 4920, 1080, 1335, 3120, "Manual command"));
    f.push_back(Widget("cmdSendCmnd", FaceKind::SendButton, 4920, 600, 1335, 375, nullptr));
    return f;
}
}  // namespace

const std::vector<FaceElement>& Face() {
    static const std::vector<FaceElement> face = MakeFace();
    return face;
}

QString DescriptionOf(const FaceElement& e) {
    if (e.description == nullptr) return QString();
    QString text = QString::fromLatin1(e.description);
    auto key = [](QKeyCombination k) { return QKeySequence(k).toString(QKeySequence::NativeText); };
    if (e.kind == FaceKind::FocusButton) {
        // Where the label keys are: the button the focus rests on tells.
        return text.arg(key(kKeyRange), key(kKeyUnits), key(kKeyBattery), key(kKeyLog),
                        key(kKeyEraseCount));
    }
    return e.key == QKeyCombination() ? text : text.arg(key(e.key));
}

}  // namespace fenwyd::ui
