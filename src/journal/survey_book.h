// The survey points of the log in the data log: marked from the reading on
// the panel (at once, or with the maximum and mean of a dwell), named, noted,
// placed by hand, deleted, and kept in the journal with their log. Points
// marked before a log has rows belong to the live log that starts next; a
// log replaced, erased or started afresh takes its points with it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "instrument/observer.h"
#include "instrument/seams.h"
#include "journal/journal.h"
#include "position/survey.h"

namespace fenwyd {
class Instrument;
}

namespace fenwyd::journal {

class Recorder;

// Longest dwell the settings take, in seconds.
constexpr int kMaxDwellSeconds = 600;

class SurveyBook : public InstrumentObserver {
public:
    // recorder and journal: nullptr without a journal; the points are then
    // kept in memory only.
    SurveyBook(Instrument& instrument, Clock& clock, Recorder* recorder, Journal* journal);
    ~SurveyBook() override;
    SurveyBook(const SurveyBook&) = delete;
    SurveyBook& operator=(const SurveyBook&) = delete;

    void readingShown(const Measurement& m, int32_t row) override;
    void dataLogChanged(const DataLogChange& change) override;

    // "Mark Point": the reading on the panel becomes the next point. With a
    // dwell the point is kept at its end, with the maximum and mean of the
    // in-range readings of its unit from the mark on. False (nothing done)
    // when no live reading is shown or a dwell runs.
    bool mark(int dwellSeconds);
    bool dwelling() const { return dwell_ != nullptr; }
    // The program ends during a dwell: the point is kept with what it has.
    void finishDwell();
    // "Dwell for P3: 7 s left" while a dwell runs; empty otherwise.
    std::string statusText() const;

    // The points by number, lowest first.
    const std::vector<StoredPoint>& points() const { return points_; }
    const StoredPoint* point(int number) const;
    // Edits by number; false when there is no such point.
    bool rename(int number, const std::string& name);
    bool setNote(int number, const std::string& note);
    // A place typed by hand, as typed ("B4", "3.5, -2"); empty clears it.
    bool setPlace(int number, const std::string& place);
    bool remove(int number);

    // For the exports: the points, and the data log's rows with the fix
    // that counted for each.
    std::vector<SurveyPoint> surveyPoints() const;
    std::vector<TrackRow> track() const;
    // What loading a log's points could not read; empty when whole.
    const std::string& loadProblem() const { return loadProblem_; }

    // The points or the dwell changed.
    std::function<void()> onChange;
    // A point was kept: marked, or its dwell ended.
    std::function<void(int number)> onMarked;

private:
    struct Dwelling;
    StoredPoint* find(int number);
    void keep(StoredPoint p);
    void store(const StoredPoint& p);
    void dwellTick();
    void endDwell(int secondsDwelt);
    void changed();
    void reset(std::vector<StoredPoint> points);

    Instrument& in_;
    Clock& clock_;
    Recorder* recorder_;
    Journal* journal_;
    std::optional<Measurement> present_;
    std::vector<StoredPoint> points_;
    int nextNumber_ = 1;
    bool logHasRows_ = false;
    std::unique_ptr<Dwelling> dwell_;
    std::string loadProblem_;
};

}  // namespace fenwyd::journal
