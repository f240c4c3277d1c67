// Saving the data log as page files, and the test-condition notes.
#include <algorithm>

#include "datalog/export.h"
#include "datalog/notes.h"
#include "instrument/instrument.h"

namespace fenwyd {

void Instrument::mnuFileSaveAs_Click() {
    // The answers are kept at once, even if the save is then cancelled.
    for (NoteEntry& note : st.NoteQuery) {
        note.answer = p_.dialogs.inputBox(note.question, "Test Conditions", note.answer);
    }

    SaveDialogRequest request;
    request.defaultExt = "csv";
    request.filter = "CSV Files (*.csv)|*.csv|Text Files (*.txt)|*.txt|All Files (*.*)|*.*";
    request.title = "File Save as";
    request.initDir = st.DefaultSavePath;
    request.fileName = st.SaveFileName;
    request.overwritePrompt = true;
    std::string chosen;
    const bool accepted = p_.dialogs.saveFile(request, chosen);
    if (!accepted || chosen.empty()) return;

    // The answers go to the notes file with each save, not only at exit: a
    // crash must not bring the old ones back at the next save.
    SaveNoteQuery();
    st.SaveFileName = chosen;
    // The folder becomes the default only once a save there has worked: a
    // failed one (a read-only or pseudo file system) must not be proposed again.
    std::string folder;
    const bool hasFolder = ParsePathFile(st.SaveFileName, 1, folder);
    if (SaveData(st.SaveFileName) && hasFolder) st.DefaultSavePath = folder;
    // The next save proposes the same name without its extension.
    st.SaveFileName = DropExtension(st.SaveFileName);
}

bool Instrument::SaveData(const std::string& filenam) {
    SetBusyPointer(true);
    p_.display.repaintNow();

    ExportInput in;
    in.recordData = reinterpret_cast<const float(*)[kLogColumns]>(st.RecordData.data());
    in.recordCnt = st.RecordCnt;
    in.dataUploaded = st.DataUploaded != 0;
    in.unitsText = st.UnitsText;
    in.unitRuns = UnitRuns();
    for (const NoteEntry& note : st.NoteQuery) in.notes.push_back({note.label, note.answer});
    in.dateText = [this] { return p_.clock.shortDateText(); };
    in.timeText = [this] { return p_.clock.longTimeText(); };
    in.onTimeFormatError = [this] {
        p_.dialogs.message("Error in FormatTimeStr", MsgIcon::Information);
    };
    const ExportResult result = WriteDataPages(filenam, in);

    if (!result.ok) {
        // The old file is untouched and the log kept: the operator can save
        // elsewhere.
        SetBusyPointer(false);
        p_.display.changed();
        p_.dialogs.message(
            "Unable to save the data file " + result.failedFile + ".  " + result.reason,
            MsgIcon::Exclamation);
        return false;
    }
    st.RefreshCnt = 0;
    ShowResult("Saved " + std::to_string(st.RecordCnt) + " data points.");
    SetBusyPointer(false);
    p_.display.changed();
    Notify([&](InstrumentObserver& o) { o.logSaved(result.files); });
    return true;
}

std::vector<UnitRun> Instrument::UnitRuns() const {
    std::vector<UnitRun> runs;
    const int32_t count = std::clamp<int32_t>(st.RecordCnt, 0, kMaxRecords);
    for (int32_t row = 1; row <= count; ++row) {
        // A row kept without a unit name is in the log's present units.
        const uint8_t unit = st.RecordInfo[static_cast<std::size_t>(row)].unit;
        const std::string& name = unit != 0 ? UnitName(unit) : st.UnitsText;
        if (!runs.empty() && runs.back().unitsText == name) {
            runs.back().last = row;
        } else {
            runs.push_back({row, row, name});
        }
    }
    return runs;
}

void Instrument::LoadNoteQuery() { st.NoteQuery = LoadNotesFile(notesFilePath()); }

void Instrument::SaveNoteQuery() {
    if (st.NoteQuery.empty()) return;  // an existing notes file is left alone
    SaveNotesFile(notesFilePath(), st.NoteQuery);
}

}  // namespace fenwyd
