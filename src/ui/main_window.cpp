#include "ui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFont>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "ui/artwork.h"
#include "ui/text.h"
#include "ui/twips.h"
#include "ui/widgets.h"

namespace fenwyd::ui {

namespace {
constexpr int kDesignWidth = 4725;
constexpr int kDesignHeight = 3015;
constexpr int kStatusBarHeight = 345;

QColor Q(const Rgb& c) { return QColor(c.r, c.g, c.b); }

void SetForeColor(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    if (pal.color(QPalette::WindowText) == c) return;
    pal.setColor(QPalette::WindowText, c);
    w->setPalette(pal);
}
}  // namespace

void InstallFontSubstitutes() {
    const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                              QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans")};
    QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
}

MainWindow::MainWindow(SerialPort& port, Clock& clock, SettingsStore& settings,
                       const std::string& programFolder, Dialogs* dialogs,
                       const std::string& saveFolder) {
    if (dialogs == nullptr) {
        ownDialogs_ = std::make_unique<QtDialogs>(this, port);
        dialogs = ownDialogs_.get();
    }
    dialogs_ = dialogs;
    instrument_ = std::make_unique<Instrument>(
        Platform{port, clock, *dialogs, settings, *this, programFolder, saveFolder});
    InstallAccessibleClickLabels();

    setWindowTitle(QString::fromLatin1(kAppTitle));
    setWindowIcon(ProgramIcon());
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    buildPanel(client);
    buildToolbar(client);
    buildMenus();
    buildStatusBar();
    describeForScreenReaders();
    layoutToolbar();
    resize(std::max(Tw(this, kDesignWidth), toolbarRowWidth_),
           menuBar()->sizeHint().height() + TwY(this, kDesignHeight));
    render();
}

MainWindow::~MainWindow() = default;

void MainWindow::setPortHelp(PortCatalog* catalog, QtDialogs::OptionsRunner options) {
    if (ownDialogs_) ownDialogs_->setPortHelp(catalog, std::move(options));
}

void MainWindow::showJournalState(const QString& text, const QString& toolTip) {
    if (journalState_ == nullptr) return;
    journalState_->setText(text);
    journalState_->setToolTip(toolTip);
    journalState_->setVisible(!text.isEmpty());
}

QLabel* MainWindow::addStatusPanel(const QString& name, const QString& description) {
    auto* panel = new QLabel(statusBar());
    panel->setObjectName(name);
    // As the other panels: the text is what is read out, the description
    // says what it is.
    panel->setAccessibleDescription(description);
    panel->setFont(sbPanels_[1]->font());
    panel->setTextFormat(Qt::PlainText);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setContentsMargins(3, 0, 3, 0);
    panel->hide();
    statusBar()->addPermanentWidget(panel);
    extraPanels_.push_back(panel);
    return panel;
}

void MainWindow::buildPanel(QWidget* client) {
    for (const FaceElement& e : Face()) {
        QWidget* w = buildElement(client, e);
        w->setObjectName(QString::fromLatin1(e.name));
        elements_[QString::fromLatin1(e.name)] = w;
    }
}

QWidget* MainWindow::buildElement(QWidget* client, const FaceElement& e) {
    const ViewState& v = instrument_->view;
    const QRect place = TwRect(this, e.left, e.top, e.width, e.height);
    QFont font(QString::fromLatin1(e.family != nullptr ? e.family : "Arial"));
    font.setPointSizeF(e.points > 0 ? e.points : 8.25);
    font.setBold(e.bold);
    const QColor colour = e.colourRole == Colour::Button ? palette().color(QPalette::Button)
                          : e.colourRole == Colour::HighlightedText
                              ? palette().color(QPalette::HighlightedText)
                              : Q(e.colour);
    switch (e.kind) {
        case FaceKind::Background: {
            auto* fill = new ShapeWidget(client, colour, false);
            fill->setGeometry(place);
            backgrounds_.push_back(fill);
            return fill;
        }
        case FaceKind::Shape: {
            auto* shape = new ShapeWidget(client, colour, e.border);
            shape->setGeometry(place);
            if (e.shape != nullptr) shapes_.emplace_back(&(v.*e.shape), shape);
            return shape;
        }
        case FaceKind::Label: {
            auto* label = new ClickLabel(client);
            label->setGeometry(place);
            // Of a fixed size, a label whose text changes at every reading
            // asks nobody to lay anything out again.
            label->setFixedSize(place.size());
            label->setFont(font);
            label->setAlignment(e.align);
            if (e.caption != nullptr) {
                label->setText(QString::fromLatin1(e.caption));
                SetForeColor(label, colour);
            }
            if (e.shown != nullptr) {
                BoundLabel bound;
                bound.state = &(v.*e.shown);
                bound.label = label;
                labels_.push_back(bound);
            }
            if (e.toolTip != nullptr) label->setToolTip(QString::fromLatin1(e.toolTip));
            if (e.click != FaceAction::None) {
                label->onClick = [this, action = e.click] { faceAction(action); };
                label->setShortcut(QKeySequence(e.key));
            }
            return label;
        }
        case FaceKind::Progress:
            ProgressBar1_ = new QProgressBar(client);
            ProgressBar1_->setGeometry(place);
            ProgressBar1_->setTextVisible(false);
            return ProgressBar1_;
        case FaceKind::RawReply:
            Label1_ = new QLabel(client);
            Label1_->setTextFormat(Qt::PlainText);
            Label1_->setGeometry(place);
            Label1_->setFixedSize(place.size());  // as the labels above
            Label1_->setFont(font);
            Label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            Label1_->setWordWrap(true);
            return Label1_;
        case FaceKind::ReplyList:
            List1_ = new QListWidget(client);
            List1_->setGeometry(place);
            List1_->setFont(font);
            List1_->setUniformItemSizes(true);
            return List1_;
        case FaceKind::Command: {
            // The edit field, with the list always open under it.
            const int editHeight = TwY(this, 300);
            Combo1Text_ = new QLineEdit(QStringLiteral("RD"), client);
            Combo1Text_->setGeometry(place.x(), place.y(), place.width(), editHeight);
            Combo1Text_->setFont(font);
            Combo1List_ = new QListWidget(client);
            Combo1List_->setGeometry(place.x(), place.y() + editHeight, place.width(),
                                     place.height() - editHeight);
            Combo1List_->setFont(font);
            Combo1List_->setAccessibleName(QStringLiteral("Probe commands"));
            for (const char* c :
                 {"BT", "CL", "DD", "EH", "KR", "LG", "MX", "NS", "NX", "PR", "RD", "SC", "SP"}) {
                Combo1List_->addItem(QString::fromLatin1(c));
            }
            connect(Combo1List_, &QListWidget::currentTextChanged, Combo1Text_,
                    &QLineEdit::setText);
            return Combo1Text_;
        }
        case FaceKind::SendButton: {
            auto* send = new QPushButton(QStringLiteral("Send Cmnd"), client);
            send->setGeometry(place);
            send->setFont(font);
            connect(send, &QPushButton::clicked, this,
                    [this] { instrument_->cmdSendCmnd_Click(Local8(Combo1Text_->text())); });
            return send;
        }
        case FaceKind::FocusButton:
            Command1_ = new QPushButton(client);
            Command1_->setGeometry(place);
            return Command1_;
    }
    return nullptr;
}

void MainWindow::faceAction(FaceAction action) {
    Instrument& in = *instrument_;
    switch (action) {
        case FaceAction::None: break;
        case FaceAction::ToggleLog: in.AfterReply([&in] { in.ToggleRecordOn(); }); break;
        case FaceAction::EraseCount: in.AfterReply([&in] { in.LabRecordCntLab_Click(); }); break;
        case FaceAction::StepRange: in.LabRange_Click(); break;
        case FaceAction::StepUnits: in.LabUnits_Click(); break;
        case FaceAction::ReadBattery: in.LabBattery_Click(); break;
    }
    render();
}

void MainWindow::buildToolbar(QWidget* client) {
    tbToolBar_ = new QToolBar(client);
    tbToolBar_->setGeometry(TwRect(this, 0, 0, kDesignWidth, 420));
    tbToolBar_->setIconSize(QSize(Tw(this, 270), Tw(this, 270)));
    tbToolBar_->setMovable(false);
    tbToolBar_->setAutoFillBackground(true);  // over Command1, which only takes the focus
    elements_[QStringLiteral("tbToolBar")] = tbToolBar_;
    const char* const tips[kToolButtonCount + 1] = {"",
                                                    "Open",
                                                    "Save",
                                                    "",
                                                    "Options",
                                                    "",
                                                    "Scatter Graph Live",
                                                    "Bar Graph",
                                                    "",
                                                    "Zoom In",
                                                    "Zoom Out",
                                                    "",
                                                    "Log (On / Off)",
                                                    "Log Pause"};
    const ViewState& v = instrument_->view;
    for (int i = 1; i <= kToolButtonCount; ++i) {
        const QString key = QString::fromLatin1(v.tbButtons[i].key);
        if (key.isEmpty()) {
            tbButtons_[i] = tbToolBar_->addSeparator();
            continue;
        }
        QAction* a = tbToolBar_->addAction(ToolbarIcon(key), QString::fromLatin1(tips[i]));
        a->setToolTip(QString::fromLatin1(tips[i]));
        a->setObjectName(QStringLiteral("tb") + key);
        a->setCheckable(key == QLatin1String("RecordPause"));
        connect(a, &QAction::triggered, this, [this, key] {
            if (key == QLatin1String("Open")) {
                if (commands_.open) commands_.open();
            } else {
                const std::string k = Local8(key);
                instrument_->AfterReply([this, k] {
                    instrument_->tbToolBar_ButtonClick(k);
                    render();
                });
                if (commands_.graph) commands_.graph(key);
            }
            render();
            if (key == QLatin1String("Properties") && commands_.options) {
                whenIdle([this] { commands_.options(); });
            }
        });
        tbButtons_[i] = a;
        actions_[a->objectName()] = a;
    }

    CmbSampleRate_ = new QComboBox(client);
    CmbSampleRate_->setGeometry(TwRect(this, 3720, 30, 735, 330));
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(8.25);
    CmbSampleRate_->setFont(f);
    CmbSampleRate_->setToolTip(QStringLiteral("Sample rate"));
    connect(CmbSampleRate_, QOverload<int>::of(&QComboBox::activated), this,
            [this](int index) { instrument_->CmbSampleRate_Click(index); });
    elements_[QStringLiteral("CmbSampleRate")] = CmbSampleRate_;
}

QAction* MainWindow::addAction(QMenu* menu, const char* name, const QString& caption,
                               const MenuItemView* state, std::function<void()> onClick,
                               const QKeySequence& shortcut) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) a->setShortcut(shortcut);
    if (state != nullptr) menuStates_.emplace_back(state, a);
    if (onClick) {
        connect(a, &QAction::triggered, this, [this, onClick] {
            onClick();
            render();
        });
    }
    actions_[a->objectName()] = a;
    return a;
}

void MainWindow::buildMenus() {
    Instrument& in = *instrument_;
    const ViewState& v = in.view;
    auto submenu = [this](QMenu* parent, const char* name, const QString& caption,
                          const MenuItemView* state) {
        QMenu* m = parent->addMenu(caption);
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        actions_[QString::fromLatin1(name)] = m->menuAction();
        if (state != nullptr) menuStates_.emplace_back(state, m->menuAction());
        return m;
    };

    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    addAction(mnuFile, "mnuFileSaveAs", QStringLiteral("&Save as..."), &v.mnuFileSaveAs,
              [&in] { in.AfterReply([&in] { in.mnuFileSaveAs_Click(); }); });
    QMenu* mnuExport =
        submenu(mnuFile, "mnuFileExportSurvey", QStringLiteral("&Export Survey"), nullptr);
    for (const auto& [format, caption] :
         {std::pair{"GeoJSON", "&GeoJSON (points and track)..."},
          std::pair{"KML", "&KML (points and track)..."}, std::pair{"CSV", "Points as &CSV..."}}) {
        const QString f = QString::fromLatin1(format);
        addAction(mnuExport, (std::string("mnuFileExport") + format).c_str(),
                  QString::fromLatin1(caption), nullptr, [this, f] {
                      if (commands_.exportSurvey) commands_.exportSurvey(f);
                  });
    }
    addAction(mnuFile, "mnuFileReport", QStringLiteral("&Report..."), &v.mnuFileReport, [this] {
        if (commands_.report) commands_.report();
    });
    mnuFile->addSeparator();
    addAction(mnuFile, "mnuFileExit", QStringLiteral("E&xit"), nullptr, [this] { close(); });

    QMenu* mnuProbe = menuBar()->addMenu(QStringLiteral("&Probe"));
    addAction(
        mnuProbe, "mnuProbeRecord", QStringLiteral("&Log Data"), &v.mnuProbeRecord,
        [&in] { in.AfterReply([&in] { in.ToggleRecordOn(); }); },
        QKeySequence(Qt::CTRL | Qt::Key_L));
    addAction(mnuProbe, "mnuProbeRecordPause", QStringLiteral("L&og Pause"), &v.mnuProbeRecordPause,
              [&in] { in.AfterReply([&in] { in.TogglePause(); }); });
    mnuProbe->addSeparator();
    QAction* mark = addAction(
        mnuProbe, "mnuProbeMarkPoint", QStringLiteral("&Mark Point"), &v.mnuProbeMarkPoint,
        [this] {
            if (commands_.markPoint) commands_.markPoint();
        },
        QKeySequence(Qt::CTRL | Qt::Key_M));
    mark->setIcon(ToolbarIcon(QStringLiteral("MarkPoint")));
    mark->setToolTip(QStringLiteral("Mark Point"));
    addAction(mnuProbe, "mnuProbePoints", QStringLiteral("&Survey Points"), nullptr, [this] {
        if (commands_.showPoints) commands_.showPoints();
    });
    tbToolBar_->addSeparator();
    tbToolBar_->addAction(mark);
    mnuProbe->addSeparator();
    addAction(mnuProbe, "mnuProbeZero", QStringLiteral("&Zero"), &v.mnuProbeZero, nullptr,
              QKeySequence(Qt::CTRL | Qt::Key_Z));
    mnuProbe->addSeparator();
    QMenu* mnuProbeType = submenu(mnuProbe, "mnuProbeType", QStringLiteral("Type"), nullptr);
    addAction(mnuProbeType, "mnuProbeType820x_1", QStringLiteral("QM-8203"), &v.mnuProbeType820x[1],
              [&in] { in.AfterReply([&in] { in.mnuProbeType820x_Click(1); }); });
    addAction(mnuProbeType, "mnuProbeType820x_2", QStringLiteral("QM-8204"), &v.mnuProbeType820x[2],
              [&in] { in.AfterReply([&in] { in.mnuProbeType820x_Click(2); }); });
    QMenu* mnuUnits =
        submenu(mnuProbe, "mnuProbeUnits57xx", QStringLiteral("&Units"), &v.mnuProbeUnits57xx);
    for (int i = 1; i <= 3; ++i) {
        const QByteArray name = "mnuProbeUnitsOld_" + QByteArray::number(i);
        addAction(mnuUnits, name.constData(), QStringLiteral("Unit %1").arg(i), nullptr, nullptr);
    }
    addAction(mnuProbe, "mnuProbeUploadData", QStringLiteral("Upload Data"), &v.mnuProbeUploadData,
              [&in] { in.AfterReply([&in] { in.mnuProbeUploadData_Click(); }); });
    mnuProbe->addSeparator();  // mnuProbeBar1
    addAction(mnuProbe, "mnuProbeClearPeak", QStringLiteral("Clear &Peak"), &v.mnuProbeClearPeak,
              [this] {
                  if (commands_.clearPeak) commands_.clearPeak();
              });
    mnuProbe->addSeparator();
    addAction(
        mnuProbe, "mnuProbeUpdateNow", QStringLiteral("Update &Battery / Temperature"),
        &v.mnuProbeUpdateNow, [&in] { in.mnuProbeUpdateNow_Click(); },
        QKeySequence(Qt::CTRL | Qt::Key_B));
    QMenu* mnuBatt = submenu(mnuProbe, "mnuProbeUpdateProbeBatt",
                             QStringLiteral("Auto Update &Interval"), &v.mnuProbeUpdateProbeBatt);
    addAction(mnuBatt, "mnuProbeUpdateoff", QStringLiteral("&Off"), &v.mnuProbeUpdateoff,
              [&in] { in.mnuProbeUpdateInterval_Click(0); });
    mnuBatt->addSeparator();
    addAction(mnuBatt, "mnuProbeUpdate5", QStringLiteral("&5 Minutes"), &v.mnuProbeUpdate5,
              [&in] { in.mnuProbeUpdateInterval_Click(5); });
    addAction(mnuBatt, "mnuProbeUpdate30", QStringLiteral("&30 Minutes"), &v.mnuProbeUpdate30,
              [&in] { in.mnuProbeUpdateInterval_Click(30); });
    addAction(mnuBatt, "mnuProbeUpdate60", QStringLiteral("&60 Minutes"), &v.mnuProbeUpdate60,
              [&in] { in.mnuProbeUpdateInterval_Click(60); });
    QMenu* mnuTemp = submenu(mnuProbe, "mnuprobeTempUnits", QStringLiteral("&Temperature Units"),
                             &v.mnuprobeTempUnits);
    addAction(mnuTemp, "mnuProbeTempFahr", QStringLiteral("&Fahrenheit"), &v.mnuProbeTempFahr,
              nullptr);
    addAction(mnuTemp, "mnuProbeTempCels", QStringLiteral("&Celsius"), &v.mnuProbeTempCels,
              nullptr);

    // Never available to the operator: drawn greyed out.
    QMenu* mnuRange = menuBar()->addMenu(QStringLiteral("Ran&ge"));
    mnuRange->menuAction()->setObjectName(QStringLiteral("mnuProbeRangeTop"));
    actions_[QStringLiteral("mnuProbeRangeTop")] = mnuRange->menuAction();
    menuStates_.emplace_back(&v.mnuProbeRangeTop, mnuRange->menuAction());
    addAction(mnuRange, "mnuProbeRange_0", QStringLiteral("&Auto Range"), &v.mnuProbeRange[0],
              nullptr, QKeySequence(Qt::CTRL | Qt::Key_A));
    for (int i = 1; i <= 5; ++i) {
        const QByteArray name = "mnuProbeRange_" + QByteArray::number(i);
        addAction(mnuRange, name.constData(), QStringLiteral("Range &%1").arg(i),
                  &v.mnuProbeRange[i], nullptr, QKeySequence(Qt::Key_F1 + (i - 1)));
    }

    QMenu* mnucomm = menuBar()->addMenu(QStringLiteral("&Communications"));
    mnucomm->setToolTipsVisible(true);  // each port's device
    for (int i = 1; i <= kPortCount; ++i) {
        const QByteArray name = "mnucommcomm_" + QByteArray::number(i);
        commActions_[i] = addAction(
            mnucomm, name.constData(), QStringLiteral("Comm &%1").arg(i), &v.mnucommcomm[i],
            [&in, i] { in.WhenIdle([&in, i] { in.mnucommcomm_Click(static_cast<int16_t>(i)); }); });
    }

    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    addAction(mnuHelp, "mnuHelpAbout", QStringLiteral("&About "), nullptr,
              [&in] { in.mnuHelpAbout_Click(); });

    for (auto& [state, action] : menuStates_) action->setCheckable(true);
    // Submenus and plain commands show no check box.
    for (const char* name :
         {"mnuProbeUnits57xx", "mnuProbeUpdateProbeBatt", "mnuprobeTempUnits", "mnuProbeRangeTop",
          "mnuFileSaveAs", "mnuProbeZero", "mnuProbeUploadData", "mnuProbeClearPeak",
          "mnuProbeUpdateNow", "mnuProbeMarkPoint", "mnuFileReport"}) {
        actions_[QString::fromLatin1(name)]->setCheckable(false);
    }
}

void MainWindow::layoutToolbar() {
    // The buttons take what the style makes of them, which is wider than the
    // designed 4725 twips at some scales and in some styles: the toolbar is
    // as wide as its buttons, and the sample-rate list sits right of them
    // (at its designed place when there is room).
    const QSize buttons = tbToolBar_->sizeHint();
    tbToolBar_->setGeometry(0, 0, buttons.width(), std::max(TwY(this, 420), buttons.height()));
    const int gap = Tw(this, 60);
    QRect list = TwRect(this, 3720, 30, 735, 330);
    list.moveLeft(std::max(list.left(), buttons.width() + gap));
    list.moveTop(std::max(0, (tbToolBar_->height() - list.height()) / 2));
    CmbSampleRate_->setGeometry(list);
    toolbarRowWidth_ = list.right() + 1 + gap;
    // The controls kept right of the designed area stay out of sight at the
    // window's first width, however much wider the toolbar row came out.
    const int beyond = std::max(0, toolbarRowWidth_ - Tw(this, kDesignWidth));
    for (QWidget* w :
         {static_cast<QWidget*>(List1_), static_cast<QWidget*>(Combo1Text_),
          static_cast<QWidget*>(Combo1List_), element(QStringLiteral("cmdSendCmnd"))}) {
        w->move(w->x() + beyond, w->y());
    }
}

void MainWindow::buildStatusBar() {
    QStatusBar* sb = statusBar();
    sb->setObjectName(QStringLiteral("sbStatusBar"));
    sb->setSizeGripEnabled(false);
    sb->setFixedHeight(TwY(this, kStatusBarHeight));
    QFont panelFont = sb->font();
    panelFont.setPointSizeF(std::min(panelFont.pointSizeF(), 8.0));
    for (int i = 1; i <= 4; ++i) {
        sbPanels_[i] = new QLabel(sb);
        sbPanels_[i]->setFont(panelFont);
        sbPanels_[i]->setTextFormat(Qt::PlainText);
        sbPanels_[i]->setFrameShape(QFrame::Panel);
        sbPanels_[i]->setFrameShadow(QFrame::Sunken);
        sbPanels_[i]->setContentsMargins(3, 0, 3, 0);
        sb->addPermanentWidget(sbPanels_[i], i == 1 ? 1 : 0);
    }
    sbPanels_[2]->setText(Qs(instrument_->view.StatusBaudText));
    // The fixed panels are as wide as their longest text; the message panel
    // takes the rest.
    const QFontMetrics fm(panelFont);
    const QDateTime sample(QDate(2026, 12, 28), QTime(23, 58, 58));
    sbPanels_[2]->setMinimumWidth(fm.horizontalAdvance(QStringLiteral("19200 Baud")) + 10);
    sbPanels_[3]->setMinimumWidth(
        fm.horizontalAdvance(QLocale::system().toString(sample.date(), QLocale::ShortFormat)) + 10);
    clockWidth_ =
        fm.horizontalAdvance(QLocale::system().toString(sample.time(), QLocale::ShortFormat)) + 10;
    sbPanels_[4]->setMinimumWidth(clockWidth_);
    elements_[QStringLiteral("sbStatusBar1")] = sbPanels_[1];
    elements_[QStringLiteral("sbStatusBar2")] = sbPanels_[2];
    journalState_ = new QLabel(sb);
    journalState_->setFont(panelFont);
    journalState_->setStyleSheet(QStringLiteral("color: #b00000;"));
    journalState_->setObjectName(QStringLiteral("journalState"));
    journalState_->setAccessibleName(QStringLiteral("Journal state"));
    journalState_->hide();
    sb->addPermanentWidget(journalState_);
    // Where the time shows hours and minutes, the clock's own timer wakes at
    // each new minute, not every second (each waking costs the program more
    // than the text). Every render looks at the time as well, so a clock set
    // anew or a machine back from sleep shows the right time within a render.
    clockTimer_ = new QTimer(this);
    clockTimer_->setSingleShot(true);
    clockTimer_->setTimerType(Qt::PreciseTimer);
    clockShowsSeconds_ =
        QLocale::system().timeFormat(QLocale::ShortFormat).contains(QLatin1Char('s'));
    connect(clockTimer_, &QTimer::timeout, this, [this] { tickClock(true); });
    tickClock(true);
}

void MainWindow::tickClock(bool due) {
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    const qint64 period = clockShowsSeconds_ ? 1000 : 60000;
    if (!due && nowMs / period == clockShown_) return;
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(nowMs);
    const QLocale locale = QLocale::system();
    if (now.date() != clockDate_) {  // the date is written out once a day
        clockDate_ = now.date();
        sbPanels_[3]->setText(locale.toString(clockDate_, QLocale::ShortFormat));
    }
    const QString time = locale.toString(now.time(), QLocale::ShortFormat);
    if (sbPanels_[4]->text() != time) sbPanels_[4]->setText(time);
    clockShown_ = nowMs / period;
    clockTimer_->start(static_cast<int>(period - nowMs % period) + 5);
}

QWidget* MainWindow::element(const QString& name) const {
    auto it = elements_.find(name);
    return it == elements_.end() ? nullptr : it->second;
}

QAction* MainWindow::menuAction(const QString& name) const {
    auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

// ------------------------------------------------------------- rendering

void MainWindow::changed() {
    if (renderQueued_) return;
    renderQueued_ = true;
    // A render that ran meanwhile (a reading is painted at once) showed the
    // change already.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (renderQueued_) render();
        },
        Qt::QueuedConnection);
}

void MainWindow::repaintNow() {
    render();
    paintNow();
}

void MainWindow::repaintStatusBar() {
    renderStatusBar();
    paintNow();
}

void MainWindow::paintNow() {
    // What changed is painted at once, before the transaction's next wait
    // (which runs no events), and only that: repainting the whole face at
    // every reading was most of the program's CPU time.
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
}

void MainWindow::renderStatusBar() {
    const ViewState& v = instrument_->view;
    if (statusText_.changed(v.StatusText)) sbPanels_[1]->setText(Qs(v.StatusText));
    if (statusBaud_.changed(v.StatusBaudText)) sbPanels_[2]->setText(Qs(v.StatusBaudText));
    if (statusToolTip_.changed(v.StatusToolTip)) statusBar()->setToolTip(Qs(v.StatusToolTip));
    fitStatusPanels();
}
void MainWindow::fitStatusPanels() {
    // A message longer than its panel ("Uploading 1234 data points.  Please
    // wait...") has the date and time panels give way while it shows. This
    // runs at every render, and measures again only when something it
    // depends on changed: measuring text is what costs.
    QStatusBar* sb = statusBar();
    QStringList texts{sbPanels_[1]->text(), sbPanels_[2]->text(), sbPanels_[3]->text()};
    for (QLabel* extra : extraPanels_) {
        texts << (extra->isVisibleTo(sb) ? QLatin1Char('+') + extra->text() : QString());
    }
    const bool textsChanged = fittedTexts_.changed(texts);
    const bool widthChanged = fittedWidth_.changed(sb->isVisible() ? sb->width() : -1);
    if (!textsChanged && !widthChanged) return;

    // The time changes every second. A panel of a fixed size repaints alone;
    // one free to resize has the status bar and the window laid out again,
    // and the status bar painted whole, at every tick. It is as wide as the
    // longest time of day, and as high as its neighbours.
    QLabel* clock = sbPanels_[4];
    const int clockWidth = std::max(clockWidth_, clock->sizeHint().width());

    const QMargins m = sbPanels_[1]->contentsMargins();
    const int needed = sbPanels_[1]->fontMetrics().horizontalAdvance(sbPanels_[1]->text()) +
                       m.left() + m.right() + 2 * sbPanels_[1]->frameWidth() + Tw(this, 60);
    int others = clockWidth + sb->layout()->spacing();
    for (int i = 2; i <= 3; ++i)
        others += sbPanels_[i]->sizeHint().width() + sb->layout()->spacing();
    for (QLabel* extra : extraPanels_) {
        if (extra->isVisibleTo(sb)) others += extra->sizeHint().width() + sb->layout()->spacing();
    }
    const bool roomForClock = sb->width() - others >= needed;
    for (int i : {3, 4}) {
        if (sbPanels_[i]->isVisibleTo(sb) != roomForClock) sbPanels_[i]->setVisible(roomForClock);
    }
    if (sb->isVisible()) {
        const QSize fixed(clockWidth, sbPanels_[2]->height());
        if (clock->minimumSize() != fixed || clock->maximumSize() != fixed) {
            clock->setFixedSize(fixed);
        }
    }
}

void MainWindow::renderList1() {
    // Out of sight (see ResizeForm) the list is left as it is: it catches
    // up when it comes into the window.
    if (!List1_->isVisibleTo(centralWidget())) return;
    const ViewState& v = instrument_->view;
    // Only the replies appended since it was last shown are added.
    const uint64_t fresh = v.List1Appended - renderedList1_;
    if (fresh > 0) {
        if (fresh >= v.List1.size()) {
            List1_->clear();
            for (const std::string& item : v.List1) List1_->addItem(Qs(item));
        } else {
            for (std::size_t i = v.List1.size() - fresh; i < v.List1.size(); ++i) {
                List1_->addItem(Qs(v.List1[i]));
            }
        }
        while (List1_->count() > static_cast<int>(kList1Bound)) delete List1_->takeItem(0);
        // Kept at its newest item while it is seen.
        if (!List1_->visibleRegion().isEmpty()) List1_->setCurrentRow(List1_->count() - 1);
        renderedList1_ = v.List1Appended;
    }
}

void MainWindow::render() {
    renderQueued_ = false;
    tickClock(false);
    const ViewState& v = instrument_->view;
    // A render runs several times a reading: each widget is told only what
    // changed since it was last told, without converting unchanged texts.
    for (BoundLabel& b : labels_) {
        if (b.caption.changed(b.state->caption)) b.label->setText(Qs(b.state->caption));
        if (b.visible.changed(b.state->visible)) b.label->setVisible(b.state->visible);
        if (b.color.changed(b.state->foreColor)) SetForeColor(b.label, Q(b.state->foreColor));
    }
    shapesShown_.resize(shapes_.size());
    for (std::size_t i = 0; i < shapes_.size(); ++i) {
        const auto& [state, shape] = shapes_[i];
        if (!shapesShown_[i].changed({state->left, state->top, state->width, state->height,
                                      state->fill.r, state->fill.g, state->fill.b})) {
            continue;
        }
        shape->setFill(Q(state->fill));
        const QRect place = TwRect(this, state->left, state->top, state->width, state->height);
        if (shape->geometry() != place) shape->setGeometry(place);
        shape->setVisible(state->height > 0);
    }

    if (label1_.changed(v.Label1)) Label1_->setText(Qs(v.Label1));

    renderList1();

    ProgressBar1_->setVisible(v.ProgressBar1Visible);
    ProgressBar1_->setMaximum(std::max(1, v.ProgressBar1Max));
    ProgressBar1_->setValue(std::clamp(v.ProgressBar1Value, 0, std::max(1, v.ProgressBar1Max)));

    renderStatusBar();
    if (v.BusyPointer) {
        if (cursor().shape() != Qt::WaitCursor) setCursor(Qt::WaitCursor);
    } else if (testAttribute(Qt::WA_SetCursor)) {
        unsetCursor();
    }

    if (sampleRates_.changed(v.CmbSampleRateItems)) {
        QStringList items;
        for (const std::string& s : v.CmbSampleRateItems) items << Qs(s);
        const QSignalBlocker block(CmbSampleRate_);
        CmbSampleRate_->clear();
        CmbSampleRate_->addItems(items);
    }
    if (CmbSampleRate_->currentIndex() != v.CmbSampleRateIndex) {
        const QSignalBlocker block(CmbSampleRate_);
        CmbSampleRate_->setCurrentIndex(v.CmbSampleRateIndex);
    }

    // A click checks or unchecks an action by itself: the check mark is
    // compared with the action as it stands.
    menusShown_.resize(menuStates_.size());
    for (std::size_t i = 0; i < menuStates_.size(); ++i) {
        const auto& [state, action] = menuStates_[i];
        if (menusShown_[i].changed({state->enabled, state->visible})) {
            action->setEnabled(state->enabled);
            action->setVisible(state->visible);
        }
        if (action->isCheckable() && action->isChecked() != state->checked) {
            action->setChecked(state->checked);
        }
    }
    for (int i = 1; i <= kPortCount; ++i) {
        const std::string& device = v.mnucommToolTip[i];
        if (!device.empty() && commToolTips_[i].changed(device)) {
            commActions_[i]->setToolTip(Qs(device));
        }
    }
    for (int i = 1; i <= kToolButtonCount; ++i) {
        if (tbButtons_[i] == nullptr || tbButtons_[i]->isSeparator()) continue;
        QAction* button = tbButtons_[i];
        if (button->isEnabled() != v.tbButtons[i].enabled)
            button->setEnabled(v.tbButtons[i].enabled);
        if (button->isCheckable() && button->isChecked() != v.tbButtons[i].pressed) {
            button->setChecked(v.tbButtons[i].pressed);
        }
    }
}

// ------------------------------------------------------------ window

WindowState MainWindow::windowState() {
    if (isMinimized()) return WindowState::Minimized;
    if (isMaximized()) return WindowState::Maximized;
    return WindowState::Normal;
}

int MainWindow::windowLeftTwips() { return ToTwips(this, pos().x()); }
int MainWindow::windowTopTwips() { return ToTwips(this, pos().y()); }

void MainWindow::moveWindowTwips(int left, int top) {
    // A position stored on another desktop (a screen since unplugged) would
    // open the window where nobody can see it: it goes to the nearest screen.
    move(OnAScreen(QRect(QPoint(Tw(this, left), TwY(this, top)), frameGeometry().size())));
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (!unloaded_) {
        unloaded_ = true;
        instrument_->Form_Unload();
        if (commands_.closing) commands_.closing();
    }
    e->accept();
}

void MainWindow::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    fitStatusPanels();  // laid out now: the clock's panel takes its size
    if (shownOnce_) return;
    shownOnce_ = true;
    if (commands_.shown) commands_.shown();
}

void MainWindow::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    ResizeForm();
    if (List1_ != nullptr && List1_->count() > 0) List1_->setCurrentRow(List1_->count() - 1);
    fitStatusPanels();
}

void MainWindow::ResizeForm() {
    if (isMinimized() || centralWidget() == nullptr) return;
    // The background fills follow the window; nothing else moves or scales.
    const int width = centralWidget()->width();
    const int height = centralWidget()->height() + statusBar()->height();
    for (int i : {3, 2}) {
        QRect g = backgrounds_[i]->geometry();
        g.setWidth(width);
        backgrounds_[i]->setGeometry(g);
    }
    QRect g2 = backgrounds_[2]->geometry();
    g2.setHeight(std::max(0, height - backgrounds_[3]->geometry().top()));
    backgrounds_[2]->setGeometry(g2);
    // The raw-reply list lies beyond the window's first size. While none of
    // it is within the window it is hidden: a list view lays every item out
    // again at each one added, which with a long list was most of the
    // window's work at each reading. The replies it misses meanwhile are
    // added when it comes into the window.
    const bool seen = centralWidget()->rect().intersects(List1_->geometry());
    if (List1_->isVisibleTo(centralWidget()) != seen) {
        List1_->setVisible(seen);
        renderList1();  // resizeEvent then puts it at its newest item
    }
}

// ------------------------------------------------------------- options

void MainWindow::whenIdle(std::function<void()> f) {
    instrument_->WhenIdle([this, f = std::move(f)] {
        f();
        render();
    });
}

void MainWindow::endProgram() {
    ending_ = true;
    if (ownDialogs_) {
        ownDialogs_->endProgram();
    } else {
        CloseModalDialogs();
    }
}

// ------------------------------------------------------ screen readers

void MainWindow::describeForScreenReaders() {
    // The panel as the face table names it: a label that shows a value keeps
    // the shown text as its name, so the value is what is read out; the
    // description says what it is.
    for (const FaceElement& e : Face()) {
        QWidget* w = element(QString::fromLatin1(e.name));
        if (e.accessibleName != nullptr)
            w->setAccessibleName(QString::fromLatin1(e.accessibleName));
        const QString description = DescriptionOf(e);
        if (!description.isEmpty()) w->setAccessibleDescription(description);
    }
    sbPanels_[1]->setAccessibleDescription(QStringLiteral("Message"));
    sbPanels_[2]->setAccessibleDescription(QStringLiteral("Line speed"));
    sbPanels_[3]->setAccessibleDescription(QStringLiteral("Date"));
    sbPanels_[4]->setAccessibleDescription(QStringLiteral("Time"));
    CmbSampleRate_->setAccessibleName(QStringLiteral("Sample rate"));
    tbToolBar_->setAccessibleName(QStringLiteral("Toolbar"));
    centralWidget()->setAccessibleName(QStringLiteral("Instrument face"));
    menuBar()->setAccessibleName(QStringLiteral("Menu bar"));
    statusBar()->setAccessibleName(QStringLiteral("Status bar"));
    if (auto* more = tbToolBar_->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"))) {
        more->setAccessibleName(QStringLiteral("More tools"));
    }
}

void MainWindow::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && Command1_ != nullptr) {
        Command1_->setFocus();
    }
}

}  // namespace fenwyd::ui
