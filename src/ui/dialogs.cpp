#include "ui/dialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QThread>
#include <QWindow>

#include "instrument/instrument.h"
#include "instrument/port_options.h"
#include "ui/artwork.h"
#include "ui/text.h"
#include "ui/twips.h"

Q_LOGGING_CATEGORY(lcDialogs, "fenwyd.dialogs", QtWarningMsg)

namespace fenwyd::ui {

namespace {
constexpr int kSplashExposeMs = 750;
constexpr int kShownSystemPorts = 6;  // more are summed up in one line

std::string ToLocal(const QString& s) { return QFile::encodeName(s).toStdString(); }
QString FromLocal(const std::string& s) { return QFile::decodeName(QByteArray::fromStdString(s)); }

QMessageBox::Icon ToQt(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information: return QMessageBox::Information;
        case MsgIcon::Exclamation: return QMessageBox::Warning;
        case MsgIcon::Question: return QMessageBox::Question;
        case MsgIcon::Critical: return QMessageBox::Critical;
        case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QLabel* PlainLabel(QWidget* parent, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QString FirstLine(const std::string& text) { return Qs(text).section(QLatin1Char('\n'), 0, 0); }

// Centred on its window once its size is known (Qt would centre it on the
// main window even before that is on the screen, which puts it in the
// screen's corner).
class CentredBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* e) override {
        QMessageBox::showEvent(e);  // sizes the box
        if (!e->spontaneous()) CentreOnParent(this);
    }
};
}  // namespace

QString VersionText() {
    return QStringLiteral("%1.%2.%3")
        .arg(FENWYD_VERSION_MAJOR)
        .arg(FENWYD_VERSION_MINOR)
        .arg(FENWYD_VERSION_PATCH);
}

void CentreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect g = screen->availableGeometry();
    window->move(g.x() + (g.width() - window->width()) / 2,
                 g.y() + (g.height() - window->height()) / 2);
}

void CentreOnParent(QWidget* dialog) {
    const QWidget* parent =
        dialog->parentWidget() != nullptr ? dialog->parentWidget()->window() : nullptr;
    if (parent == nullptr || !parent->isVisible() || parent->isMinimized()) {
        CentreOnScreen(dialog);
        return;
    }
    QRect box(QPoint(), dialog->frameGeometry().size());
    box.moveCenter(parent->frameGeometry().center());
    if (const QScreen* screen = parent->screen()) {
        const QRect g = screen->availableGeometry();
        box.moveLeft(std::clamp(box.left(), g.left(), std::max(g.left(), g.right() - box.width())));
        box.moveTop(std::clamp(box.top(), g.top(), std::max(g.top(), g.bottom() - box.height())));
    }
    dialog->move(box.topLeft());
}

void CloseModalDialogs() {
    for (int guard = 0; guard < 64; ++guard) {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr) return;
        // Hidden, it leaves the modal stack; its exec() is told to return.
        if (auto* dialog = qobject_cast<QDialog*>(w)) {
            dialog->reject();
        } else {
            w->close();
        }
        if (QApplication::activeModalWidget() == w) w->hide();
        if (QApplication::activeModalWidget() == w) return;  // refuses: nothing more to do
    }
}

QPoint OnAScreen(const QRect& frame) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* s : screens) {
        // Enough of it on some screen to be seen and dragged by its title.
        if (s->availableGeometry().intersected(frame).width() >= 100) return frame.topLeft();
    }
    const QScreen* nearest = QGuiApplication::primaryScreen();
    qint64 best = -1;
    for (QScreen* s : screens) {
        const QPoint d = s->availableGeometry().center() - frame.center();
        const qint64 dist = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
        if (best < 0 || dist < best) {
            best = dist;
            nearest = s;
        }
    }
    if (nearest == nullptr) return frame.topLeft();
    const QRect g = nearest->availableGeometry();
    return QPoint(std::clamp(frame.left(), g.left(), std::max(g.left(), g.right() - frame.width())),
                  std::clamp(frame.top(), g.top(), std::max(g.top(), g.bottom() - frame.height())));
}

void QtDialogs::setPortHelp(PortCatalog* catalog, OptionsRunner options) {
    catalog_ = catalog;
    options_ = std::move(options);
}

int QtDialogs::run(QDialog& dialog, const QString& what) {
    if (ending_) return QDialog::Rejected;
    // Traced before it runs: a signal that comes from now on finds it open
    // (the event loop that delivers it is the dialog's).
    qCDebug(lcDialogs, "open: %s", qUtf8Printable(what));
    return dialog.exec();
}

void QtDialogs::endProgram() {
    ending_ = true;
    if (splash_) splash_->close();
    CloseModalDialogs();
}

void QtDialogs::message(const std::string& text, MsgIcon icon) {
    CentredBox box(ToQt(icon), QString::fromLatin1(kAppTitle), Qs(text), QMessageBox::Ok, owner_);
    box.setTextFormat(Qt::PlainText);
    run(box, QStringLiteral("message: ") + FirstLine(text));
}

void QtDialogs::notice(const std::string& text, MsgIcon icon) {
    auto* box = new QMessageBox(ToQt(icon), QString::fromLatin1(kAppTitle), Qs(text),
                                QMessageBox::Ok, owner_);
    box->setObjectName(QStringLiteral("notice"));
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

bool QtDialogs::askYesNo(const std::string& text, MsgIcon icon) {
    CentredBox box(ToQt(icon), QString::fromLatin1(kAppTitle), Qs(text),
                   QMessageBox::Yes | QMessageBox::No, owner_);
    box.setTextFormat(Qt::PlainText);
    const int answer = run(box, QStringLiteral("question: ") + FirstLine(text));
    return answer == QMessageBox::Yes && !ending_;
}

QString FitPrompt(const QString& prompt, const QFontMetrics& fm, int maxWidth) {
    // A question from the notes file can be any length; the box and its
    // buttons stay on the screen.
    constexpr int kMaxLines = 8;
    constexpr int kMaxChars = 4000;
    QStringList lines = prompt.left(kMaxChars).split(QLatin1Char('\n'));
    const bool moreLines = lines.size() > kMaxLines;
    if (moreLines) lines = lines.mid(0, kMaxLines);
    for (QString& line : lines) line = fm.elidedText(line, Qt::ElideRight, maxWidth);
    if (moreLines) lines.back() += QStringLiteral(" ...");
    return lines.join(QLatin1Char('\n'));
}

std::string QtDialogs::inputBox(const std::string& prompt, const std::string& title,
                                const std::string& defaultText) {
    QInputDialog dlg(owner_);
    dlg.setWindowTitle(Qs(title));
    dlg.setInputMode(QInputDialog::TextInput);
    const QScreen* screen = owner_ != nullptr && owner_->screen() != nullptr
                                ? owner_->screen()
                                : QGuiApplication::primaryScreen();
    const int maxWidth = screen != nullptr ? screen->availableGeometry().width() * 2 / 3 : 800;
    dlg.setLabelText(FitPrompt(Qs(prompt), dlg.fontMetrics(), maxWidth));
    dlg.setTextValue(Qs(defaultText));
    const int answer = run(dlg, QStringLiteral("input: ") + Qs(title));
    return answer == QDialog::Accepted && !ending_ ? Local8(dlg.textValue()) : std::string();
}

bool QtDialogs::saveFile(const SaveDialogRequest& request, std::string& chosen) {
    QFileDialog dlg(owner_, Qs(request.title), FromLocal(request.initDir));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(Qs(request.defaultExt));
    // "Name (*.x)|*.x|..." pairs: the names carry their patterns.
    const QStringList parts = Qs(request.filter).split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) filters << parts[i];
    dlg.setNameFilters(filters);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    if (!request.fileName.empty()) dlg.selectFile(FromLocal(request.fileName));
    if (run(dlg, QStringLiteral("save: ") + Qs(request.title)) != QDialog::Accepted || ending_ ||
        dlg.selectedFiles().isEmpty()) {
        return false;
    }
    chosen = ToLocal(dlg.selectedFiles().constFirst());
    return true;
}

void QtDialogs::portPicker(int16_t& commPortNo) {
    PortPicker picker(owner_, commPortNo, port_, catalog_, options_);
    run(picker, picker.windowTitle());
}

void QtDialogs::showSplash() {
    if (ending_) return;
    auto* s = new Splash;
    s->setAttribute(Qt::WA_DeleteOnClose);
    splash_ = s;
    s->show();
    s->raise();
    // The start-up pause runs no events, so the splash must be on the screen
    // before it starts. Under a window manager mapping takes a round trip to
    // it; the window is exposed only then, and painted after that. The
    // program may be told to end meanwhile, which closes it.
    QElapsedTimer waited;
    waited.start();
    while (splash_ && !ending_ &&
           !(s->windowHandle() != nullptr && s->windowHandle()->isExposed()) &&
           waited.elapsed() < kSplashExposeMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    if (!splash_ || ending_) return;
    s->repaint();
    QApplication::processEvents();  // hands the painted picture to the display
    qCDebug(lcDialogs, "open: splash");
}

void QtDialogs::closeSplash() {
    if (splash_) splash_->close();
}

void QtDialogs::about(const std::string& caption, const std::string& model) {
    AboutBox box(owner_, Qs(caption), Qs(model));
    run(box, Qs(caption));
}

// ------------------------------------------------------------- frmPort

PortPicker::PortPicker(QWidget* parent, int16_t& commPortNo, const SerialPort& port,
                       PortCatalog* catalog, QtDialogs::OptionsRunner options)
    : QDialog(parent),
      commPortNo_(commPortNo),
      port_(port),
      catalog_(catalog),
      options_(std::move(options)) {
    setWindowTitle(QStringLiteral("Select a Comm Port"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // The designed frame, widened for the device beside each number.
    auto* Frame3 = new QGroupBox(QStringLiteral("Port Number"), this);
    Frame3->setGeometry(TwRect(this, 120, 120, 5300, 2300));
    auto* group = new QButtonGroup(this);
    for (int i = 1; i <= kPortCount; ++i) {
        Row& r = rows_[i];
        r.option = new QRadioButton(QStringLiteral("Comm%1").arg(i), Frame3);
        r.option->setGeometry(TwRect(this, 240, 300 + (i - 1) * 380, 1100, 330));
        group->addButton(r.option, i);
        // Which device each number stands for, so "Comm2" means something on
        // any system.
        r.device = PlainLabel(Frame3, QString());
        r.device->setGeometry(TwRect(this, 1380, 300 + (i - 1) * 380, 3860, 330));
        if (i == 2) r.option->setChecked(true);  // opens with Comm2 selected
    }
    connect(group, &QButtonGroup::idClicked, this,
            [this](int id) { commPortNo_ = static_cast<int16_t>(id); });

    auto* Command1 = new QPushButton(QStringLiteral("Continue"), this);
    Command1->setGeometry(TwRect(this, 5580, 200, 1500, 420));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);

    if (options_) {
        optionsButton_ = new QPushButton(QStringLiteral("&Options..."), this);
        optionsButton_->setGeometry(TwRect(this, 5580, 740, 1500, 420));
        optionsButton_->setAutoDefault(false);
        optionsButton_->setToolTip(
            QStringLiteral("Set the device of each port number, and test it"));
        connect(optionsButton_, &QPushButton::clicked, this, [this] {
            if (options_(this, commPortNo_)) refresh();
        });
    }
    if (catalog_ != nullptr) {
        systemFrame_ = new QGroupBox(QStringLiteral("Serial ports on this system"), this);
        systemGrid_ = new QGridLayout(systemFrame_);
        systemGrid_->setColumnStretch(0, 1);
        systemGrid_->setHorizontalSpacing(Tw(this, 180));
        systemGrid_->setVerticalSpacing(2);
    }
    refresh();
    CentreOnScreen(this);  // Form_Load
}

void PortPicker::refresh() {
    const std::vector<SystemPort> ports =
        catalog_ != nullptr ? catalog_->ports() : std::vector<SystemPort>();
    auto reported = [&ports](const std::string& device) -> const SystemPort* {
        if (device.empty()) return nullptr;
        for (const SystemPort& p : ports) {
            if (SameDevice(device, p.device) ||
                (!p.stableName.empty() && SameDevice(device, p.stableName))) {
                return &p;
            }
        }
        return nullptr;
    };

    const QColor quiet(85, 85, 85);
    for (int i = 1; i <= kPortCount; ++i) {
        Row& r = rows_[i];
        const std::string device = port_.deviceName(static_cast<int16_t>(i));
        QString text = QFile::decodeName(QByteArray::fromStdString(device));
        QString tip = text;
        QColor color = palette().color(QPalette::WindowText);
        if (const SystemPort* p = reported(device)) {
            // What it is, as the driver says.
            if (!p->description.empty()) text += QStringLiteral("  ") + Qs(p->description);
            tip = Qs(PortDetails(*p));
        } else if (catalog_ != nullptr && device.rfind('/', 0) == 0 &&
                   !QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(device)))) {
            text += QStringLiteral("  (not present)");
            color = quiet;
        }
        QPalette pal = r.device->palette();
        pal.setColor(QPalette::WindowText, color);
        r.device->setPalette(pal);
        // A long name (/dev/serial/by-id/...) is cut in the middle where it
        // shows; a screen reader reads it whole.
        r.device->setText(
            r.device->fontMetrics().elidedText(text, Qt::ElideMiddle, r.device->width()));
        r.device->setAccessibleName(text);
        r.device->setToolTip(tip);
        // Read out with the number: "Comm2, /dev/ttyUSB0 ..."
        r.option->setAccessibleDescription(text);
    }

    int height = TwY(this, 2565);
    if (systemFrame_ != nullptr) {
        while (QLayoutItem* item = systemGrid_->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        const int width = Tw(this, 6960);
        const int mapWidth = fontMetrics().horizontalAdvance(QStringLiteral("not mapped")) + 4;
        const int lineWidth = width - mapWidth - Tw(this, 600);
        int row = 0;
        for (const SystemPort& p : ports) {
            if (row == kShownSystemPorts) {
                systemGrid_->addWidget(
                    PlainLabel(systemFrame_, QStringLiteral("and %1 more: see Options")
                                                 .arg(static_cast<int>(ports.size()) - row)),
                    row, 0, 1, 2);
                ++row;
                break;
            }
            QStringList numbers;
            for (int i = 1; i <= kPortCount; ++i) {
                if (reported(port_.deviceName(static_cast<int16_t>(i))) == &p) {
                    numbers << QStringLiteral("Comm%1").arg(i);
                }
            }
            const QString details = Qs(PortDetails(p));
            auto* line = PlainLabel(systemFrame_, QString());
            line->setText(line->fontMetrics().elidedText(details, Qt::ElideMiddle, lineWidth));
            line->setAccessibleName(details);
            line->setToolTip(details);
            auto* mapped = PlainLabel(systemFrame_, numbers.isEmpty() ? QStringLiteral("not mapped")
                                                                      : numbers.join(", "));
            mapped->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (numbers.isEmpty()) {
                QPalette pal = mapped->palette();
                pal.setColor(QPalette::WindowText, quiet);
                mapped->setPalette(pal);
            }
            line->setAccessibleDescription(numbers.isEmpty() ? QStringLiteral("Not mapped")
                                                             : numbers.join(", "));
            systemGrid_->addWidget(line, row, 0);
            systemGrid_->addWidget(mapped, row, 1);
            ++row;
        }
        auto* hint = PlainLabel(
            systemFrame_,
            ports.empty()
                ? QStringLiteral("None reported. Is the probe's adapter plugged in? Options also "
                                 "takes the path of any other device.")
                : QStringLiteral("Options sets which device each port number stands for."));
        hint->setWordWrap(true);
        if (row > 0) hint->setContentsMargins(0, Tw(this, 90), 0, 0);
        QPalette pal = hint->palette();
        pal.setColor(QPalette::WindowText, quiet);
        hint->setPalette(pal);
        systemGrid_->addWidget(hint, row, 0, 1, 2);
        // Made after the picker may have been shown (Options): shown by hand.
        for (QLabel* l : systemFrame_->findChildren<QLabel*>()) l->show();
        systemGrid_->activate();
        const int frameHeight = systemFrame_->heightForWidth(width) > 0
                                    ? systemFrame_->heightForWidth(width)
                                    : systemFrame_->sizeHint().height();
        systemFrame_->setGeometry(Tw(this, 120), TwY(this, 2540), width, frameHeight);
        height = systemFrame_->geometry().bottom() + 1 + TwY(this, 120);
    }
    setFixedSize(Tw(this, 7200), height);
}

QStringList PortPicker::systemPortLines() const {
    QStringList lines;
    if (systemGrid_ == nullptr) return lines;
    for (int row = 0; row < systemGrid_->rowCount(); ++row) {
        QStringList cells;
        const QLayoutItem* last = nullptr;
        for (int col = 0; col < 2; ++col) {
            QLayoutItem* item = systemGrid_->itemAtPosition(row, col);
            if (item == nullptr || item == last) continue;  // a line across both
            last = item;
            if (auto* l = qobject_cast<QLabel*>(item->widget())) {
                cells << (l->toolTip().isEmpty() ? l->text() : l->toolTip());
            }
        }
        if (!cells.isEmpty()) lines << cells.join(QStringLiteral(" | "));
    }
    return lines;
}

// ------------------------------------------------------------ frmAbout

AboutBox::AboutBox(QWidget* parent, const QString& caption, const QString& model)
    : QDialog(parent) {
    setWindowTitle(caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(Tw(this, 5730), TwY(this, 2800));

    auto* Image1 = new QLabel(this);
    Image1->setPixmap(ProbeArtwork(Tw(this, 720), Tw(this, 720)));
    Image1->setGeometry(TwRect(this, 240, 240, 720, 720));
    Image1->setAccessibleName(QStringLiteral("Probe picture"));

    lblTitle = PlainLabel(this, QStringLiteral("Fenwyd   8200"));
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPointSizeF(16);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblTitle->setGeometry(TwRect(this, 1200, 200, 3000, 480));
    auto* Label5 = PlainLabel(this, QStringLiteral("TM"));
    QFont small(QStringLiteral("Arial"));
    small.setPointSizeF(6);
    Label5->setFont(small);
    Label5->setGeometry(TwRect(this, 4000, 200, 400, 200));

    lblVersion = PlainLabel(this, QStringLiteral("Version ") + VersionText());
    lblVersion->setGeometry(TwRect(this, 1200, 700, 3000, 255));

    auto* Frame1 = new QGroupBox(QStringLiteral("Probe Description"), this);
    Frame1->setGeometry(TwRect(this, 1200, 1080, 4290, 800));
    auto* Label4 = PlainLabel(Frame1, QStringLiteral("Model"));
    Label4->setGeometry(TwRect(this, 200, 360, 900, 255));
    LabModel = PlainLabel(Frame1, model);
    LabModel->setGeometry(TwRect(this, 1200, 360, 2900, 255));
    LabModel->setObjectName(QStringLiteral("LabModel"));

    auto* Label6 =
        PlainLabel(this, QStringLiteral("Tollaven EMF Measurements.  All rights reserved."));
    Label6->setFont(small);
    Label6->setGeometry(TwRect(this, 240, 2200, 3800, 255));

    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setGeometry(TwRect(this, 4250, 2100, 1260, 375));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);  // Escape rejects, also closing
}

// ----------------------------------------------------------- frmSplash

namespace {
class Artwork : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, QColor(8, 24, 40));
        g.setColorAt(1, QColor(0, 70, 80));
        p.fillRect(rect(), g);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0, 190, 190, 60), 1.2));
        for (int i = 1; i <= 7; ++i) {
            const double r = i * height() / 5.0;
            p.drawEllipse(QPointF(width() * 0.85, height() * 0.2), r, r * 0.8);
        }
        const int art = height() / 2;
        p.drawPixmap(width() - art - Tw(this, 60), height() - art - Tw(this, 420),
                     ProbeArtwork(art, art));
    }
};

QLabel* ShadowLabel(QWidget* parent, const QString& text, const QFont& font, const QColor& color,
                    const QRect& geometry) {
    auto* l = PlainLabel(parent, text);
    l->setFont(font);
    l->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(color.name()));
    l->setGeometry(geometry);
    return l;
}
}  // namespace

Splash::Splash() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setFixedSize(Tw(this, 4575), TwY(this, 2550));
    auto* Picture1 = new Artwork(this);
    Picture1->setGeometry(rect());
    Picture1->setAccessibleName(QStringLiteral("Fenwyd 8200 artwork"));

    QFont maker(QStringLiteral("Arial"));
    maker.setPointSizeF(11);
    maker.setBold(true);
    const QColor teal(0, 128, 128), silver(192, 192, 192);
    ShadowLabel(this, QStringLiteral("Tollaven EMF Measurements"), maker, teal,
                TwRect(this, 255, 255, 4200, 330));  // LabTollavenBack
    ShadowLabel(this, QStringLiteral("Tollaven EMF Measurements"), maker, Qt::white,
                TwRect(this, 240, 240, 4200, 330));  // LabTollavenFront

    QFont product(QStringLiteral("Arial"));
    product.setPointSizeF(22);
    product.setBold(true);
    ShadowLabel(this, QStringLiteral("Fenwyd  8200"), product, silver,
                TwRect(this, 270, 750, 3000, 600));  // LabFenwydBack
    ShadowLabel(this, QStringLiteral("Fenwyd  8200"), product, QColor(0, 200, 200),
                TwRect(this, 240, 720, 3000, 600));  // LabFenwydFront
    QFont small(QStringLiteral("Arial"));
    small.setPointSizeF(6);
    ShadowLabel(this, QStringLiteral("TM"), small, Qt::white, TwRect(this, 2990, 720, 300, 200));

    QFont promo(QStringLiteral("Arial"));
    promo.setPointSizeF(8);
    promo.setItalic(true);
    ShadowLabel(this, QStringLiteral("Field strength: read live, logged, saved."), promo,
                QColor(210, 230, 230), TwRect(this, 240, 1500, 3300, 255));

    lblVersion = ShadowLabel(this, QStringLiteral("Rev ") + VersionText(), promo, Qt::white,
                             TwRect(this, 2700, 2160, 1700, 255));
    lblVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    CentreOnScreen(this);
}

}  // namespace fenwyd::ui
