#include "journal/recorder.h"

#include <QDateTime>
#include <algorithm>

#include "instrument/instrument.h"

namespace fenwyd::journal {

namespace {
// Rows written in one commit when the journal catches up.
constexpr std::size_t kRowsPerCommit = 1000;
// A last chance for what waits when the program ends: nothing else waits then.
constexpr int kEndingLockWaitMs = 2000;
}  // namespace

Recorder::Recorder(Journal& journal, Clock& clock, Dialogs& dialogs)
    : journal_(journal), clock_(clock), dialogs_(dialogs) {
    retry_ = clock_.createTimer([this] { flush(); });
    retry_->setInterval(kRetryMs);
}

Recorder::~Recorder() = default;

int64_t Recorder::currentLog() const {
    const auto it = ids_.find(key_);
    return it == ids_.end() ? 0 : it->second;
}

std::string Recorder::statusText() const { return status_; }

void Recorder::setStatus() {
    std::string s;
    if (journal_.isOpen() && !ops_.empty()) {
        s = waitingRows_ > 0 ? "Journal: " + std::to_string(waitingRows_) + " readings waiting"
                             : "Journal: waiting";
    }
    if (journal_.isOpen() && droppedRows_ > 0) {
        s += (s.empty() ? "Journal: " : ", ") + std::to_string(droppedRows_) + " readings not kept";
    }
    if (s == status_) return;
    status_ = s;
    if (onStatus) onStatus();
}

void Recorder::failed() {
    const std::string reason = journal_.error();
    journal_.close();
    ops_.clear();
    ids_.clear();
    waitingRows_ = 0;
    retry_->setEnabled(false);
    setStatus();
    dialogs_.notice("The journal " + journal_.path() + " cannot be written: " + reason +
                        ".\n\nReading and logging go on, but the data log is kept in memory "
                        "only: save it before you close the program.",
                    MsgIcon::Exclamation);
    if (onFailure) onFailure();
}

void Recorder::stalled() {
    // Another program's write is usually over in a moment: a lock is said
    // only when it is still there at the next try; a full disk at once.
    const bool again = retry_->isEnabled();
    if (!again) retry_->setEnabled(true);
    if (!told_ && (again || journal_.failure() == Failure::Full)) {
        told_ = true;
        dialogs_.notice("The journal " + journal_.path() +
                            " cannot be written at the moment: " + journal_.error() +
                            ".\n\nReading and logging go on. The readings are kept in memory "
                            "(up to " +
                            std::to_string(kMaxWaitingRows) +
                            ") and written to the journal as soon as it takes them again.",
                        MsgIcon::Exclamation);
    }
    setStatus();
}

void Recorder::enqueue(Op op) {
    if (!journal_.isOpen()) return;
    if (op.kind == Op::Row && ++waitingRows_ > kMaxWaitingRows) {
        const auto oldest =
            std::find_if(ops_.begin(), ops_.end(), [](const Op& o) { return o.kind == Op::Row; });
        if (oldest != ops_.end()) {
            ops_.erase(oldest);
            --waitingRows_;
            ++droppedRows_;
        }
    }
    ops_.push_back(std::move(op));
    // While the journal is stalled, only the retry tries it: a reading
    // never waits for it.
    if (retry_->isEnabled()) {
        setStatus();
    } else {
        flush();
    }
}

bool Recorder::flush() {
    while (!ops_.empty()) {
        if (!journal_.isOpen()) return false;
        std::size_t taken = 0;
        if (!apply(taken)) {
            const Failure f = journal_.failure();
            if (f == Failure::Busy || f == Failure::Full) {
                stalled();
            } else {
                failed();
            }
            return false;
        }
        for (std::size_t i = 0; i < taken; ++i) {
            if (ops_.front().kind == Op::Row) --waitingRows_;
            ops_.pop_front();
        }
    }
    retry_->setEnabled(false);
    told_ = false;
    droppedRows_ = 0;
    for (auto it = ids_.begin(); it != ids_.end();) {
        it = it->first == key_ || it->first == lastKey_ ? std::next(it) : ids_.erase(it);
    }
    setStatus();
    return true;
}

bool Recorder::apply(std::size_t& taken) {
    const Op& op = ops_.front();
    const auto known = ids_.find(op.key);
    const int64_t id = known == ids_.end() ? 0 : known->second;
    taken = 1;
    auto gone = [this] { return journal_.failure() == Failure::LogGone; };
    switch (op.kind) {
        case Op::Begin: {
            int64_t made = 0;
            if (!journal_.beginLog(op.row.source, op.utcMs, op.offsetS, made)) return false;
            ids_[op.key] = made;
            if (op.key == key_) journal_.holdLog(made);
            return true;
        }
        case Op::Row: {
            // The rows that wait for the same log go in one commit.
            std::vector<JournalRow> rows;
            for (const Op& o : ops_) {
                if (o.kind != Op::Row || o.key != op.key || rows.size() == kRowsPerCommit) break;
                rows.push_back(o.row);
            }
            if (id != 0 && journal_.addRows(id, rows)) {
                taken = rows.size();
                return true;
            }
            if (id != 0 && !gone()) return false;
            // Its log was deleted meanwhile (another program's "Open"): the
            // rows from here on go into a log of their own.
            int64_t made = 0;
            const JournalRow& first = rows.front();
            if (!journal_.beginLog(first.source, first.reading.utcMs,
                                   first.reading.utcOffsetSeconds, made)) {
                return false;
            }
            ids_[op.key] = made;
            if (op.key == key_) journal_.holdLog(made);
            taken = 0;
            return true;
        }
        case Op::End: return id == 0 || journal_.endLog(id, op.utcMs, op.offsetS) || gone();
        case Op::Saved: return id == 0 || journal_.markSaved(id, op.files, op.utcMs) || gone();
        case Op::Adopt: return journal_.adoptLog(id) || gone();
        case Op::NormalEnd: return id == 0 || journal_.markNormalEnd(id);
        case Op::Point: {
            if (id != 0 && journal_.putPoint(id, op.point)) return true;
            if (id != 0 && !gone()) return false;
            // As for rows: a log deleted meanwhile gives way to one of its own.
            int64_t made = 0;
            if (!journal_.beginLog(LogSource::Live, op.point.point.utcMs, 0, made)) return false;
            ids_[op.key] = made;
            if (op.key == key_) journal_.holdLog(made);
            taken = 0;
            return true;
        }
        case Op::DropPoint:
            return id == 0 || journal_.dropPoint(id, op.point.point.number) || gone();
    }
    return true;
}

void Recorder::dataLogChanged(const DataLogChange& change) {
    switch (change.kind) {
        case DataLogChange::RowStored: rowStored(change); break;
        case DataLogChange::Started: logStarted(change.source); break;
        case DataLogChange::Stopped: logStopped(); break;
        case DataLogChange::Erased: logErased(); break;
        case DataLogChange::Loaded:
            adopt(change.journalLogId, change.journalLogId == 0 ? 0 : change.unsavedRows);
            break;
    }
}

void Recorder::logStarted(LogSource source) {
    lastKey_ = key_;
    pending_ = true;
    pendingSource_ = source;
    pendingUtcMs_ = clock_.utcMs();
    pendingOffsetS_ = clock_.utcOffsetSeconds();
    key_ = 0;
    unsaved_ = 0;
}

void Recorder::rowStored(const DataLogChange& change) {
    const Measurement& r = *change.reading;
    ++unsaved_;
    if (!journal_.isOpen()) return;
    // The first row of a log, or the first after the count was erased.
    beginIfNone(r.utcMs, r.utcOffsetSeconds, change.source);
    Op row{Op::Row, key_};
    row.row.row = change.row;
    row.row.logTime = change.logTime;
    row.row.source = change.source;
    row.row.reading = r;
    enqueue(std::move(row));
}

void Recorder::beginIfNone(int64_t utcMs, int32_t offsetS, LogSource source) {
    if (key_ != 0) return;
    Op begin{Op::Begin, key_ = ++nextKey_};
    begin.row.source = pending_ ? pendingSource_ : source;
    begin.utcMs = pending_ ? pendingUtcMs_ : utcMs;
    begin.offsetS = pending_ ? pendingOffsetS_ : offsetS;
    pending_ = false;
    enqueue(std::move(begin));
}

void Recorder::pointChanged(const StoredPoint& point) {
    if (!journal_.isOpen()) return;
    beginIfNone(clock_.utcMs(), clock_.utcOffsetSeconds(), LogSource::Live);
    Op op{Op::Point, key_};
    op.point = point;
    enqueue(std::move(op));
}

void Recorder::pointDropped(int number) {
    if (!journal_.isOpen() || key_ == 0) return;
    Op op{Op::DropPoint, key_};
    op.point.point.number = number;
    enqueue(std::move(op));
}

void Recorder::keepPointsLog() {
    if (lastKey_ == 0 || key_ != 0) return;
    key_ = lastKey_;
    pending_ = false;
    const auto known = ids_.find(key_);
    if (known != ids_.end()) journal_.holdLog(known->second);
}

void Recorder::logStopped() {
    if (key_ == 0) return;
    Op end{Op::End, key_};
    end.utcMs = clock_.utcMs();
    end.offsetS = clock_.utcOffsetSeconds();
    enqueue(std::move(end));
}

void Recorder::logErased() {
    // The rows logged so far stay in the journal as a log of their own; the
    // rows that follow start a new one.
    logStopped();
    key_ = 0;
    unsaved_ = 0;
    enqueue(Op{Op::Adopt});
}

void Recorder::logSaved(const std::vector<std::string>& files) {
    unsaved_ = 0;
    if (key_ == 0) return;
    Op saved{Op::Saved, key_};
    saved.files = files;
    saved.utcMs = clock_.utcMs();
    enqueue(std::move(saved));
}

void Recorder::adopt(int64_t logId, int32_t unsavedRows) {
    pending_ = false;
    key_ = 0;
    if (logId != 0) {
        key_ = ++nextKey_;
        ids_[key_] = logId;
    }
    unsaved_ = logId == 0 ? 0 : unsavedRows;
    enqueue(Op{Op::Adopt, key_});
}

void Recorder::programEnding() {
    if (!journal_.isOpen()) return;
    if (key_ != 0) {
        ops_.push_back(Op{Op::NormalEnd, key_});
    }
    told_ = true;  // nobody is there to read it now
    journal_.setLockWait(kEndingLockWaitMs);
    flush();
    journal_.setLockWait(0);
    retry_->setEnabled(false);
}

std::string StartText(const LogSummary& log) {
    const QDateTime local =
        QDateTime::fromMSecsSinceEpoch(log.startedUtcMs, Qt::OffsetFromUTC, log.startedOffsetS);
    return local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

bool LoadLog(Journal& journal, Instrument& instrument, const LogSummary& log, std::string* problem,
             LogOrigin origin) {
    std::vector<LoggedRow> rows;
    const bool whole = journal.rows(log.id, rows);
    if (!whole && problem != nullptr) {
        *problem = "The log started " + StartText(log) + " could not be read whole from the " +
                   "journal " + journal.path() + ": " + std::to_string(rows.size()) + " of its " +
                   std::to_string(log.rows) + " readings could be read (" + journal.error() + ").";
    }
    if (rows.empty() && log.rows > 0) return false;
    DataLogChange loaded;
    loaded.origin = origin;
    loaded.journalLogId = log.id;
    loaded.unsavedRows = log.rows - log.savedRows;
    return instrument.LoadDataLog(rows, log.source == LogSource::Upload, log.units, loaded);
}

void OfferRestore(Journal& journal, Instrument& instrument, Dialogs& dialogs) {
    if (!journal.isOpen()) return;
    const std::optional<LogSummary> crashed = journal.crashedLog();
    if (!crashed) return;
    // No reading may start while the question is open.
    Timer& reading = instrument.HRTReadProbe();
    const bool wasReading = reading.isEnabled();
    reading.setEnabled(false);
    const std::string what = crashed->source == LogSource::Upload ? "upload" : "log";
    const bool yes = dialogs.askYesNo(
        "The " + what + " started " + StartText(*crashed) + " holds " +
            std::to_string(crashed->rows - crashed->savedRows) +
            " readings that were not saved to a data file when the program last ended.\n\n"
            "Restore them into the data log?",
        MsgIcon::Question);
    // Marked only now that it is answered: a program that ends with the
    // question open (closed by the program's end, or by a crash) asks it
    // again at its next start. Yes takes the log into this run, so a crash
    // before it is saved offers it again.
    const bool answered = !dialogs.programEnding();
    if (answered && yes) {
        std::string problem;
        LoadLog(journal, instrument, *crashed, &problem, LogOrigin::Restore);
        if (!problem.empty()) dialogs.message(problem, MsgIcon::Exclamation);
    } else if (answered) {
        journal.markRestoreOffered(crashed->id);
    }
    reading.setEnabled(wasReading);
}

void DropOldLogs(Journal& journal, Clock& clock) {
    if (!journal.isOpen()) return;
    int64_t keep = 0;
    for (const LogSummary& s : journal.logs()) {
        if (s.unsaved()) {
            keep = s.id;
            break;
        }
    }
    journal.dropOld(clock.utcMs(), keep);
}

}  // namespace fenwyd::journal
