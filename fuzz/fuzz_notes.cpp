// Any bytes as the test-conditions notes file: loading, the line parser and a
// save/load round trip.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "datalog/notes.h"
#include "scratch_folder.h"

namespace {

namespace fs = std::filesystem;

bool Has(const std::string& s, char c) { return s.find(c) != std::string::npos; }

bool SpaceAtEdge(const std::string& s) {
    return !s.empty() && (s.front() == ' ' || s.back() == ' ');
}

bool Same(const fenwyd::NoteEntry& a, const fenwyd::NoteEntry& b) {
    return a.question == b.question && a.label == b.label && a.answer == b.answer;
}

// What the comma walk promises for any line.
void CheckParsedLine(const std::string& line, const fenwyd::NoteEntry& e) {
    if (Has(e.question, ',')) __builtin_trap();
    if (SpaceAtEdge(e.question) || SpaceAtEdge(e.label) || SpaceAtEdge(e.answer)) __builtin_trap();
    const auto commas = std::count(line.begin(), line.end(), ',');
    if (commas == 0 && !(e.question.empty() && e.label.empty() && e.answer.empty())) {
        __builtin_trap();
    }
    if (commas == 1 && !e.answer.empty()) __builtin_trap();
}

// A saved entry reads back unchanged unless a line break inside a field was
// blanked, or a comma in the answer (or, with no answer, in the label) moves
// where the walk splits.
bool ReadsBackUnchanged(const fenwyd::NoteEntry& e) {
    for (const std::string* f : {&e.question, &e.label, &e.answer}) {
        if (Has(*f, '\r') || Has(*f, '\n')) return false;
    }
    if (Has(e.answer, ',')) return false;
    if (e.answer.empty() && Has(e.label, ',')) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const fenwyd::fuzzing::ScratchFolder scratch("notes");
    const std::string inPath = scratch.file("in.txt");
    const std::string outPath = scratch.file("out.txt");
    if (!fenwyd::fuzzing::WriteWholeFile(inPath, data, size)) return 0;

    const std::vector<fenwyd::NoteEntry> entries = fenwyd::LoadNotesFile(inPath);
    if (entries.size() > static_cast<std::size_t>(fenwyd::kMaxNoteEntries)) __builtin_trap();

    // Every line through the parser; the loader must agree on the first 25
    // non-empty ones.
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t pos = 0;
    std::size_t nonEmpty = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const fenwyd::NoteEntry e = fenwyd::ParseNoteLine(line);
        CheckParsedLine(line, e);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (nonEmpty < entries.size() && !Same(fenwyd::ParseNoteLine(line), entries[nonEmpty])) {
            __builtin_trap();
        }
        ++nonEmpty;
    }
    if (entries.size() != std::min<std::size_t>(nonEmpty, fenwyd::kMaxNoteEntries)) {
        __builtin_trap();
    }

    std::error_code ec;
    fs::remove(outPath, ec);
    const bool saved = fenwyd::SaveNotesFile(outPath, entries);
    if (entries.empty()) {
        // Nothing to save: no file is written.
        if (!saved || fs::exists(outPath, ec)) __builtin_trap();
        return 0;
    }
    if (!saved) return 0;  // a full disk is no fault of the input
    const std::vector<fenwyd::NoteEntry> again = fenwyd::LoadNotesFile(outPath);
    if (again.size() != entries.size()) __builtin_trap();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (ReadsBackUnchanged(entries[i]) && !Same(entries[i], again[i])) __builtin_trap();
    }
    return 0;
}
