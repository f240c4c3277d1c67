#include "ui/dialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include "instrument/instrument.h"
#include "ui/artwork.h"
#include "ui/text.h"
#include "ui/twips.h"

namespace fenwyd::ui {

namespace {
constexpr int kSplashExposeMs = 750;

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

void QtDialogs::message(const std::string& text, MsgIcon icon) {
    QMessageBox box(ToQt(icon), QString::fromLatin1(kAppTitle), Qs(text), QMessageBox::Ok, owner_);
    box.setTextFormat(Qt::PlainText);
    box.exec();
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
    QMessageBox box(ToQt(icon), QString::fromLatin1(kAppTitle), Qs(text),
                    QMessageBox::Yes | QMessageBox::No, owner_);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
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
    return dlg.exec() == QDialog::Accepted ? Local8(dlg.textValue()) : std::string();
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
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
    chosen = ToLocal(dlg.selectedFiles().constFirst());
    return true;
}

void QtDialogs::portPicker(int16_t& commPortNo) {
    PortPicker picker(owner_, commPortNo, port_);
    picker.exec();
}

void QtDialogs::showSplash() {
    auto* s = new Splash;
    s->setAttribute(Qt::WA_DeleteOnClose);
    splash_ = s;
    s->show();
    s->raise();
    // The start-up pause runs no events, so the splash must be on the screen
    // before it starts. Under a window manager mapping takes a round trip to
    // it; the window is exposed only then, and painted after that.
    QElapsedTimer waited;
    waited.start();
    while (!(s->windowHandle() != nullptr && s->windowHandle()->isExposed()) &&
           waited.elapsed() < kSplashExposeMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    s->repaint();
    QApplication::processEvents();  // hands the painted picture to the display
}

void QtDialogs::closeSplash() {
    if (splash_) splash_->close();
}

void QtDialogs::about(const std::string& caption, const std::string& model) {
    AboutBox box(owner_, Qs(caption), Qs(model));
    box.exec();
}

// ------------------------------------------------------------- frmPort

PortPicker::PortPicker(QWidget* parent, int16_t& commPortNo, const SerialPort& port)
    : QDialog(parent), commPortNo_(commPortNo) {
    setWindowTitle(QStringLiteral("Select a Comm Port"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(Tw(this, 3780 + 1800), TwY(this, 2565));

    auto* Frame3 = new QGroupBox(QStringLiteral("Port Number"), this);
    Frame3->setGeometry(TwRect(this, 120, 120, 3420, 2300));
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < kPortCount; ++i) {
        auto* opt = new QRadioButton(QStringLiteral("Comm%1").arg(i + 1), Frame3);
        opt->setGeometry(TwRect(this, 240, 300 + i * 380, 1100, 330));
        group->addButton(opt, i + 1);
        // Which device each number stands for, so "Comm2" means something on
        // any system.
        auto* device = PlainLabel(Frame3, QFile::decodeName(QByteArray::fromStdString(
                                              port.deviceName(static_cast<int16_t>(i + 1)))));
        device->setGeometry(TwRect(this, 1380, 300 + i * 380, 1980, 330));
        device->setStyleSheet(QStringLiteral("color: #555;"));
        device->setToolTip(device->text());
        if (i == 1) opt->setChecked(true);  // opens with Comm2 selected
    }
    connect(group, &QButtonGroup::idClicked, this,
            [this](int id) { commPortNo_ = static_cast<int16_t>(id); });

    auto* Command1 = new QPushButton(QStringLiteral("Continue"), this);
    Command1->setGeometry(TwRect(this, 3700, 200, 1500, 420));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);

    CentreOnScreen(this);  // Form_Load
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
