// What the graph and the large display show: the readings of this run with
// their times, the units of each row of the data log, and the statistics of
// both. It follows the instrument from start-up whether or not a window is
// open, so a window opened later shows what came before. No widgets here.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "datalog/statistics.h"
#include "exposure/comparison.h"
#include "exposure/exceedance.h"
#include "instrument/instrument_state.h"
#include "instrument/observer.h"
#include "measure/units.h"

namespace fenwyd::ui {

// Readings kept for the live graph: about ten hours at 2.7 readings a second.
constexpr std::size_t kLiveHistoryLimit = 100000;

// One live reading. Values are kept in V/m, A/m or T, so a change of range or
// between gauss and tesla does not break a series; a gap is an over- or
// under-range reply, or the link going down.
struct LivePoint {
    int64_t utcMs = 0;
    double si = 0;  // not a value for a gap
    Quantity quantity = Quantity::Unknown;
    bool gap = false;
    bool logged = false;
};

// The unit a figure shows values in: the label of the newest valid reading
// (or row) it draws from.
struct DisplayUnit {
    Quantity quantity = Quantity::Unknown;
    std::string label;
    int siExponent = 0;
    double fromSi(double si) const { return ScaleByPowerOfTen(si, -siExponent); }
};

// Who is told when something changed; what changed as a set of these bits.
enum HistoryChange : unsigned {
    kLiveChanged = 1,       // a reading or a gap was added
    kLogChanged = 2,        // rows stored, or the log started or erased
    kStatsChanged = 4,      // Clear Peak
    kLinkChanged = 8,       // the probe went or came back
    kExposureChanged = 16,  // another reference level or alarm threshold
};
class HistoryListener {
public:
    virtual ~HistoryListener() = default;
    virtual void historyChanged(unsigned changes) = 0;
};

// The unit a measurement is shown in: its label where that is a unit of the
// same quantity, else its base unit name.
DisplayUnit DisplayUnitOf(const Measurement& m);

class FieldHistory : public InstrumentObserver {
public:
    // st: the data log is read from its rows, each in its own unit.
    explicit FieldHistory(const InstrumentState& st);

    void addListener(HistoryListener* l);
    void removeListener(HistoryListener* l);

    const std::deque<LivePoint>& live() const { return live_; }
    // The last reading shown (or row uploaded), and whether the probe answers.
    const Measurement& current() const { return current_; }
    bool hasReading() const { return hasReading_; }
    bool probeLost() const { return probeLost_; }
    // The unit of the live figures: that of the newest valid reading. An
    // over- or under-range reply never changes it.
    DisplayUnit displayUnit() const { return unit_; }
    // The unit of the data log's figures: that of its newest valid row, or
    // the live one while it has none.
    DisplayUnit logDisplayUnit() const;

    // Statistics in V/m, A/m or T of one quantity: the live readings since
    // the last Clear Peak (times in ms since 1970), and the rows of the data
    // log (times are row numbers).
    const RunningStats& liveStats(Quantity q) const { return liveStats_[Index(q)]; }
    const RunningStats& logStats(Quantity q) const;
    // Over- and under-range replies since the last Clear Peak.
    int64_t overRangeCount() const { return overRange_; }
    int64_t underRangeCount() const { return underRange_; }
    // Clear Peak: the live statistics and the held peak start again.
    void clearPeak();

    // Exposure: the reference readings are judged against (nothing while
    // none is chosen) and the alarm threshold in percent. The figures below
    // are counted again under new ones.
    void setExposure(const std::optional<Reference>& reference, double alarmPercent);
    const std::optional<Reference>& reference() const { return reference_; }
    double alarmPercent() const { return alarmPercent_; }
    // The level for readings of q in V/m, A/m or T; nothing without one.
    std::optional<SiLevel> level(Quantity q) const;
    // A value in V/m, A/m or T as percent of the level; NaN without one.
    double percentOf(double si, Quantity q) const;
    // Readings at or above the alarm threshold and the time spent there,
    // for one quantity: the live readings since the last Clear Peak, and
    // the rows of the data log. A reading of another quantity, a gap or a
    // flagged row ends a stretch above.
    const ExceedanceTracker& liveExceedance(Quantity q) const { return liveAbove_[Index(q)]; }
    const ExceedanceTracker& logExceedance(Quantity q) const;
    // The rows' clock times are those of their readings (not an upload's,
    // nor missing as in a data file): the log's time above means something.
    bool logTimesKnown() const;

    // Row 1..RecordCnt of the data log in V/m, A/m or T, and what it measures
    // (Unknown for a row whose unit is not known, and for a stored reading
    // the probe flagged over or under range). For drawing: the
    // single-precision value as it is, without the decimal rounding the
    // statistics use.
    double logValueSi(int32_t row, Quantity& quantity) const;
    int32_t logCount() const { return st_.RecordCnt; }
    // Rows of the data log flagged over or under range.
    int32_t logOutOfRangeCount() const;

    // InstrumentObserver
    void readingShown(const Measurement& m, int32_t row) override;
    void dataLogChanged(const DataLogChange& change) override;
    void linkLost(int64_t utcMs) override;
    void linkBack(int64_t utcMs) override;

private:
    static std::size_t Index(Quantity q) { return static_cast<std::size_t>(q); }
    void push(const LivePoint& p);
    void takeCurrent(const Measurement& m);
    void resetLog();
    void rowStored(const DataLogChange& change);
    double rowSi(int32_t row, bool asWritten, Quantity& quantity) const;
    UnitScale unitScale(uint8_t unit) const;
    void notify(unsigned changes);
    using Exceedances = std::array<ExceedanceTracker, 4>;
    // One reading (NaN: a gap) into the trackers of every quantity.
    void judge(Exceedances& trackers, Quantity q, double si, int64_t at) const;
    void countRow(int32_t row) const;
    void countLog() const;

    const InstrumentState& st_;
    std::vector<HistoryListener*> listeners_;
    std::deque<LivePoint> live_;
    Measurement current_;
    bool hasReading_ = false;
    bool probeLost_ = true;
    bool uploading_ = false;
    DisplayUnit unit_;
    std::array<RunningStats, 4> liveStats_;
    int64_t overRange_ = 0, underRange_ = 0;
    // Live points pushed in all, and how many of them when the peak was
    // last cleared: the points since then are the newest of the deque.
    uint64_t livePushed_ = 0, clearedAt_ = 0;

    std::optional<Reference> reference_;
    double alarmPercent_ = 100;
    std::array<double, 4> levelSi_{};  // NaN: no level for that quantity
    Exceedances liveAbove_;

    // The scale of each unit name of the data log, looked up once: rows are
    // read by the thousand.
    mutable std::vector<UnitScale> scales_;
    // Log statistics follow the rows as they come; rows out of order (an
    // upload that goes back) make them be counted again from the table.
    mutable std::array<RunningStats, 4> logStats_;
    mutable Exceedances logAbove_;
    mutable bool logTimesKnown_ = true;
    mutable int32_t logRowsCounted_ = 0;
    mutable bool logDirty_ = false;
};

// The newest reading as the large display and the graph show it: a reading
// over or under range is a word in red ("OVER", "UNDER"), never digits that
// could be read as a value from across a room.
struct Readout {
    QString value;       // digits, "OVER", "UNDER", or "No Probe"
    QString unit;        // empty unless value is a reading
    bool alarm = false;  // over or under range: shown red
};
Readout LatestReadout(const FieldHistory& history);

}  // namespace fenwyd::ui
