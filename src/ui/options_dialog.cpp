#include "ui/options_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/exposure_options.h"

namespace fenwyd::ui {

namespace {
const QColor kAnswered(0, 110, 0);
const QColor kFailed(170, 0, 0);
const QColor kQuiet(90, 90, 90);

QString Q(const std::string& s) { return QString::fromStdString(s); }

QLabel* NoteLabel(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    l->setContentsMargins(0, 0, 0, 8);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 0.9);
    l->setFont(f);
    return l;
}

void SetColor(QLabel* l, const QColor& c) {
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, c);
    l->setPalette(pal);
}
}  // namespace

OptionsDialog::OptionsDialog(QWidget* parent, PortCatalog& catalog, const PortOptions& current,
                             int16_t chosenPort, bool chosenIsOpen, Tester tester)
    : QDialog(parent), catalog_(catalog), tester_(std::move(tester)) {
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setObjectName(QStringLiteral("frmOptions"));

    auto* intro = new QLabel(
        QStringLiteral("Each port number stands for a serial device. Pick the probe's adapter "
                       "from the list, or type the path of any other device, and press Test to "
                       "see whether the probe answers."),
        this);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);

    auto* ports = new QGroupBox(QStringLiteral("Probe port"), this);
    auto* grid = new QGridLayout(ports);
    grid->setColumnStretch(1, 1);
    grid->setVerticalSpacing(2);
    const int boxWidth = fontMetrics().averageCharWidth() * 52;
    known_ = catalog_.ports();
    for (int n = 1; n <= kPortCount; ++n) {
        Row& r = rows_[n];
        const QString port = QStringLiteral("Comm %1").arg(n);
        // The port the program uses is marked: the row to fix when it did not open.
        QString mark;
        if (n == chosenPort) {
            mark = chosenIsOpen ? QStringLiteral(" (in use)") : QStringLiteral(" (not open)");
        }
        auto* caption = new QLabel(QStringLiteral("Comm &%1").arg(n) + mark, ports);
        r.device = new QComboBox(ports);
        r.device->setEditable(true);
        r.device->setInsertPolicy(QComboBox::NoInsert);
        r.device->setCompleter(nullptr);  // a typed path stays exactly as typed
        r.device->setMinimumWidth(boxWidth);
        r.device->setObjectName(QStringLiteral("device%1").arg(n));
        r.device->setAccessibleName(port + QStringLiteral(" device"));
        r.device->lineEdit()->setAccessibleName(port + QStringLiteral(" device"));
        caption->setBuddy(r.device);
        r.test = new QPushButton(QStringLiteral("Test"), ports);
        r.test->setAccessibleName(QStringLiteral("Test ") + port);
        r.test->setToolTip(QStringLiteral("Send \"RD\" to this device and show what answers"));
        // Under the device: what it is, or after a test what answered.
        r.details = NoteLabel(ports);
        SetColor(r.details, kQuiet);
        r.details->setAccessibleDescription(port + QStringLiteral(" device details"));
        r.result = NoteLabel(ports);
        r.result->setAccessibleDescription(port + QStringLiteral(" test result"));
        r.result->hide();

        const int row = (n - 1) * 2;
        grid->addWidget(caption, row, 0);
        grid->addWidget(r.device, row, 1);
        grid->addWidget(r.test, row, 2);
        grid->addWidget(r.details, row + 1, 1, 1, 2, Qt::AlignTop);
        grid->addWidget(r.result, row + 1, 1, 1, 2, Qt::AlignTop);

        fillDevices(n);
        r.device->setEditText(Q(current.device[n]));
        showDetails(n);
        connect(r.device, &QComboBox::editTextChanged, this, [this, n] {
            showDetails(n);
            showResult(n, QString(), kQuiet);  // a result of another device
        });
        connect(r.test, &QPushButton::clicked, this, [this, n] { runTest(n); });
    }

    auto* speedCaption = new QLabel(QStringLiteral("Line &speed"), this);
    speed_ = new QComboBox(this);
    speed_->setObjectName(QStringLiteral("baudRate"));
    speed_->setAccessibleName(QStringLiteral("Line speed"));
    for (int32_t rate : kProbeBaudRates) speed_->addItem(QStringLiteral("%1 Baud").arg(rate), rate);
    if (speed_->findData(current.baudRate) < 0) {
        // A speed set by hand in the settings file stays as it is unless changed.
        speed_->addItem(QStringLiteral("%1 Baud").arg(current.baudRate), current.baudRate);
    }
    speed_->setCurrentIndex(speed_->findData(current.baudRate));
    speedCaption->setBuddy(speed_);
    auto* frame = new QLabel(QStringLiteral("8 data bits, no parity, 1 stop bit"), this);
    SetColor(frame, kQuiet);
    auto* speedRow = new QHBoxLayout;
    speedRow->addWidget(speedCaption);
    speedRow->addWidget(speed_);
    speedRow->addWidget(frame);
    speedRow->addStretch(1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setAccessibleName(QStringLiteral("Options buttons"));
    exposure_ = new ExposureOptions(this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        for (const auto& check : checks_) {
            if (!check()) return;
        }
        if (exposure_->settings()) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(ports);
    layout->addLayout(speedRow);
    layout->addWidget(exposure_);
    layout->addWidget(buttons);

    connect(&refresh_, &QTimer::timeout, this, [this] {
        refreshPorts();
        watchDevices();
    });
    if (QFileInfo(QStringLiteral("/dev")).isDir()) {
        // Reading the system's list costs about as much as a frame; only a
        // change under /dev is worth it.
        refresh_.setSingleShot(true);
        refresh_.setInterval(kSettleMs);
        connect(&devices_, &QFileSystemWatcher::directoryChanged, &refresh_,
                qOverload<>(&QTimer::start));
        watchDevices();
    } else {
        refresh_.setInterval(kRefreshMs);
        refresh_.start();
    }
}

void OptionsDialog::addSection(QWidget* section, std::function<bool()> check) {
    auto* all = static_cast<QVBoxLayout*>(layout());
    all->insertWidget(all->count() - 1, section);
    if (check) checks_.push_back(std::move(check));
}

void OptionsDialog::watchDevices() {
    for (const QString& dir : {QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id")}) {
        if (!devices_.directories().contains(dir) && QFileInfo(dir).isDir()) {
            devices_.addPath(dir);
        }
    }
}

PortOptions OptionsDialog::options() const {
    PortOptions o;
    for (int n = 1; n <= kPortCount; ++n) {
        o.device[n] = rows_[n].device->currentText().trimmed().toStdString();
    }
    o.baudRate = speed_->currentData().toInt();
    return o;
}

void OptionsDialog::fillDevices(int portNo) {
    QComboBox* box = rows_[portNo].device;
    const QString typed = box->currentText();
    const QSignalBlocker block(box);
    box->clear();
    for (const SystemPort& p : known_) {
        box->addItem(Q(p.preferredName()));
        box->setItemData(box->count() - 1, Q(PortDetails(p)), Qt::ToolTipRole);
    }
    box->setEditText(typed);  // what the operator typed stays
}

void OptionsDialog::refreshPorts() {
    std::vector<SystemPort> now = catalog_.ports();
    auto names = [](const std::vector<SystemPort>& v) {
        std::vector<std::string> out;
        for (const SystemPort& p : v) out.push_back(PortDetails(p) + "|" + p.preferredName());
        return out;
    };
    if (names(now) == names(known_)) return;
    known_ = std::move(now);
    for (int n = 1; n <= kPortCount; ++n) {
        fillDevices(n);
        showDetails(n);
    }
}

void OptionsDialog::showDetails(int portNo) {
    const std::string text = rows_[portNo].device->currentText().trimmed().toStdString();
    QString details;
    for (const SystemPort& p : known_) {
        if (text == p.preferredName() || text == p.device || SameDevice(text, p.device)) {
            details = Q(PortDetails(p));
            if (details == Q(text)) details = QStringLiteral("A serial port of this computer.");
            break;
        }
    }
    if (details.isEmpty()) {
        if (text.empty()) {
            details = QStringLiteral("Empty: the default device of this number.");
        } else if (QFileInfo::exists(Q(text))) {
            details = QStringLiteral("Present, not listed as a serial port (a pseudo-terminal?).");
        } else {
            details = QStringLiteral("Not present now.");
        }
    }
    rows_[portNo].details->setText(details);
    rows_[portNo].device->setToolTip(details);
}

void OptionsDialog::showResult(int portNo, const QString& text, const QColor& color) {
    QLabel* l = rows_[portNo].result;
    SetColor(l, color);
    l->setText(text);
    l->setVisible(!text.isEmpty());
    rows_[portNo].details->setVisible(text.isEmpty());
    // A longer reason takes more lines: once the layout has taken the new
    // text in, the dialog grows to the height its wrapped labels need.
    QMetaObject::invokeMethod(
        this,
        [this] {
            QLayout* all = layout();
            const int needed = all->hasHeightForWidth() ? all->totalHeightForWidth(width())
                                                        : all->totalMinimumSize().height();
            if (height() < needed) resize(width(), needed);
        },
        Qt::QueuedConnection);
}

void OptionsDialog::runTest(int portNo) {
    Row& r = rows_[portNo];
    const std::string device = r.device->currentText().trimmed().toStdString();
    if (device.empty()) {
        showResult(portNo, QStringLiteral("Type or pick a device first."), kFailed);
        return;
    }
    // Disabling the focused button moves the focus on; it comes back after.
    const bool hadFocus = r.test->hasFocus();
    r.test->setEnabled(false);
    showResult(portNo, QStringLiteral("Testing..."), kQuiet);
    r.result->repaint();  // the test holds the window for its reply wait
    QPointer<OptionsDialog> self(this);
    tester_(device, speed_->currentData().toInt(),
            [self, portNo, hadFocus](const PortTestReport& report) {
                if (!self) return;
                const bool ok = report.outcome == PortTestReport::Outcome::Answered;
                self->showResult(portNo, Q(report.text), ok ? kAnswered : kFailed);
                QPushButton* test = self->rows_[portNo].test;
                test->setEnabled(true);
                if (hadFocus) test->setFocus();
            });
}

}  // namespace fenwyd::ui
