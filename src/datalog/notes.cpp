#include "datalog/notes.h"

#include "common/file_write.h"
#include "common/textconv.h"

namespace fenwyd {

namespace {

constexpr std::size_t kMaxNotesBytes = 16 * 1024 * 1024;

// Spaces only: a tab around a field is part of it.
std::string TrimSpaces(const std::string& s, std::size_t from, std::size_t to) {
    while (from < to && s[from] == ' ') ++from;
    while (to > from && s[to - 1] == ' ') --to;
    return s.substr(from, to - from);
}

}  // namespace

NoteEntry ParseNoteLine(const std::string& line) {
    NoteEntry e;
    const std::size_t n = line.size();
    std::size_t commas = 0;
    std::size_t first = 0;  // index of the first comma
    for (std::size_t q = 0; q < n; ++q) {
        if (line[q] != ',') continue;
        if (commas == 0) {
            e.question = TrimSpaces(line, 0, q);
            first = q;
        } else {
            e.label = TrimSpaces(line, first + 1, q);
            if (q + 1 != n) e.answer = TrimSpaces(line, q + 1, n);
        }
        ++commas;
    }
    if (commas == 1) e.label = TrimSpaces(line, first + 1, n);
    return e;
}

std::vector<NoteEntry> LoadNotesFile(const std::string& path) {
    std::vector<NoteEntry> entries;
    // Only a regular file: a folder or a FIFO of that name counts as missing.
    std::string text;
    if (!ReadRegularFile(path, text, kMaxNotesBytes)) return entries;

    for (const std::string& line : SplitLines(text)) {
        if (static_cast<int>(entries.size()) == kMaxNoteEntries) break;
        if (!line.empty()) entries.push_back(ParseNoteLine(line));  // empty lines are skipped
    }
    return entries;
}

bool SaveNotesFile(const std::string& path, const std::vector<NoteEntry>& entries) {
    if (entries.empty()) return true;
    std::string buf;
    for (const NoteEntry& e : entries) {
        buf += SingleLine(e.question);
        buf += ',';
        buf += SingleLine(e.label);
        buf += ',';
        // A comma in an answer would split it from its label on the next
        // read; the semicolon keeps the answer one field.
        buf += WithoutCommas(SingleLine(e.answer));
        buf += "\r\n";
    }
    std::string reason;
    return WriteFileReplacing(path, buf, reason);
}

}  // namespace fenwyd
