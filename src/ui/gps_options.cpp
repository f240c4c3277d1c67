#include "ui/gps_options.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "journal/survey_book.h"

namespace fenwyd::ui {

namespace {
const char kGps[] = "GPS";
const char kPoints[] = "Points";

int Number(const std::string& text, int low, int high, int fallback) {
    bool ok = false;
    const int v = QString::fromStdString(text).trimmed().toInt(&ok);
    return ok && v >= low && v <= high ? v : fallback;
}

QLabel* Hint(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, QColor(90, 90, 90));
    l->setPalette(pal);
    return l;
}
}  // namespace

SurveySettings LoadSurveySettings(SettingsStore& settings) {
    SurveySettings s;
    s.useGpsd = settings.get(kGps, "UseGpsd", "0") == "1";
    const std::string host = settings.get(kGps, "Host", s.host);
    if (!QString::fromStdString(host).trimmed().isEmpty()) s.host = host;
    s.port = static_cast<uint16_t>(Number(settings.get(kGps, "Port", ""), 1, 65535, s.port));
    s.dwellSeconds = Number(settings.get(kPoints, "DwellSeconds", ""), 0, journal::kMaxDwellSeconds,
                            s.dwellSeconds);
    return s;
}

void SaveSurveySettings(SettingsStore& settings, const SurveySettings& s) {
    settings.set(kGps, "UseGpsd", s.useGpsd ? "1" : "0");
    settings.set(kGps, "Host", s.host);
    settings.set(kGps, "Port", std::to_string(s.port));
    settings.set(kPoints, "DwellSeconds", std::to_string(s.dwellSeconds));
}

SurveyOptions::SurveyOptions(QWidget* parent, const SurveySettings& current) : QWidget(parent) {
    setObjectName(QStringLiteral("surveyOptions"));
    auto* gps = new QGroupBox(QStringLiteral("Positions"), this);
    auto* grid = new QGridLayout(gps);
    useGpsd = new QCheckBox(QStringLiteral("Take positions from &gpsd"), gps);
    useGpsd->setObjectName(QStringLiteral("useGpsd"));
    useGpsd->setChecked(current.useGpsd);
    auto* hostCaption = new QLabel(QStringLiteral("&Host"), gps);
    host = new QLineEdit(QString::fromStdString(current.host), gps);
    host->setObjectName(QStringLiteral("gpsdHost"));
    host->setAccessibleName(QStringLiteral("gpsd host"));
    hostCaption->setBuddy(host);
    auto* portCaption = new QLabel(QStringLiteral("P&ort"), gps);
    port = new QSpinBox(gps);
    port->setObjectName(QStringLiteral("gpsdPort"));
    port->setAccessibleName(QStringLiteral("gpsd port"));
    port->setRange(1, 65535);
    port->setValue(current.port);
    portCaption->setBuddy(port);
    problem = new QLabel(gps);
    problem->setTextFormat(Qt::PlainText);
    problem->setWordWrap(true);
    problem->setStyleSheet(QStringLiteral("color: #aa0000;"));
    problem->hide();
    grid->addWidget(useGpsd, 0, 0, 1, 4);
    grid->addWidget(hostCaption, 1, 0);
    grid->addWidget(host, 1, 1);
    grid->addWidget(portCaption, 1, 2);
    grid->addWidget(port, 1, 3);
    grid->addWidget(problem, 2, 1, 1, 3);
    grid->addWidget(Hint(QStringLiteral("gpsd shares a GPS receiver between programs (default "
                                        "port 2947). Each reading then carries where it was "
                                        "taken; without a fix it carries no position."),
                         gps),
                    3, 0, 1, 4);
    grid->setColumnStretch(1, 1);

    auto* points = new QGroupBox(QStringLiteral("Survey points"), this);
    auto* row = new QGridLayout(points);
    auto* dwellCaption = new QLabel(QStringLiteral("&Dwell"), points);
    dwell = new QSpinBox(points);
    dwell->setObjectName(QStringLiteral("dwellSeconds"));
    dwell->setAccessibleName(QStringLiteral("Dwell in seconds"));
    dwell->setRange(0, journal::kMaxDwellSeconds);
    dwell->setSuffix(QStringLiteral(" s"));
    dwell->setSpecialValueText(QStringLiteral("None"));
    dwell->setValue(current.dwellSeconds);
    dwellCaption->setBuddy(dwell);
    row->addWidget(dwellCaption, 0, 0);
    row->addWidget(dwell, 0, 1);
    row->setColumnStretch(2, 1);
    row->addWidget(Hint(QStringLiteral("None: a point is the reading of the moment. With a "
                                       "dwell, Mark Point also keeps the maximum and mean of the "
                                       "readings over that many seconds."),
                        points),
                   1, 0, 1, 3);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(gps);
    layout->addWidget(points);
    connect(useGpsd, &QCheckBox::toggled, this, [this] { follow(); });
    connect(host, &QLineEdit::textEdited, problem, &QLabel::hide);
    follow();
}

void SurveyOptions::follow() {
    host->setEnabled(useGpsd->isChecked());
    port->setEnabled(useGpsd->isChecked());
}

SurveySettings SurveyOptions::settings() const {
    SurveySettings s;
    s.useGpsd = useGpsd->isChecked();
    s.host = host->text().trimmed().toStdString();
    s.port = static_cast<uint16_t>(port->value());
    s.dwellSeconds = dwell->value();
    return s;
}

bool SurveyOptions::check() {
    if (!useGpsd->isChecked()) return true;
    const QString h = host->text().trimmed();
    std::string error = "no host given";
    GpsdAddress parsed;
    // A bare IPv6 address takes brackets before the port.
    const QString full =
        (h.contains(QLatin1Char(':')) ? QLatin1Char('[') + h + QLatin1Char(']') : h) +
        QStringLiteral(":%1").arg(port->value());
    if (!h.isEmpty() && ParseGpsdAddress(full.toStdString(), parsed, error)) {
        problem->hide();
        return true;
    }
    problem->setText(
        QStringLiteral("The gpsd host cannot be used: %1.").arg(QString::fromStdString(error)));
    problem->show();
    host->setFocus();
    return false;
}

}  // namespace fenwyd::ui
