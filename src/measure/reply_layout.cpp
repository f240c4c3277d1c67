#include "measure/reply_layout.h"

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
};

const Layout& LayoutOf(ReplyKind kind) { return kLayouts[kind == ReplyKind::Reading ? 0 : 1]; }

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
    const Layout& l = LayoutOf(kind);
    return Cut(reply, l.codeAt) == l.code;
}

std::optional<ProbeReading> CutReply(ReplyKind kind, const std::string& reply) {
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
