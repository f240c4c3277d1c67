#include "datalog/notes.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "support/files.h"

namespace fenwyd {
namespace {

namespace fs = std::filesystem;

TEST(ParseNoteLine, CommaWalk) {
    struct Case {
        const char* line;
        const char* question;
        const char* label;
        const char* answer;
    };
    const Case cases[] = {
        {"Where was the measurement taken?,Location,Lab 3", "Where was the measurement taken?",
         "Location", "Lab 3"},
        {"Probe height above floor (m)?,Height,", "Probe height above floor (m)?", "Height", ""},
        {" Q , L , A ", "Q", "L", "A"},
        {"question,label", "question", "label", ""},
        {"Q,Location,Lab 3, bench 2", "Q", "Location,Lab 3", "bench 2"},
        {"no comma at all", "", "", ""},
        {"a,b,c,d", "a", "b,c", "d"},
        {"a,b,c,", "a", "b,c", "c,"},  // trailing comma keeps the earlier answer
        {"a,b,,", "a", "b,", ","},
        {"a,,,", "a", ",", ","},
        {"a,", "a", "", ""},
        {",", "", "", ""},
        {",,", "", "", ""},
        {",,x", "", "", "x"},
        {"\tQ\t ,\tL , A\t", "\tQ\t", "\tL", "A\t"},  // only spaces are trimmed
        {"   ", "", "", ""},
    };
    for (const Case& c : cases) {
        const NoteEntry e = ParseNoteLine(c.line);
        EXPECT_EQ(e.question, c.question) << '"' << c.line << '"';
        EXPECT_EQ(e.label, c.label) << '"' << c.line << '"';
        EXPECT_EQ(e.answer, c.answer) << '"' << c.line << '"';
    }
}

class NotesFile : public ::testing::Test {
protected:
    void SetUp() override { path_ = (dir_.path() / "testquery.txt").string(); }
    void Write(const std::string& text) const { testing::WriteFile(path_, text); }
    std::string Read() const { return testing::ReadFile(path_); }
    testing::TempFolder dir_;
    std::string path_;
};

TEST_F(NotesFile, MissingFileGivesNoEntries) { EXPECT_TRUE(LoadNotesFile(path_).empty()); }

TEST_F(NotesFile, LineEndsAndEmptyLines) {
    struct Case {
        const char* text;
        std::size_t entries;
        const char* lastAnswer;
    };
    const Case cases[] = {
        {"q,l,a1\r\nq,l,a2\r\n", 2, "a2"},
        {"q,l,a1\nq,l,a2\n", 2, "a2"},
        {"q,l,a1\r\n\r\n\n\r\nq,l,a2", 2, "a2"},  // last line without a line end
        {"\r\n\n", 0, ""},
        {"", 0, ""},
        {"q,l,a1\r\r\n", 1, "a1\r"},  // only the CR of CR LF is a line end
    };
    for (const Case& c : cases) {
        Write(c.text);
        const auto entries = LoadNotesFile(path_);
        ASSERT_EQ(entries.size(), c.entries) << c.text;
        if (c.entries > 0) {
            EXPECT_EQ(entries.back().answer, c.lastAnswer) << c.text;
        }
    }
}

TEST_F(NotesFile, StopsAfterTwentyFiveEntries) {
    std::string text;
    for (int i = 1; i <= 30; ++i) text += "q" + std::to_string(i) + ",l,a\r\n\r\n";
    Write(text);
    const auto entries = LoadNotesFile(path_);
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kMaxNoteEntries));
    EXPECT_EQ(entries.front().question, "q1");
    EXPECT_EQ(entries.back().question, "q25");
}

TEST_F(NotesFile, RoundTripOfTheExampleWithANewAnswer) {
    Write(
        "Where was the measurement taken?,Location,Lab 3\r\n\r\nProbe height above floor "
        "(m)?,Height,\r\n");
    auto entries = LoadNotesFile(path_);
    ASSERT_EQ(entries.size(), 2u);
    entries[1].answer = "1.5";
    ASSERT_TRUE(SaveNotesFile(path_, entries));
    EXPECT_EQ(Read(),
              "Where was the measurement taken?,Location,Lab 3\r\n"
              "Probe height above floor (m)?,Height,1.5\r\n");
}

TEST_F(NotesFile, WrittenBackNormalised) {
    Write(" Q , L , A \nquestion,label\nno comma\n");
    ASSERT_TRUE(SaveNotesFile(path_, LoadNotesFile(path_)));
    EXPECT_EQ(Read(), "Q,L,A\r\nquestion,label,\r\n,,\r\n");
}

TEST_F(NotesFile, AnAnswerWithACommaKeepsItsLabel) {
    ASSERT_TRUE(SaveNotesFile(path_, {{"Q", "Location", "Lab 3, bench 2"}}));
    const auto entries = LoadNotesFile(path_);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].label, "Location");
    EXPECT_EQ(entries[0].answer, "Lab 3; bench 2");
}

TEST_F(NotesFile, NoLineGrowsFromOneExitToTheNext) {
    // A trailing comma leaves it in the answer; a comma-only line too.
    Write("Where?,Location,Lab 7,\r\n,,,\r\n,\r\nQ,Lab,el,A\r\n");
    ASSERT_TRUE(SaveNotesFile(path_, LoadNotesFile(path_)));
    const std::string once = Read();
    for (int exit = 0; exit < 3; ++exit) {
        ASSERT_TRUE(SaveNotesFile(path_, LoadNotesFile(path_)));
        EXPECT_EQ(Read(), once);
    }
    const auto entries = LoadNotesFile(path_);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3].label, "Lab,el");
    EXPECT_EQ(entries[3].answer, "A");
}

TEST_F(NotesFile, LineBreaksInFieldsCannotAddEntries) {
    ASSERT_TRUE(SaveNotesFile(path_, {{"Q\r\n1", "L\n", "A\rB"}, {"Q2", "L2", "A2"}}));
    EXPECT_EQ(Read(), "Q  1,L ,A B\r\nQ2,L2,A2\r\n");
    EXPECT_EQ(LoadNotesFile(path_).size(), 2u);
}

TEST_F(NotesFile, NothingToSaveLeavesTheFileAlone) {
    Write("keep me");
    EXPECT_TRUE(SaveNotesFile(path_, {}));
    EXPECT_EQ(Read(), "keep me");
}

TEST_F(NotesFile, FailedSaveReturnsFalse) {
    Write("keep me");
    EXPECT_FALSE(SaveNotesFile(path_ + "/sub.txt", {{"q", "l", "a"}}));  // folder is a file
    EXPECT_EQ(Read(), "keep me");
}

}  // namespace
}  // namespace fenwyd
