#include "journal/survey_book.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "instrument/instrument.h"
#include "journal/recorder.h"
#include "position/place.h"

namespace fenwyd::journal {

namespace {
constexpr int kDwellTickMs = 1000;

// The reading's value in its base unit; nothing for one that is not a number.
std::optional<double> BaseValue(const Measurement& m) {
    const std::string text = m.baseDecimal();
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}
}  // namespace

struct SurveyBook::Dwelling {
    StoredPoint point;
    int seconds = 0;
    int left = 0;
    double maximum = 0;
    double sum = 0;
    int count = 0;
    std::unique_ptr<Timer> timer;

    void add(const Measurement& m) {
        if (!m.inRange() || m.unitsText != point.point.value.unit) return;
        const std::optional<double> v = BaseValue(m);
        if (!v) return;
        maximum = count == 0 ? *v : std::max(maximum, *v);
        sum += *v;
        ++count;
    }
};

SurveyBook::SurveyBook(Instrument& instrument, Clock& clock, Recorder* recorder, Journal* journal)
    : in_(instrument), clock_(clock), recorder_(recorder), journal_(journal) {}

SurveyBook::~SurveyBook() = default;

void SurveyBook::readingShown(const Measurement& m, int32_t /*row*/) {
    present_ = m;
    if (dwell_) dwell_->add(m);
}

void SurveyBook::dataLogChanged(const DataLogChange& change) {
    switch (change.kind) {
        case DataLogChange::RowStored: logHasRows_ = true; break;
        case DataLogChange::Stopped: break;
        case DataLogChange::Started:
            // Points marked since the last log with rows belong to the live
            // log that starts now; any other log starts without points.
            if (change.source == LogSource::Live && !logHasRows_) {
                if (recorder_ != nullptr) recorder_->keepPointsLog();
            } else {
                reset({});
            }
            logHasRows_ = false;
            break;
        case DataLogChange::Erased:
            logHasRows_ = false;
            reset({});
            break;
        case DataLogChange::Loaded: {
            std::vector<StoredPoint> loaded;
            loadProblem_.clear();
            if (change.journalLogId != 0 && journal_ != nullptr &&
                !journal_->points(change.journalLogId, loaded)) {
                loadProblem_ = journal_->error();
            }
            logHasRows_ = in_.st.RecordCnt > 0;
            reset(std::move(loaded));
            break;
        }
    }
}

void SurveyBook::reset(std::vector<StoredPoint> points) {
    points_ = std::move(points);
    nextNumber_ = points_.empty() ? 1 : points_.back().point.number + 1;
    changed();
}

bool SurveyBook::mark(int dwellSeconds) {
    if (dwell_ || !present_ || !in_.st.ReadingShown) return false;
    const Measurement& m = *present_;
    StoredPoint p;
    SurveyPoint& s = p.point;
    s.number = nextNumber_++;
    s.utcMs = m.utcMs;
    s.value = ShownValue{m.valueText, m.exponent, m.unitsText, m.unitsLabel};
    s.range = m.range;
    s.autoRange = m.autoRange;
    s.position = m.position;
    // The value of a reading out of range is no measurement: said where
    // every export shows it.
    if (m.overRange) s.note = "Over Range";
    if (m.underRange) s.note = "Under Range";
    dwellSeconds = std::clamp(dwellSeconds, 0, kMaxDwellSeconds);
    if (dwellSeconds == 0) {
        keep(std::move(p));
        return true;
    }
    dwell_ = std::make_unique<Dwelling>();
    dwell_->point = std::move(p);
    dwell_->seconds = dwell_->left = dwellSeconds;
    dwell_->add(m);
    dwell_->timer = clock_.createTimer([this] { dwellTick(); });
    dwell_->timer->setInterval(kDwellTickMs);
    dwell_->timer->setEnabled(true);
    in_.st.PointDwell = true;
    in_.ShowAvailability();
    changed();
    return true;
}

void SurveyBook::dwellTick() {
    if (!dwell_) return;
    if (--dwell_->left > 0) {
        changed();
        return;
    }
    endDwell(dwell_->seconds);
}

void SurveyBook::finishDwell() {
    if (dwell_) endDwell(dwell_->seconds - dwell_->left);
}

void SurveyBook::endDwell(int secondsDwelt) {
    std::unique_ptr<Dwelling> d = std::move(dwell_);
    d->timer->setEnabled(false);
    if (d->count > 0) {
        d->point.point.dwell =
            Dwell{secondsDwelt, d->maximum, d->sum / static_cast<double>(d->count)};
    }
    in_.st.PointDwell = false;
    in_.ShowAvailability();
    keep(std::move(d->point));
}

std::string SurveyBook::statusText() const {
    if (!dwell_) return std::string();
    return "Dwell for " + PointLabel(dwell_->point.point.number) + ": " +
           std::to_string(dwell_->left) + " s left";
}

void SurveyBook::keep(StoredPoint p) {
    const int number = p.point.number;
    // Numbers only grow, so the new point goes last.
    points_.push_back(std::move(p));
    nextNumber_ = std::max(nextNumber_, number + 1);
    store(points_.back());
    changed();
    if (onMarked) onMarked(number);
}

void SurveyBook::store(const StoredPoint& p) {
    if (recorder_ != nullptr) recorder_->pointChanged(p);
}

void SurveyBook::changed() {
    if (onChange) onChange();
}

StoredPoint* SurveyBook::find(int number) {
    const auto it = std::find_if(points_.begin(), points_.end(), [number](const StoredPoint& p) {
        return p.point.number == number;
    });
    return it == points_.end() ? nullptr : &*it;
}

const StoredPoint* SurveyBook::point(int number) const {
    return const_cast<SurveyBook*>(this)->find(number);
}

bool SurveyBook::rename(int number, const std::string& name) {
    StoredPoint* p = find(number);
    if (p == nullptr) return false;
    if (p->point.name == name) return true;
    p->point.name = name;
    store(*p);
    changed();
    return true;
}

bool SurveyBook::setNote(int number, const std::string& note) {
    StoredPoint* p = find(number);
    if (p == nullptr) return false;
    if (p->point.note == note) return true;
    p->point.note = note;
    store(*p);
    changed();
    return true;
}

bool SurveyBook::setPlace(int number, const std::string& place) {
    StoredPoint* p = find(number);
    if (p == nullptr) return false;
    if (p->place == place) return true;
    p->place = place;
    p->point.local = ParsePlace(place);
    store(*p);
    changed();
    return true;
}

bool SurveyBook::remove(int number) {
    StoredPoint* p = find(number);
    if (p == nullptr) return false;
    points_.erase(points_.begin() + (p - points_.data()));
    if (recorder_ != nullptr) recorder_->pointDropped(number);
    changed();
    return true;
}

std::vector<SurveyPoint> SurveyBook::surveyPoints() const {
    std::vector<SurveyPoint> out;
    out.reserve(points_.size());
    for (const StoredPoint& p : points_) out.push_back(p.point);
    return out;
}

std::vector<TrackRow> SurveyBook::track() const {
    std::vector<TrackRow> out;
    out.reserve(static_cast<std::size_t>(in_.st.RecordCnt));
    for (int32_t i = 1; i <= in_.st.RecordCnt; ++i) {
        const Measurement m = in_.LoggedReading(i);
        out.push_back(TrackRow{m.utcMs,
                               ShownValue{m.valueText, m.exponent, m.unitsText, m.unitsLabel},
                               m.position, std::nullopt});
    }
    return out;
}

}  // namespace fenwyd::journal
