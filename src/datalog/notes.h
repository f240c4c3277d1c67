// The test-conditions notes file: one entry per line,
// question "," label "," answer.
#pragma once

#include <string>
#include <vector>

namespace fenwyd {

struct NoteEntry {
    std::string question;
    std::string label;
    std::string answer;
};

constexpr int kMaxNoteEntries = 25;

// Splits one line by the comma walk: question = before the first comma,
// label = from the first to the last comma (inner commas kept), answer =
// after the last comma - but a comma at the very end of the line does not set
// the answer, which then keeps what an earlier second-or-later comma set.
// One comma: the label runs to the end of the line. No comma: all empty.
// Fields are trimmed of spaces only (tabs stay).
NoteEntry ParseNoteLine(const std::string& line);

// Reads up to 25 entries, skipping empty lines (CR LF or LF line ends). A
// missing or unreadable file quietly gives no entries.
std::vector<NoteEntry> LoadNotesFile(const std::string& path);

// Writes question,label,answer per entry with CR LF. With no entries it does
// nothing (an existing file stays). false when the file could not be written;
// the old file is then intact.
bool SaveNotesFile(const std::string& path, const std::vector<NoteEntry>& entries);

}  // namespace fenwyd
