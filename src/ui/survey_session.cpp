#include "ui/survey_session.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <algorithm>

#include "common/file_write.h"
#include "position/geo_export.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/points_window.h"
#include "ui/text.h"

namespace fenwyd::ui {

namespace {
// How long "P3 marked" stays in the status bar.
constexpr int kKeptShownMs = 5000;
}  // namespace

// The instrument asks for each reading's position here.
class SurveySession::Positions : public PositionSource {
public:
    explicit Positions(GpsdClient& gps) : gps_(gps) {}
    std::optional<Position> positionAt(int64_t utcMs) override { return gps_.positionAt(utcMs); }

private:
    GpsdClient& gps_;
};

SurveySession::SurveySession(MainWindow& window, SettingsStore& settings, Clock& clock,
                             journal::Journal* journal, journal::Recorder* recorder)
    : window_(window), store_(settings), clock_(clock) {
    gps_ = std::make_unique<GpsdClient>();
    // Fixes are stamped by the clock the readings are stamped by, so that
    // "within 5 s of the reading" compares like with like.
    gps_->setClock([&clock] { return clock.utcMs(); });
    positions_ = std::make_unique<Positions>(*gps_);
    connect(gps_.get(), &GpsdClient::stateChanged, this, [this] { showGpsState(); });
    connect(gps_.get(), &GpsdClient::problem, this, [this](const QString& text) {
        gpsProblem_ = text;
        showGpsState();
    });
    book_ = std::make_unique<journal::SurveyBook>(
        window_.instrument(), clock, recorder,
        journal != nullptr && journal->isOpen() ? journal : nullptr);
    book_->onChange = [this] {
        if (points_) points_->refresh();
        showPointsState();
    };
    book_->onMarked = [this](int number) { pointKept(number); };
    // After the recorder: it hears of a new log before the book does.
    window_.instrument().addObserver(book_.get());

    gpsPanel_ = window_.addStatusPanel(QStringLiteral("gpsState"), QStringLiteral("GPS state"));
    pointsPanel_ =
        window_.addStatusPanel(QStringLiteral("pointsState"), QStringLiteral("Survey points"));
    keptTimer_ = new QTimer(this);
    keptTimer_->setSingleShot(true);
    connect(keptTimer_, &QTimer::timeout, this, [this] {
        kept_.clear();
        showPointsState();
    });
    apply(LoadSurveySettings(store_));
}

SurveySession::~SurveySession() {
    window_.instrument().SetPositionSource(nullptr);
    window_.instrument().removeObserver(book_.get());
    points_.reset();
}

void SurveySession::addCommands(WindowCommands& commands) {
    commands.markPoint = [this] { markPoint(); };
    commands.showPoints = [this] { showPoints(); };
    commands.exportSurvey = [this](const QString& format) { exportSurvey(format); };
}

void SurveySession::addOptions(OptionsDialog& dialog) {
    auto* section = new SurveyOptions(&dialog, settings_);
    section_ = section;
    dialog.addSection(section, [section] { return section->check(); });
}

void SurveySession::applyOptions(bool accepted) {
    SurveyOptions* section = section_;
    section_ = nullptr;
    if (section == nullptr || !accepted) return;
    const SurveySettings chosen = section->settings();
    SaveSurveySettings(store_, chosen);
    apply(chosen);
}

void SurveySession::apply(const SurveySettings& s) {
    const bool restart = s.useGpsd && (!settings_.useGpsd || s.host != settings_.host ||
                                       s.port != settings_.port || gps_->state() == GpsState::Off);
    settings_ = s;
    Instrument& in = window_.instrument();
    if (!s.useGpsd) {
        in.SetPositionSource(nullptr);
        gps_->stop();
    } else if (restart) {
        gpsProblem_.clear();
        gps_->start(s.address());
        in.SetPositionSource(positions_.get());
    }
    showGpsState();
}

void SurveySession::showGpsState() {
    gpsPanel_->setVisible(settings_.useGpsd);
    if (!settings_.useGpsd) return;
    const GpsState state = gps_->state();
    gpsPanel_->setText(QString::fromLatin1(GpsStatusText(state)));
    QString tip =
        QStringLiteral("gpsd at ") + QString::fromStdString(GpsdAddressText(gps_->address()));
    if (state == GpsState::Connecting && !gpsProblem_.isEmpty())
        tip += QStringLiteral("\n") + gpsProblem_;
    gpsPanel_->setToolTip(tip);
    QPalette pal = gpsPanel_->palette();
    pal.setColor(QPalette::WindowText, state == GpsState::Fix3D || state == GpsState::Fix2D
                                           ? QColor(0, 110, 0)
                                           : QColor(150, 60, 0));
    gpsPanel_->setPalette(pal);
}

void SurveySession::showPointsState() {
    const QString dwell = Qs(book_->statusText());
    const QString text = !dwell.isEmpty() ? dwell : kept_;
    pointsPanel_->setText(text);
    pointsPanel_->setVisible(!text.isEmpty());
    if (points_) points_->showStatus(text);
}

void SurveySession::markPoint() {
    if (!book_->mark(settings_.dwellSeconds)) return;
    // The list opens with the first point, beside the window rather than
    // over it, so Ctrl+M goes on marking.
    if (!points_) {
        showPoints();
        window_.activateWindow();
    }
    showPointsState();
}

void SurveySession::pointKept(int number) {
    kept_ = Qs(PointLabel(number)) + QStringLiteral(" marked");
    keptTimer_->start(kKeptShownMs);
    if (points_) points_->select(number);
    showPointsState();
}

void SurveySession::showPoints() {
    if (!points_) {
        points_ =
            std::make_unique<PointsWindow>(*book_, window_.dialogs(), store_,
                                           window_.menuAction(QStringLiteral("mnuProbeMarkPoint")),
                                           [this](const QString& format) { exportSurvey(format); });
        points_->restorePlace();
    }
    points_->show();
    points_->raise();
}

void SurveySession::exportSurvey(const QString& format) {
    if (window_.ending()) return;
    const std::vector<SurveyPoint> points = book_->surveyPoints();
    const std::vector<TrackRow> track =
        format == QLatin1String("CSV") ? std::vector<TrackRow>() : book_->track();
    const int fixes =
        static_cast<int>(std::count_if(track.begin(), track.end(), [](const TrackRow& r) {
            return r.position && HasFix(*r.position);
        }));
    Dialogs& dialogs = window_.dialogs();
    if (points.empty() && fixes == 0) {
        dialogs.message(format == QLatin1String("CSV")
                            ? "There are no survey points to export."
                            : "There are no survey points and no logged positions to export.",
                        MsgIcon::Information);
        return;
    }
    const std::string ext = format == QLatin1String("GeoJSON") ? "geojson"
                            : format == QLatin1String("KML")   ? "kml"
                                                               : "csv";
    SaveDialogRequest request;
    request.defaultExt = ext;
    request.filter = format == QLatin1String("GeoJSON") ? "GeoJSON (*.geojson)|*.geojson"
                     : format == QLatin1String("KML")   ? "KML (*.kml)|*.kml"
                                                        : "Points as CSV (*.csv)|*.csv";
    request.title = format == QLatin1String("CSV") ? "Export Points as CSV"
                                                   : "Export Survey as " + Local8(format);
    const InstrumentState& st = window_.instrument().st;
    request.initDir =
        st.DefaultSavePath.empty() ? window_.instrument().defaultSaveFolder() : st.DefaultSavePath;
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(clock_.utcMs(), Qt::OffsetFromUTC,
                                                         clock_.utcOffsetSeconds());
    request.fileName =
        "survey-" + now.toString(QStringLiteral("yyyy-MM-dd-HHmm")).toStdString() + "." + ext;
    std::string chosen;
    if (!dialogs.saveFile(request, chosen) || window_.ending()) return;
    std::string text;
    if (format == QLatin1String("GeoJSON")) {
        text = GeoJsonText(points, track);
    } else if (format == QLatin1String("KML")) {
        text = KmlText(points, track, QFileInfo(Qs(chosen)).completeBaseName().toStdString());
    } else {
        text = PointsCsvText(points);
    }
    std::string reason;
    if (!WriteFileReplacing(chosen, text, reason)) {
        dialogs.message("The survey could not be written to " + chosen + ": " + reason + ".",
                        MsgIcon::Exclamation);
        return;
    }
    QString said =
        QStringLiteral("%1 point%2").arg(points.size()).arg(points.size() == 1 ? "" : "s");
    if (format != QLatin1String("CSV"))
        said += QStringLiteral(" and %1 track positions").arg(fixes);
    said +=
        QStringLiteral(" exported to ") + QDir::toNativeSeparators(Qs(chosen)) + QLatin1Char('.');
    kept_ = said;
    keptTimer_->start(kKeptShownMs);
    showPointsState();
}

void SurveySession::closing() {
    book_->finishDwell();
    if (points_) {
        points_->savePlace(points_->isVisible());
        points_->hide();
    }
}

void SurveySession::shown() {
    QTimer::singleShot(0, this, [this] {
        if (SideWindow::WasOpen(store_, "Points")) showPoints();
    });
}

}  // namespace fenwyd::ui
