// The instrument face as one table: each element of the main window's
// panel with its place and size in twips, its font, its colours, what a
// click and its key do, and what a screen reader says of it. The window is
// built, rendered and named from this table.
#pragma once

#include <QKeySequence>
#include <QString>
#include <vector>

#include "instrument/view_state.h"

namespace fenwyd::ui {

enum class FaceKind {
    Background,   // a fill around the panel, stretched with the window
    Shape,        // a filled rectangle (the panel, the log light, the battery)
    Label,        // a caption, fixed or shown from the view state
    Progress,     // the upload's progress bar
    RawReply,     // the last raw reply (Label1)
    ReplyList,    // the raw replies (List1)
    Command,      // the manual command's text and its list (Combo1)
    SendButton,   // "Send Cmnd"
    FocusButton,  // takes the keyboard focus so no clickable label holds it
};

// What a click on an element (or its key) asks of the instrument.
enum class FaceAction { None, ToggleLog, EraseCount, StepRange, StepUnits, ReadBattery };

// A fixed colour: an exact one, or a role of the window's palette.
enum class Colour { Exact, Button, HighlightedText };

struct FaceElement {
    const char* name;
    FaceKind kind;
    int left, top, width, height;  // twips
    // Labels: the face and size in points; shown text from the view state,
    // or a fixed caption.
    const char* family = nullptr;
    double points = 0;
    bool bold = false;
    LabelView ViewState::*shown = nullptr;
    const char* caption = nullptr;
    // Shapes and fixed captions: the fill or text colour, and for shapes a
    // black border.
    Colour colourRole = Colour::Exact;
    Rgb colour{};
    bool border = false;
    ShapeView ViewState::*shape = nullptr;  // a fill (and size) from the view state
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    const char* toolTip = nullptr;
    FaceAction click = FaceAction::None;
    QKeyCombination key = QKeyCombination();
    // What a screen reader says: the name (nullptr: the shown text is the
    // name, so the value is what is read out) and what the element is ("%1":
    // its key).
    const char* accessibleName = nullptr;
    const char* description = nullptr;
};

// The panel, in the order the elements are stacked (later ones on top).
const std::vector<FaceElement>& Face();

// The description of an element, its key written in.
QString DescriptionOf(const FaceElement& e);

}  // namespace fenwyd::ui
