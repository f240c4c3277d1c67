#include "ui/reporting.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLabel>
#include <QThread>
#include <QTimer>

#include "datalog/data_file.h"
#include "exposure/exposure_settings.h"
#include "journal/recorder.h"
#include "report/report.h"
#include "ui/main_window.h"
#include "ui/text.h"

namespace fenwyd::ui {

namespace {
constexpr int kResultShownMs = 10000;

std::string FileNameOf(const std::string& path) { return Local8(QFileInfo(Qs(path)).fileName()); }

std::string BaseNameOf(const std::string& path) {
    return Local8(QFileInfo(Qs(path)).completeBaseName());
}
}  // namespace

report::SurveyPoint ReportPoint(const SurveyPoint& p) {
    report::SurveyPoint r;
    r.name = PointLabel(p.number);
    if (!p.name.empty()) r.name += " " + p.name;
    r.utcMs = p.utcMs;
    r.valueText = p.value.text;
    r.exponent = static_cast<int16_t>(p.value.exponent);
    r.unitsText = p.value.unit;
    r.unitsLabel = p.value.label;
    if (p.position) {
        r.latitude = p.position->latitude;
        r.longitude = p.position->longitude;
        r.altitude = p.position->altitudeM;
    }
    if (p.local) {
        r.gridLabel = p.local->grid;
        r.x = p.local->xM;
        r.y = p.local->yM;
    }
    return r;
}

report::ReportInput ReportOfDataLog(const Instrument& in, const std::vector<SurveyPoint>& points) {
    report::ReportInput r;
    const InstrumentState& st = in.st;
    const bool saved = !st.SaveFileName.empty();
    r.title = saved ? FileNameOf(st.SaveFileName) : std::string("Data log");
    r.source = saved ? FileNameOf(st.SaveFileName) : std::string("the data log, not saved");
    r.uploaded = st.DataUploaded != 0;
    r.rows.reserve(static_cast<std::size_t>(std::max(0, st.RecordCnt)));
    for (int32_t row = 1; row <= st.RecordCnt && row <= kMaxRecords; ++row) {
        LoggedRow lr;
        lr.logTime = st.RecordData[static_cast<std::size_t>(row)][kLogColTime];
        lr.reading = in.LoggedReading(row);
        r.rows.push_back(std::move(lr));
    }
    for (const NoteEntry& n : st.NoteQuery) {
        if (!n.label.empty() || !n.answer.empty()) r.notes.emplace_back(n.label, n.answer);
    }
    for (const SurveyPoint& p : points) r.points.push_back(ReportPoint(p));
    return r;
}

bool ReportOfJournalLog(journal::Journal& journal, const journal::LogSummary& log,
                        report::ReportInput& out, std::string& error) {
    out = report::ReportInput();
    if (!journal.rows(log.id, out.rows)) {
        error = "its readings cannot be read from the journal: " + journal.error();
        return false;
    }
    out.uploaded = log.source == LogSource::Upload;
    out.title = "Log started " + journal::StartText(log);
    out.source = "the journal";
    if (!log.files.empty()) {
        const std::string& last = log.files.back();
        out.title = FileNameOf(last);
        out.source = "the journal (saved as " + FileNameOf(last) + ")";
        // The site notes went with the data file, not the journal.
        SavedLog saved;
        std::string why;
        if (ReadSavedLog(last, saved, why) && !saved.pages.empty()) {
            out.notes = saved.pages.front().notes;
        } else {
            out.remarks.push_back("The site notes were not found: the data file " + last +
                                  " cannot be read.");
        }
    }
    std::vector<journal::StoredPoint> points;
    if (!journal.points(log.id, points)) {
        out.remarks.push_back("Some survey points of this log could not be read.");
    }
    for (const journal::StoredPoint& p : points) out.points.push_back(ReportPoint(p.point));
    return true;
}

void ApplyExposureChoice(const SettingsStore& settings, report::ReportInput& in) {
    auto& store = const_cast<SettingsStore&>(settings);
    const ExposureSettings s = LoadExposureSettings(
        [&store](const std::string& key) { return store.get(kExposureSection, key, ""); });
    in.reference = ReferenceFromSettings(s);
    in.alarmPercent = s.alarmPercent;
}

// ------------------------------------------------------------- the writer

struct ReportWriter::Job {
    report::ReportInput input;
    std::string path;
    bool ok = false;
    std::string error;
    report::ReportStats stats;
};

ReportWriter::ReportWriter(MainWindow& window, SettingsStore& settings)
    : window_(window), settings_(settings) {
    panel_ = window_.addStatusPanel(QStringLiteral("sbReport"), QStringLiteral("Report"));
    hideTimer_ = new QTimer(this);
    hideTimer_->setSingleShot(true);
    connect(hideTimer_, &QTimer::timeout, this, [this] { showState(QString()); });
}

void ReportWriter::showState(const QString& text, int forMs) {
    panel_->setText(text);
    panel_->setVisible(!text.isEmpty());
    if (forMs > 0) {
        hideTimer_->start(forMs);
    } else {
        hideTimer_->stop();
    }
}

ReportWriter::~ReportWriter() {
    if (thread_ != nullptr) {
        thread_->wait();
        delete thread_;
    }
}

bool ReportWriter::write(report::ReportInput in, const std::string& suggestedName, QWidget*) {
    if (thread_ != nullptr) {
        window_.dialogs().message("A report is still being written; try again when it is done.",
                                  MsgIcon::Information);
        return false;
    }
    if (in.rows.empty()) {
        window_.dialogs().message("There are no readings to report.", MsgIcon::Information);
        return false;
    }
    SaveDialogRequest request;
    request.defaultExt = "pdf";
    request.filter = "PDF Files (*.pdf)|*.pdf";
    request.title = "Report";
    request.fileName = BaseNameOf(suggestedName) + ".pdf";
    request.overwritePrompt = true;
    std::string path;
    if (!window_.dialogs().saveFile(request, path) || path.empty()) return false;
    if (QFileInfo(Qs(path)).suffix().isEmpty()) path += ".pdf";

    ApplyExposureChoice(settings_, in);
    job_ = std::make_shared<Job>();
    job_->input = std::move(in);
    job_->path = path;
    lastResult_ = QStringLiteral("Writing the report %1...").arg(Qs(FileNameOf(path)));
    showState(lastResult_);
    std::shared_ptr<Job> job = job_;
    thread_ = QThread::create(
        [job] { job->ok = report::WriteReport(job->input, job->path, job->error, &job->stats); });
    connect(thread_, &QThread::finished, this, [this] { finished(); });
    thread_->start(QThread::LowPriority);
    return true;
}

void ReportWriter::finished() {
    if (thread_ == nullptr) return;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    const std::shared_ptr<Job> job = std::move(job_);
    if (job->ok) {
        lastResult_ = QStringLiteral("Report written: %1 (%2 pages)")
                          .arg(Qs(FileNameOf(job->path)))
                          .arg(job->stats.pages);
        showState(lastResult_, kResultShownMs);
    } else {
        lastResult_ = QStringLiteral("The report could not be written");
        showState(QString());
        window_.dialogs().message(
            "The report " + job->path + " could not be written: " + job->error + ".",
            MsgIcon::Exclamation);
    }
}

bool ReportWriter::waitForDone(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (thread_ != nullptr && !deadline.hasExpired()) {
        if (thread_->wait(QDeadlineTimer(20))) finished();
        QCoreApplication::processEvents();
    }
    return thread_ == nullptr;
}

}  // namespace fenwyd::ui
