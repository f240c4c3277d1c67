#include "probe_core.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "measure/reply_layout.h"

namespace probesim {

namespace {

constexpr int kFullScale = 1999;    // 3.5-digit display: each range tops out at 1999 counts
constexpr int kWalkFloor = 20;      // the walk keeps at least 1 % of full scale
constexpr int kMaxRaw = 9999;       // four digits on the wire
constexpr int kBatteryStart = 900;  // hundredths of a volt: fresh 9 V block
constexpr int kBatteryFloor = 650;
constexpr int kBatteryLow = 700;                 // below this the reading carries 'L'
constexpr double kMsPerBatteryStep = 5 * 60000;  // slow self-discharge: 0.01 V per 5 minutes
constexpr int kJunkMaxLen = 40;

// Units letters in the order "EH" steps through them.
constexpr char kUnitsE[] = "GVTA";  // QM-8204
constexpr char kUnitsV[] = "VAGT";  // QM-8203
constexpr int kUnitsCount = 4;

double pow10i(int n) {
    double v = 1.0;
    while (n-- > 0) v *= 10.0;
    return v;
}

// Uniform in [0, 1). mt19937 output is fixed by the standard, so sequences derived
// this way (stored readings in particular) are the same on every platform.
double unit(std::mt19937& g) { return (g() >> 8) * (1.0 / 16777216.0); }

int pick(std::mt19937& g, int n) { return static_cast<int>(g() % static_cast<std::uint32_t>(n)); }

// Two digits, 00..20, in steps of 5 % of full scale.
int percentSteps(int raw) { return std::clamp((raw + 50) / 100, 0, 20); }

std::string digits(int value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    return buf;
}

// A reply whose one field is a four-digit number: the battery in hundredths
// of a volt, the stored count, a record number.
std::string numberReply(fenwyd::ReplyKind kind, int value) {
    fenwyd::ReplyText t;
    t.value = digits(value, 4);
    return fenwyd::LayOutReply(kind, t);
}

}  // namespace

ProbeCore::ProbeCore(const Options& options)
    : opt_(options),
      battery_(kBatteryStart),
      driftRng_(opt_.seed),
      faultRng_(opt_.seed ^ 0x9e3779b9u),
      junkRng_(opt_.seed ^ 0x7f4a7c15u) {
    opt_.model = static_cast<char>(std::toupper(static_cast<unsigned char>(opt_.model)));
    maxRange_ = opt_.model == 'V' ? 2 : 4;
    unitsCycle_ = opt_.model == 'V' ? kUnitsV : kUnitsE;
    field_ = 300.0 + pick(driftRng_, 1200);
    raw_ = opt_.fixedValue ? 1000 : static_cast<int>(std::lround(field_));
    opt_.storedCount = std::clamp(opt_.storedCount, 0, kMaxRaw);
    generateStored();
}

void ProbeCore::pickAutoRange() {
    int r = 0;
    while (r < maxRange_ && field_ > (kFullScale + 0.5) * pow10i(r)) ++r;
    range_ = r;
    raw_ = std::clamp(static_cast<int>(std::lround(field_ / pow10i(r))), 0, kFullScale);
}

// One reading's worth of drift: a slow multiplicative walk inside the current
// range (all ranges in auto), now and then a short over/under-range spell.
void ProbeCore::stepValue() {
    if (opt_.fixedValue) return;
    if (spellLeft_ > 0) {
        --spellLeft_;
        return;
    }
    if (opt_.excursionRate > 0.0 && unit(driftRng_) < opt_.excursionRate) {
        bool over = unit(driftRng_) < 0.5;
        spellLeft_ = pick(driftRng_, 4);  // 1..4 readings in all
        rangeState_ = over ? 'O' : 'U';
        if (autoRange_) range_ = over ? maxRange_ : 0;
        raw_ = over ? kFullScale : pick(driftRng_, 10);
        return;
    }
    double lo = kWalkFloor * pow10i(autoRange_ ? 0 : range_);
    double hi = kFullScale * pow10i(autoRange_ ? maxRange_ : range_);
    field_ *= 1.0 + (unit(driftRng_) - 0.5) * 0.03;
    field_ += (unit(driftRng_) - 0.5) * 2.0 * pow10i(range_);  // about a count of noise
    if (field_ > hi) field_ = hi * (1.0 - 0.02 * unit(driftRng_));
    if (field_ < lo) field_ = lo * (1.0 + 0.02 * unit(driftRng_));
    rangeState_ = 'N';
    if (autoRange_)
        pickAutoRange();
    else
        raw_ = std::clamp(static_cast<int>(std::lround(field_ / pow10i(range_))), 0, kFullScale);
}

// Manual 0 -> ... -> highest -> auto -> manual 0.
void ProbeCore::stepRange() {
    if (autoRange_) {
        autoRange_ = false;
        range_ = 0;
    } else if (range_ < maxRange_) {
        ++range_;
    } else {
        autoRange_ = true;
        if (!opt_.fixedValue) pickAutoRange();
    }
}

int ProbeCore::batteryLevel(double nowMs) const {
    if (opt_.fixedValue) return battery_;
    const int steps = static_cast<int>((nowMs - batteryOriginMs_) / kMsPerBatteryStep);
    return std::max(kBatteryFloor, battery_ - std::max(0, steps));
}

// A battery read loads the cell a little, so repeated reads creep down too.
int ProbeCore::readBattery(double nowMs) {
    if (!opt_.fixedValue && unit(driftRng_) < 0.25)
        battery_ = std::max(kBatteryFloor, battery_ - 1);
    return batteryLevel(nowMs);
}

std::string ProbeCore::formatReading(double nowMs) const {
    fenwyd::ReplyText f;
    f.value = digits(std::clamp(raw_, 0, kMaxRaw), 4);
    f.model = opt_.model;
    f.range = static_cast<char>('0' + range_);
    f.units = units();
    f.rangeState = rangeState_;
    f.autoRange = autoRange_ ? 'A' : 'M';
    f.percent = digits(percentSteps(raw_), 2);
    f.battery = batteryLevel(nowMs) < kBatteryLow ? 'L' : '-';
    return fenwyd::LayOutReply(fenwyd::ReplyKind::Reading, f);
}

// Probe memory: a measurement series recorded earlier, the same for a given
// seed; a longer memory keeps the shorter one as its beginning.
void ProbeCore::generateStored() {
    std::mt19937 g(opt_.seed * 2654435761u + 0x5eedu);
    stored_.clear();
    int r = pick(g, maxRange_ + 1);
    int ui = 0;
    bool am = pick(g, 2) == 0;
    double f = 200 + pick(g, 1600);
    for (int i = 0; i < opt_.storedCount; ++i) {
        if (pick(g, 10) == 0) {  // operator switched range between recordings
            r = pick(g, maxRange_ + 1);
            am = pick(g, 2) == 0;
            f = 200 + pick(g, 1600);
        }
        if (pick(g, 25) == 0) ui = (ui + 1) % kUnitsCount;
        f = std::clamp(f * (1.0 + (unit(g) - 0.5) * 0.06), double(kWalkFloor), double(kFullScale));
        int v = static_cast<int>(std::lround(f));
        char st = 'N';
        int k = pick(g, 40);
        if (k == 0) {
            st = 'O';
            v = kFullScale;
        } else if (k == 1) {
            st = 'U';
            v = pick(g, 10);
        }
        fenwyd::ReplyText t;
        t.value = digits(v, 4);
        t.range = static_cast<char>('0' + r);
        t.units = unitsCycle_[ui];
        t.rangeState = st;
        t.autoRange = am ? 'A' : 'M';
        t.percent = digits(percentSteps(v), 2);
        t.model = opt_.model;
        stored_.push_back(fenwyd::LayOutReply(fenwyd::ReplyKind::Stored, t));
    }
}

std::string ProbeCore::makeJunk() {
    int len = 1 + pick(junkRng_, kJunkMaxLen);
    std::string s;
    if (pick(junkRng_, 3) == 0) {
        // Looks like a reading at first glance; the digit fields are not digits.
        static const char kNotDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ @#?-+.:;\x01\x1b\x7f\xff";
        s = "@RD";
        while (static_cast<int>(s.size()) < len)
            s += kNotDigits[pick(junkRng_, sizeof kNotDigits - 1)];
    } else {
        for (int i = 0; i < len; ++i) s += static_cast<char>(pick(junkRng_, 256));
        // Never a reply the host could take for a reading or a stored reading.
        if (s.size() >= 2 && s[0] == 'N' && s[1] == 'X') s[0] = '#';
        if (s.size() >= 3 && s[1] == 'R' && s[2] == 'D') s[1] = '#';
    }
    return s;
}

std::vector<Response::Part> ProbeCore::execute(const std::string& cmd, double nowMs,
                                               bool& isReading) {
    isReading = false;
    if (cmd == "RD") {
        stepValue();
        isReading = true;
        return {{formatReading(nowMs)}};
    }
    if (cmd == "SC") {
        stepRange();
        return {{"@SC"}};
    }
    if (cmd == "EH") {
        unitsIdx_ = (unitsIdx_ + 1) % kUnitsCount;
        return {{"@EH"}};
    }
    if (cmd == "BT") return {{numberReply(fenwyd::ReplyKind::Battery, readBattery(nowMs))}};
    if (cmd == "NS") {
        return {{numberReply(fenwyd::ReplyKind::UploadCount, static_cast<int>(stored_.size()))}};
    }
    if (cmd == "SP") {
        uploadPos_ = 0;
        return {{"@SP"}};
    }
    if (cmd == "NX") {
        if (stored_.empty()) return {{numberReply(fenwyd::ReplyKind::RecordNumber, 0)}};
        // Past the end the probe keeps repeating its last record.
        uploadPos_ = std::clamp(uploadPos_ + 1, 1, static_cast<int>(stored_.size()));
        return {{numberReply(fenwyd::ReplyKind::RecordNumber, uploadPos_), 0},
                {stored_[uploadPos_ - 1], opt_.nxDelayMs}};
    }
    if (cmd == "LG") return {{numberReply(fenwyd::ReplyKind::RecordNumber, 0)}};
    if (cmd == "KR" || cmd == "CL" || cmd == "DD" || cmd == "MX" || cmd == "PR")
        return {{"@" + cmd}};
    return {{"@??"}};
}

Response ProbeCore::handle(const std::string& cmd, double nowMs) {
    Response r;
    ++commandsOnLine_;
    const FaultOptions& f = opt_.faults;
    r.hangUp = f.hangupAfter > 0 && commandsOnLine_ == f.hangupAfter;

    // Three draws per command whatever happens, so the fault pattern depends
    // only on the seed and the command's number.
    const bool startSilence = unit(faultRng_) < f.silentRate;
    const bool randomJunk = unit(faultRng_) < f.garbageRate;
    const bool randomLate = unit(faultRng_) < f.lateRate;

    // Past the scheduled hang-up's command the line is as good as gone.
    bool swallow = silent_ || (f.hangupAfter > 0 && commandsOnLine_ > f.hangupAfter);
    if (!swallow && silentRunLeft_ > 0) {
        --silentRunLeft_;
        swallow = true;
    } else if (!swallow && startSilence) {
        silentRunLeft_ = std::max(1, f.silentLen) - 1;
        swallow = true;
    }
    if (swallow) return r;

    r.parts = execute(cmd, nowMs, r.reading);
    if (garbageLeft_ > 0) {
        --garbageLeft_;
        r.junk = true;
    } else if (randomJunk) {
        r.junk = true;
    }
    if (r.junk) {
        r.parts = {{makeJunk()}};
        r.reading = false;
    }
    if (lateLeft_ > 0) {
        --lateLeft_;
        r.delayMs = lateLeftMs_;
    } else if (randomLate) {
        r.delayMs = f.lateMs;
    }
    return r;
}

void ProbeCore::garbageNext(int n) { garbageLeft_ = std::max(0, n); }

void ProbeCore::lateNext(int n, int delayMs) {
    lateLeft_ = std::max(0, n);
    lateLeftMs_ = std::max(0, delayMs);
}

void ProbeCore::setValue(int raw, char rangeState) {
    raw_ = std::clamp(raw, 0, kMaxRaw);
    rangeState_ = (rangeState == 'U' || rangeState == 'O') ? rangeState : 'N';
    field_ = std::max(1, raw_) * pow10i(range_);
    spellLeft_ = 0;
}

bool ProbeCore::setRange(int range) {
    if (range < 0 || range > maxRange_) return false;
    range_ = range;
    return true;
}

bool ProbeCore::setUnits(char units) {
    for (int i = 0; i < kUnitsCount; ++i) {
        if (unitsCycle_[i] == units) {
            unitsIdx_ = i;
            return true;
        }
    }
    return false;
}

void ProbeCore::setAuto(bool on) {
    autoRange_ = on;
    if (on && !opt_.fixedValue) pickAutoRange();
}

void ProbeCore::setStoredCount(int n) {
    opt_.storedCount = std::clamp(n, 0, kMaxRaw);
    generateStored();
    uploadPos_ = std::min(uploadPos_, opt_.storedCount);
}

void ProbeCore::setBattery(int hundredthsVolt, double nowMs) {
    battery_ = std::clamp(hundredthsVolt, 0, kMaxRaw);
    batteryOriginMs_ = nowMs;
}

void ProbeCore::setNxDelay(int ms) { opt_.nxDelayMs = std::max(0, ms); }

}  // namespace probesim
