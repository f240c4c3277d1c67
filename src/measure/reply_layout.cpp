#include "measure/reply_layout.h"

#include <cctype>

#include "common/textconv.h"

namespace fenwyd {

namespace {

// 1-based character positions, first..last; {0, 0}: not in this layout.
struct Field {
    int first, last;
};

struct Layout {
    std::size_t length;
    const char* lead;  // text before the code ("@" for a reading)
    const char* code;
    Field codeAt, value, model, range, units, rangeState, autoRange, percent, battery;
};

// Reading:        @RDvvvvmru sa pp b      (17 characters)
// Stored reading: NXvvvv ru s app m        (16 characters)
// Battery:        @BTvvvv                  (hundredths of a volt)
// Upload count:   @NSnnnn                  (the count: the last four characters)
// Record number:  @LGnnnn                  (the four after "LG", wherever it is)
const Layout kLayouts[] = {
    {17,
     "@",
     "RD",
     {2, 3},
     {4, 7},
     {8, 8},
     {9, 9},
     {10, 10},
     {12, 12},
     {13, 13},
     {15, 16},
     {17, 17}},
    {16, "", "NX", {1, 2}, {3, 6}, {16, 16}, {8, 8}, {9, 9}, {11, 11}, {13, 13}, {14, 15}, {0, 0}},
    {7, "@", "BT", {2, 3}, {4, 7}, {}, {}, {}, {}, {}, {}, {}},
    {7, "@", "NS", {2, 3}, {4, 7}, {}, {}, {}, {}, {}, {}, {}},
    {7, "@", "LG", {2, 3}, {4, 7}, {}, {}, {}, {}, {}, {}, {}},
};

const Layout& LayoutOf(ReplyKind kind) { return kLayouts[static_cast<int>(kind)]; }

constexpr int kNumberChars = 4;  // the number field of BT, NS and LG replies

bool SameLetter(char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) ==
           std::toupper(static_cast<unsigned char>(b));
}

std::string Cut(const std::string& s, Field f) { return Mid(s, f.first, f.last); }

void Put(std::string& s, Field f, const std::string& text) {
    if (f.first < 1) return;
    const auto width = static_cast<std::size_t>(f.last - f.first + 1);
    std::string padded = text.substr(0, width);
    padded.resize(width, ' ');
    s.replace(static_cast<std::size_t>(f.first - 1), width, padded);
}

}  // namespace

std::size_t ReplyLength(ReplyKind kind) { return LayoutOf(kind).length; }

bool HasReplyCode(ReplyKind kind, const std::string& reply) {
    if (kind == ReplyKind::RecordNumber) return FindRecordCode(reply) > 0;
    const Layout& l = LayoutOf(kind);
    return Cut(reply, l.codeAt) == l.code;
}

int FindRecordCode(const std::string& reply) {
    const char* code = LayoutOf(ReplyKind::RecordNumber).code;
    // A position beyond 16 bits is not a place a probe reply reaches.
    for (std::size_t i = 0; i + 1 < reply.size() && i < 32767; ++i) {
        if (SameLetter(reply[i], code[0]) && SameLetter(reply[i + 1], code[1])) {
            return static_cast<int>(i + 1);
        }
    }
    return 0;
}

std::string RecordNumberAt(const std::string& reply, int codePosition) {
    const int first = codePosition + 2;
    return Mid(reply, first, first + kNumberChars - 1);
}

std::optional<std::string> CutNumberField(ReplyKind kind, const std::string& reply) {
    switch (kind) {
        case ReplyKind::Battery:
            if (!HasReplyCode(kind, reply)) return std::nullopt;
            return Cut(reply, LayoutOf(kind).value);
        case ReplyKind::UploadCount:
            if (!HasReplyCode(kind, reply)) return std::nullopt;
            return reply.size() >= kNumberChars ? reply.substr(reply.size() - kNumberChars) : reply;
        case ReplyKind::RecordNumber: return RecordNumberAt(reply, FindRecordCode(reply));
        case ReplyKind::Reading:
        case ReplyKind::Stored: break;
    }
    return std::nullopt;
}

std::optional<ProbeReading> CutReply(ReplyKind kind, const std::string& reply) {
    if (kind != ReplyKind::Reading && kind != ReplyKind::Stored) return std::nullopt;
    const Layout& l = LayoutOf(kind);
    ProbeReading r;
    int value = 0;
    if (reply.size() < l.length || !HasReplyCode(kind, reply) ||
        !IntegerField(Cut(reply, l.value), value) || !IntegerField(Cut(reply, l.range), r.range) ||
        !IntegerField(Cut(reply, l.percent), r.percentSteps)) {
        return std::nullopt;
    }
    r.value = Cut(reply, l.value);
    r.model = Cut(reply, l.model);
    r.units = Cut(reply, l.units);
    r.rangeState = Cut(reply, l.rangeState);
    r.autoRange = Cut(reply, l.autoRange);
    return r;
}

std::string LayOutReply(ReplyKind kind, const ReplyText& f) {
    const Layout& l = LayoutOf(kind);
    std::string s(l.length, ' ');
    s.replace(0, std::char_traits<char>::length(l.lead), l.lead);
    Put(s, l.codeAt, l.code);
    Put(s, l.value, f.value);
    Put(s, l.model, std::string(1, f.model));
    Put(s, l.range, std::string(1, f.range));
    Put(s, l.units, std::string(1, f.units));
    Put(s, l.rangeState, std::string(1, f.rangeState));
    Put(s, l.autoRange, std::string(1, f.autoRange));
    Put(s, l.percent, f.percent);
    Put(s, l.battery, std::string(1, f.battery));
    return s;
}

}  // namespace fenwyd
