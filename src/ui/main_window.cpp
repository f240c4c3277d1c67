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

#include "qt/qt_port_catalog.h"
#include "qt/qt_serial_port.h"
#include "ui/artwork.h"
#include "ui/bar_window.h"
#include "ui/field_history.h"
#include "ui/graph_window.h"
#include "ui/open_dialog.h"
#include "ui/options_dialog.h"
#include "ui/text.h"
#include "ui/twips.h"
#include "ui/widgets.h"

namespace fenwyd::ui {

namespace {
constexpr int kDesignWidth = 4725;
constexpr int kDesignHeight = 3015;
constexpr int kStatusBarHeight = 345;

// The label clicks from the keyboard. Ctrl+L, Ctrl+B, Ctrl+Z, Ctrl+A and
// F1..F5 belong to the menus.
constexpr QKeyCombination kKeyRange = Qt::CTRL | Qt::SHIFT | Qt::Key_R;
constexpr QKeyCombination kKeyUnits = Qt::CTRL | Qt::SHIFT | Qt::Key_U;
constexpr QKeyCombination kKeyBattery = Qt::CTRL | Qt::SHIFT | Qt::Key_B;
constexpr QKeyCombination kKeyLog = Qt::CTRL | Qt::SHIFT | Qt::Key_L;
constexpr QKeyCombination kKeyEraseCount = Qt::CTRL | Qt::SHIFT | Qt::Key_E;

QString KeyText(QKeyCombination key) {
    return QKeySequence(key).toString(QKeySequence::NativeText);
}

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
                       const std::string& saveFolder, journal::Journal* journal)
    : clock_(clock), journal_(journal), settings_(settings) {
    catalog_ = std::make_unique<QtPortCatalog>();
    if (dialogs == nullptr) {
        ownDialogs_ = std::make_unique<QtDialogs>(this, port);
        // The port picker leads into Options; the port is opened after it.
        ownDialogs_->setPortHelp(catalog_.get(), [this](QWidget* over, int16_t chosenPort) {
            return runOptions(over, chosenPort, false);
        });
        dialogs = ownDialogs_.get();
    }
    dialogs_ = dialogs;
    instrument_ = std::make_unique<Instrument>(
        Platform{port, clock, *dialogs, settings, *this, programFolder, saveFolder});
    InstallAccessibleClickLabels();
    if (journal_ != nullptr) {
        recorder_ = std::make_unique<journal::Recorder>(*journal_, clock, *dialogs);
        recorder_->onFailure = [this] { showJournalState(); };
        recorder_->onStatus = [this] { showJournalState(); };
        instrument_->addObserver(recorder_.get());
    }
    history_ = std::make_unique<FieldHistory>(instrument_->st);
    instrument_->addObserver(history_.get());

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

MainWindow::~MainWindow() {
    graph_.reset();
    bar_.reset();
    instrument_->removeObserver(history_.get());
}

void MainWindow::showGraph() {
    if (!graph_) {
        graph_ = std::make_unique<GraphWindow>(*history_, instrument_->st, *dialogs_, settings_);
        graph_->restorePlace();
    }
    graph_->show();
    graph_->raise();
}

void MainWindow::showBarGraph() {
    if (!bar_) {
        bar_ = std::make_unique<BarWindow>(*history_, settings_);
        bar_->restorePlace();
    }
    bar_->show();
    bar_->raise();
}

void MainWindow::graphButton(const QString& key) {
    if (key == QLatin1String("Scatter")) {
        showGraph();
    } else if (key == QLatin1String("BarGraph")) {
        showBarGraph();
    } else if (key == QLatin1String("ZoomIn") || key == QLatin1String("ZoomOut")) {
        showGraph();
        if (key == QLatin1String("ZoomIn")) {
            graph_->zoomIn();
        } else {
            graph_->zoomOut();
        }
    }
}

ClickLabel* MainWindow::addLabel(QWidget* parent, const char* name, int l, int t, int w, int h,
                                 const char* family, double points, bool bold) {
    auto* label = new ClickLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(TwRect(this, l, t, w, h));
    QFont f(QString::fromLatin1(family));
    f.setPointSizeF(points);
    f.setBold(bold);
    label->setFont(f);
    elements_[QString::fromLatin1(name)] = label;
    return label;
}

void MainWindow::buildPanel(QWidget* client) {
    // Background fills around the reading panel, stretched by ResizeForm.
    const int formColor[4][4] = {{-120, 480, 375, 1815},
                                 {4560, 360, 5175, 1935},
                                 {0, 2160, 9855, 2655},
                                 {0, 360, 4815, 255}};
    for (int i = 0; i < 4; ++i) {
        ShapeFormColor_[i] = new ShapeWidget(client, palette().color(QPalette::Button), false);
        ShapeFormColor_[i]->setGeometry(
            TwRect(this, formColor[i][0], formColor[i][1], formColor[i][2], formColor[i][3]));
    }

    // Takes the keyboard focus so no clickable element holds it.
    Command1_ = new QPushButton(client);
    Command1_->setGeometry(TwRect(this, 1, 1, 495, 255));

    auto* ShaMain = new ShapeWidget(client, Qt::black, true);
    ShaMain->setGeometry(TwRect(this, 120, 600, 4455, 1575));
    elements_[QStringLiteral("ShaMain")] = ShaMain;

    const ViewState& v = instrument_->view;
    auto bind = [this](const LabelView* state, ClickLabel* label) {
        labels_.emplace_back(state, label);
    };

    ShapeRecordInd_ = new ShapeWidget(client, Q(colors::kGrey), true);
    ShapeRecordInd_->setGeometry(TwRect(this, 3120, 680, 780, 235));
    elements_[QStringLiteral("ShapeRecordInd")] = ShapeRecordInd_;

    auto* shapeBatBackground = new ShapeWidget(client, Q(colors::kGrey), false);
    shapeBatBackground->setGeometry(TwRect(this, 4200, 1200, 255, 495));
    ShapeBatLevel_ = new ShapeWidget(client, Q(colors::kGreen), false);
    ShapeBatLevel_->setGeometry(TwRect(this, 4200, 1200, 255, 495));
    auto* shapeBatTip = new ShapeWidget(client, Q(colors::kLightGrey), false);
    shapeBatTip->setGeometry(TwRect(this, 4275, 1155, 105, 45));
    elements_[QStringLiteral("ShapeBatLevel")] = ShapeBatLevel_;
    elements_[QStringLiteral("ShapeBatBackground")] = shapeBatBackground;
    elements_[QStringLiteral("ShapeBatTip")] = shapeBatTip;

    Instrument& in = *instrument_;
    ClickLabel* l = addLabel(client, "LabXYZField", 240, 720, 1790, 375, "Arial", 18, true);
    bind(&v.LabXYZField, l);
    // Wider than its designed 525 twips, up to the log indicator, so the
    // longer labels ("m A/m", "k V/m") show whole in the bold 11.25 pt face.
    l = addLabel(client, "LabUnits", 2040, 720, 1035, 270, "Arial", 11.25, true);
    l->setToolTip(QStringLiteral("Click to change units"));
    l->onClick = [&in] { in.LabUnits_Click(); };
    l->setShortcut(QKeySequence(kKeyUnits));
    bind(&v.LabUnits, l);
    l = addLabel(client, "LabRecord", 3120, 675, 780, 200, "Arial", 8.25, false);
    l->setAlignment(Qt::AlignCenter);
    l->setToolTip(QStringLiteral("Click to toggle log"));
    l->onClick = [&in] { in.AfterReply([&in] { in.ToggleRecordOn(); }); };
    l->setShortcut(QKeySequence(kKeyLog));
    bind(&v.LabRecord, l);
    l = addLabel(client, "LabRange", 240, 1320, 1095, 255, "Arial", 8.25, false);
    l->setToolTip(QStringLiteral("Click to change range"));
    l->onClick = [&in] { in.LabRange_Click(); };
    l->setShortcut(QKeySequence(kKeyRange));
    bind(&v.LabRange, l);
    l = addLabel(client, "LabSamSecLab", 2040, 1320, 855, 255, "Arial", 8.25, false);
    l->setText(QStringLiteral("Sam / Sec"));
    SetForeColor(l, palette().color(QPalette::HighlightedText));
    l = addLabel(client, "LabSamRate", 3000, 1320, 495, 255, "Arial", 8.25, false);
    bind(&v.LabSamRate, l);
    l = addLabel(client, "LabOverRange", 240, 1560, 870, 195, "MS Sans Serif", 8.25, false);
    bind(&v.LabOverRange, l);
    l = addLabel(client, "LabUnderRange", 240, 1560, 975, 255, "Arial", 8.25, false);
    bind(&v.LabUnderRange, l);
    l = addLabel(client, "LabRecordCntLab", 2040, 1560, 855, 195, "Arial", 8.25, false);
    l->setText(QStringLiteral("Record Cnt"));
    l->setToolTip(QStringLiteral("Click to erase data"));
    SetForeColor(l, palette().color(QPalette::HighlightedText));
    l->onClick = [&in] { in.AfterReply([&in] { in.LabRecordCntLab_Click(); }); };
    l->setShortcut(QKeySequence(kKeyEraseCount));
    l = addLabel(client, "LabRecordCnt", 3000, 1560, 735, 255, "Arial", 8.25, false);
    bind(&v.LabRecordCnt, l);
    l = addLabel(client, "LabPercentOfRange", 2040, 1800, 855, 255, "Arial", 8.25, false);
    l->setText(QStringLiteral("% of Range"));
    SetForeColor(l, Qt::white);
    l = addLabel(client, "LabBarGraph", 3000, 1800, 495, 180, "MS Sans Serif", 8.25, false);
    bind(&v.LabBarGraph, l);
    l = addLabel(client, "LabBattery", 3840, 1800, 615, 225, "Arial", 8.25, false);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->onClick = [&in] { in.LabBattery_Click(); };
    l->setShortcut(QKeySequence(kKeyBattery));
    bind(&v.LabBattery, l);
    l = addLabel(client, "LabExposure", 4800, 1680, 1335, 255, "Arial", 12, true);
    l->setAlignment(Qt::AlignCenter);
    SetForeColor(l, Q(colors::kCyan));

    ProgressBar1_ = new QProgressBar(client);
    ProgressBar1_->setGeometry(TwRect(this, 120, 2280, 4455, 225));
    ProgressBar1_->setTextVisible(false);
    elements_[QStringLiteral("ProgressBar1")] = ProgressBar1_;

    // Seen only when the window is made taller or wider than designed.
    QFont small(QStringLiteral("Arial"));
    small.setPointSizeF(8.25);
    Label1_ = new QLabel(client);
    Label1_->setTextFormat(Qt::PlainText);
    Label1_->setGeometry(TwRect(this, 120, 3720, 4455, 615));
    Label1_->setFont(small);
    Label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1_->setWordWrap(true);
    elements_[QStringLiteral("Label1")] = Label1_;

    List1_ = new QListWidget(client);
    List1_->setGeometry(TwRect(this, 6360, 1080, 3135, 3210));
    List1_->setFont(small);
    List1_->setUniformItemSizes(true);
    elements_[QStringLiteral("List1")] = List1_;

    // Combo1: a simple combo box, its edit field with the list always open.
    Combo1Text_ = new QLineEdit(QStringLiteral("RD"), client);
    Combo1Text_->setGeometry(TwRect(this, 4920, 1080, 1335, 300));
    Combo1Text_->setFont(small);
    Combo1List_ = new QListWidget(client);
    Combo1List_->setGeometry(TwRect(this, 4920, 1380, 1335, 2820));
    Combo1List_->setFont(small);
    for (const char* c :
         {"BT", "CL", "DD", "EH", "KR", "LG", "MX", "NS", "NX", "PR", "RD", "SC", "SP"}) {
        Combo1List_->addItem(QString::fromLatin1(c));
    }
    connect(Combo1List_, &QListWidget::currentTextChanged, Combo1Text_, &QLineEdit::setText);
    elements_[QStringLiteral("Combo1")] = Combo1Text_;

    auto* cmdSendCmnd = new QPushButton(QStringLiteral("Send Cmnd"), client);
    cmdSendCmnd->setGeometry(TwRect(this, 4920, 600, 1335, 375));
    cmdSendCmnd->setFont(small);
    connect(cmdSendCmnd, &QPushButton::clicked, this,
            [this] { instrument_->cmdSendCmnd_Click(Local8(Combo1Text_->text())); });
    elements_[QStringLiteral("cmdSendCmnd")] = cmdSendCmnd;
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
                openLogs();
            } else {
                const std::string k = Local8(key);
                instrument_->AfterReply([this, k] {
                    instrument_->tbToolBar_ButtonClick(k);
                    render();
                });
                graphButton(key);
            }
            render();
            if (key == QLatin1String("Properties")) whenIdle([this] { showOptions(); });
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
              [this] { history_->clearPeak(); });
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
        addAction(
            mnucomm, name.constData(), QStringLiteral("Comm &%1").arg(i), &v.mnucommcomm[i],
            [&in, i] { in.WhenIdle([&in, i] { in.mnucommcomm_Click(static_cast<int16_t>(i)); }); });
    }

    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    addAction(mnuHelp, "mnuHelpAbout", QStringLiteral("&About "), nullptr,
              [&in] { in.mnuHelpAbout_Click(); });

    for (auto& [state, action] : menuStates_) action->setCheckable(true);
    // Submenus and plain commands show no check box.
    for (const char* name : {"mnuProbeUnits57xx", "mnuProbeUpdateProbeBatt", "mnuprobeTempUnits",
                             "mnuProbeRangeTop", "mnuFileSaveAs", "mnuProbeZero",
                             "mnuProbeUploadData", "mnuProbeClearPeak", "mnuProbeUpdateNow"}) {
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
    sbPanels_[4]->setMinimumWidth(
        fm.horizontalAdvance(QLocale::system().toString(sample.time(), QLocale::ShortFormat)) + 10);
    elements_[QStringLiteral("sbStatusBar1")] = sbPanels_[1];
    elements_[QStringLiteral("sbStatusBar2")] = sbPanels_[2];
    journalOff_ = new QLabel(QStringLiteral("No journal"), sb);
    journalOff_->setFont(panelFont);
    journalOff_->setStyleSheet(QStringLiteral("color: #b00000;"));
    journalOff_->setObjectName(QStringLiteral("journalState"));
    journalOff_->setAccessibleName(QStringLiteral("Journal state"));
    journalOff_->hide();
    sb->addPermanentWidget(journalOff_);
    auto* clockTimer = new QTimer(this);
    auto tickClock = [this] {
        const QDateTime now = QDateTime::currentDateTime();
        sbPanels_[3]->setText(QLocale::system().toString(now.date(), QLocale::ShortFormat));
        sbPanels_[4]->setText(QLocale::system().toString(now.time(), QLocale::ShortFormat));
    };
    connect(clockTimer, &QTimer::timeout, this, tickClock);
    clockTimer->start(1000);
    tickClock();
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
    QMetaObject::invokeMethod(
        this, [this] { render(); }, Qt::QueuedConnection);
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
    const QString text = Qs(v.StatusText);
    if (sbPanels_[1]->text() != text) sbPanels_[1]->setText(text);
    const QString baud = Qs(v.StatusBaudText);
    if (sbPanels_[2]->text() != baud) sbPanels_[2]->setText(baud);
    const QString device = Qs(v.StatusToolTip);
    if (statusBar()->toolTip() != device) statusBar()->setToolTip(device);
    fitStatusPanels();
}
void MainWindow::fitStatusPanels() {
    // A message longer than its panel ("Uploading 1234 data points.  Please
    // wait...") has the date and time panels give way while it shows.
    QStatusBar* sb = statusBar();
    const QMargins m = sbPanels_[1]->contentsMargins();
    const int needed = sbPanels_[1]->fontMetrics().horizontalAdvance(sbPanels_[1]->text()) +
                       m.left() + m.right() + 2 * sbPanels_[1]->frameWidth() + Tw(this, 60);
    int others = 0;
    for (int i = 2; i <= 4; ++i)
        others += sbPanels_[i]->sizeHint().width() + sb->layout()->spacing();
    const bool roomForClock = sb->width() - others >= needed;
    for (int i : {3, 4}) {
        if (sbPanels_[i]->isVisibleTo(sb) != roomForClock) sbPanels_[i]->setVisible(roomForClock);
    }
}

void MainWindow::render() {
    renderQueued_ = false;
    const ViewState& v = instrument_->view;
    for (auto& [state, label] : labels_) {
        const QString text = Qs(state->caption);
        if (label->text() != text) label->setText(text);
        if (label->isVisibleTo(label->parentWidget()) != state->visible)
            label->setVisible(state->visible);
        SetForeColor(label, Q(state->foreColor));
    }
    ShapeRecordInd_->setFill(Q(v.ShapeRecordInd.fill));
    ShapeBatLevel_->setFill(Q(v.ShapeBatLevel.fill));
    const QRect level = TwRect(this, v.ShapeBatLevel.left, v.ShapeBatLevel.top,
                               v.ShapeBatLevel.width, v.ShapeBatLevel.height);
    if (ShapeBatLevel_->geometry() != level) ShapeBatLevel_->setGeometry(level);
    ShapeBatLevel_->setVisible(v.ShapeBatLevel.height > 0);

    const QString label1 = Qs(v.Label1);
    if (Label1_->text() != label1) Label1_->setText(label1);

    // Only the replies appended since the last render are added.
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
        // The list lies beyond the window's first size: it is kept at its
        // newest item once it is seen (see resizeEvent).
        if (!List1_->visibleRegion().isEmpty()) List1_->setCurrentRow(List1_->count() - 1);
        renderedList1_ = v.List1Appended;
    }

    ProgressBar1_->setVisible(v.ProgressBar1Visible);
    ProgressBar1_->setMaximum(std::max(1, v.ProgressBar1Max));
    ProgressBar1_->setValue(std::clamp(v.ProgressBar1Value, 0, std::max(1, v.ProgressBar1Max)));

    renderStatusBar();
    if (v.BusyPointer) {
        if (cursor().shape() != Qt::WaitCursor) setCursor(Qt::WaitCursor);
    } else if (testAttribute(Qt::WA_SetCursor)) {
        unsetCursor();
    }

    QStringList items;
    for (const std::string& s : v.CmbSampleRateItems) items << Qs(s);
    QStringList shown;
    for (int i = 0; i < CmbSampleRate_->count(); ++i) shown << CmbSampleRate_->itemText(i);
    if (items != shown) {
        const QSignalBlocker block(CmbSampleRate_);
        CmbSampleRate_->clear();
        CmbSampleRate_->addItems(items);
    }
    if (CmbSampleRate_->currentIndex() != v.CmbSampleRateIndex) {
        const QSignalBlocker block(CmbSampleRate_);
        CmbSampleRate_->setCurrentIndex(v.CmbSampleRateIndex);
    }

    for (auto& [state, action] : menuStates_) {
        action->setEnabled(state->enabled);
        if (action->isCheckable()) action->setChecked(state->checked);
        action->setVisible(state->visible);
    }
    for (int i = 1; i <= kPortCount; ++i) {
        QAction* comm = actions_[QStringLiteral("mnucommcomm_%1").arg(i)];
        const QString device = Qs(v.mnucommToolTip[i]);
        if (!device.isEmpty() && comm->toolTip() != device) comm->setToolTip(device);
    }
    for (int i = 1; i <= kToolButtonCount; ++i) {
        if (tbButtons_[i] == nullptr || tbButtons_[i]->isSeparator()) continue;
        tbButtons_[i]->setEnabled(v.tbButtons[i].enabled);
        if (tbButtons_[i]->isCheckable()) tbButtons_[i]->setChecked(v.tbButtons[i].pressed);
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
        if (recorder_) recorder_->programEnding();
        // Open at exit: open again at the next start.
        for (SideWindow* w :
             {static_cast<SideWindow*>(graph_.get()), static_cast<SideWindow*>(bar_.get())}) {
            if (w == nullptr) continue;
            w->savePlace(w->isVisible());
            w->hide();
        }
    }
    e->accept();
}

// ------------------------------------------------------------ journal

namespace {
// Old logs go once the readings run: with a full journal, dropping one is a
// few hundred milliseconds of writing.
constexpr int kRetentionDelayMs = 30000;
constexpr int kCheckWatchMs = 250;
}  // namespace

void MainWindow::startJournal() {
    if (journal_ == nullptr) return;
    if (!journal_->isOpen()) {
        showJournalState();
        dialogs_->message("The journal " + journal_->path() +
                              " cannot be opened: " + journal_->error() +
                              ".\n\nReading and logging go on, but the data log is kept in "
                              "memory only: save it before you close the program.",
                          MsgIcon::Exclamation);
        return;
    }
    journal::OfferRestore(*journal_, *instrument_, *dialogs_);
    render();
    // The whole file is checked meanwhile, on a thread of its own.
    journal_->startCheck();
    checkWatch_ = new QTimer(this);
    connect(checkWatch_, &QTimer::timeout, this, [this] { reportCheck(); });
    checkWatch_->start(kCheckWatchMs);
    QTimer::singleShot(kRetentionDelayMs, this,
                       [this] { whenIdle([this] { journal::DropOldLogs(*journal_, clock_); }); });
}

void MainWindow::reportCheck() {
    const std::optional<std::string> findings = journal_->checkFindings();
    if (!findings) return;
    checkWatch_->stop();
    if (findings->empty()) return;
    dialogs_->notice("The journal " + journal_->path() + " is damaged:\n" + *findings +
                         "\n\nThe logs on the damaged parts cannot be read whole; \"Open\" "
                         "lists every log that can still be read and says which could not. "
                         "Reading and logging go on, and new readings are kept in the journal "
                         "as long as it takes them.",
                     MsgIcon::Exclamation);
}

void MainWindow::showJournalState() {
    if (journalOff_ == nullptr || journal_ == nullptr) return;
    if (!journal_->isOpen()) {
        journalOff_->setText(QStringLiteral("No journal"));
        journalOff_->setToolTip(
            Qs("The journal " + journal_->path() + " is not in use: " + journal_->error()));
        journalOff_->show();
        return;
    }
    const std::string waiting = recorder_ ? recorder_->statusText() : std::string();
    journalOff_->setText(Qs(waiting));
    journalOff_->setToolTip(Qs("The journal " + journal_->path() +
                               " cannot be written at the moment: " + journal_->error() +
                               ". The readings are kept in memory until it takes them."));
    journalOff_->setVisible(!waiting.empty());
}

bool MainWindow::replaceDataLog(const std::function<bool()>& load) {
    const InstrumentState& st = instrument_->st;
    if (st.RecordOn != 0 || st.UploadActive != 0) {
        dialogs_->message("Stop the log, or let the upload end, before you open another one.",
                          MsgIcon::Information);
        return false;
    }
    const int32_t unsaved = recorder_ ? recorder_->unsavedRows() : st.RecordCnt;
    if (unsaved > 0 &&
        !dialogs_->askYesNo("The data log holds " + std::to_string(unsaved) +
                                " readings not saved to a data file (the journal keeps them)."
                                "\n\nReplace the data log?",
                            MsgIcon::Question)) {
        return false;
    }
    const bool loaded = load();
    render();
    return loaded;
}

void MainWindow::openLogs() {
    if (ending_) return;
    auto loadLog = [this](const journal::LogSummary& log) {
        std::string problem;
        const bool loaded = replaceDataLog(
            [&] { return journal::LoadLog(*journal_, *instrument_, log, &problem); });
        if (!problem.empty()) dialogs_->message(problem, MsgIcon::Exclamation);
        return loaded;
    };
    auto openFile = [this](const QString& path) {
        SavedLog saved;
        std::string error;
        if (!ReadSavedLog(Local8(path), saved, error)) {
            dialogs_->message(
                "The file " + Local8(path) + " is not a data file of this program: " + error + ".",
                MsgIcon::Exclamation);
            return false;
        }
        const bool loaded = replaceDataLog([&] {
            return instrument_->LoadDataLog(RowsOfSavedLog(saved), saved.pages.front().uploaded,
                                            saved.pages.front().unitsText, DataLogChange{});
        });
        if (loaded && saved.incomplete) {
            const DataFileContents& page = saved.pages.front();
            dialogs_->message("The file " + Local8(path) + " is page " + std::to_string(page.page) +
                                  " of " + std::to_string(page.pages) +
                                  "; the other pages were not found beside it, so only its " +
                                  std::to_string(page.rows.size()) + " rows were loaded.",
                              MsgIcon::Information);
        }
        return loaded;
    };
    OpenDialog dialog(this, journal_, loadLog, openFile, recorder_ ? recorder_->currentLog() : 0);
    dialog.exec();
}

void MainWindow::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (shownOnce_) return;
    shownOnce_ = true;
    // After the main window, so they open over it.
    QTimer::singleShot(0, this, [this] {
        if (SideWindow::WasOpen(settings_, "Graph")) showGraph();
        if (SideWindow::WasOpen(settings_, "BarGraph")) showBarGraph();
    });
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
        QRect g = ShapeFormColor_[i]->geometry();
        g.setWidth(width);
        ShapeFormColor_[i]->setGeometry(g);
    }
    QRect g2 = ShapeFormColor_[2]->geometry();
    g2.setHeight(std::max(0, height - ShapeFormColor_[3]->geometry().top()));
    ShapeFormColor_[2]->setGeometry(g2);
}

// ------------------------------------------------------------- options

void MainWindow::whenIdle(std::function<void()> f) {
    instrument_->WhenIdle([this, f = std::move(f)] {
        f();
        render();
    });
}

void MainWindow::showOptions() { runOptions(this, instrument_->st.CommPortNo, true); }

bool MainWindow::runOptions(QWidget* over, int16_t chosenPort, bool reopen) {
    if (optionsOpen_ || ending_) return false;
    optionsOpen_ = true;
    Instrument& in = *instrument_;
    OptionsDialog dlg(
        over, *catalog_, in.PortOptionsNow(), chosenPort, reopen && in.st.CommPortOpenOk == 1,
        [this](const std::string& device, int32_t baudRate, const OptionsDialog::TestDone& done) {
            instrument_->TestPort(std::make_shared<QtSerialPort>(), device, baudRate,
                                  [this, done](const PortTestReport& report) {
                                      done(report);
                                      render();
                                  });
        });
    const bool accepted = dlg.exec() == QDialog::Accepted && !ending_;
    optionsOpen_ = false;
    if (!accepted) return false;
    const PortOptions chosen = dlg.options();
    whenIdle([this, chosen, reopen] { instrument_->ApplyPortOptions(chosen, reopen); });
    return true;
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
    // A label that shows a value keeps the shown text as its name, so the
    // value is what is read out; the description says what it is.
    const std::pair<const char*, QString> described[] = {
        {"LabXYZField", QStringLiteral("Field value")},
        {"LabUnits", QStringLiteral("Units; %1 steps the units").arg(KeyText(kKeyUnits))},
        {"LabRecord",
         QStringLiteral("Log indicator; %1 switches logging on or off").arg(KeyText(kKeyLog))},
        {"LabRange", QStringLiteral("Range; %1 steps the range").arg(KeyText(kKeyRange))},
        {"LabSamRate", QStringLiteral("Readings per second")},
        {"LabOverRange", QStringLiteral("Range warning")},
        {"LabUnderRange", QStringLiteral("Range warning")},
        {"LabRecordCntLab",
         QStringLiteral("Record count caption; %1 erases the count").arg(KeyText(kKeyEraseCount))},
        {"LabRecordCnt", QStringLiteral("Record count")},
        {"LabBarGraph", QStringLiteral("Percent of range")},
        {"LabBattery",
         QStringLiteral("Battery voltage; %1 reads it now").arg(KeyText(kKeyBattery))},
        {"LabExposure", QStringLiteral("Exposure")},
        {"Label1", QStringLiteral("Last raw reply")},
        {"sbStatusBar1", QStringLiteral("Message")},
        {"sbStatusBar2", QStringLiteral("Line speed")},
    };
    for (const auto& [name, description] : described) {
        element(QString::fromLatin1(name))->setAccessibleDescription(description);
    }
    sbPanels_[3]->setAccessibleDescription(QStringLiteral("Date"));
    sbPanels_[4]->setAccessibleDescription(QStringLiteral("Time"));

    // Shapes and controls without text of their own get names.
    const std::pair<const char*, QString> named[] = {
        {"ShaMain", QStringLiteral("Reading panel")},
        {"ShapeRecordInd", QStringLiteral("Log indicator light")},
        {"ShapeBatBackground", QStringLiteral("Battery gauge")},
        {"ShapeBatLevel", QStringLiteral("Battery level")},
        {"ShapeBatTip", QStringLiteral("Battery terminal")},
        {"ProgressBar1", QStringLiteral("Upload progress")},
        {"List1", QStringLiteral("Raw replies")},
        {"Combo1", QStringLiteral("Manual command")},
        {"CmbSampleRate", QStringLiteral("Sample rate")},
        {"tbToolBar", QStringLiteral("Toolbar")},
    };
    for (const auto& [name, accessibleName] : named) {
        element(QString::fromLatin1(name))->setAccessibleName(accessibleName);
    }
    for (ShapeWidget* shape : ShapeFormColor_)
        shape->setAccessibleName(QStringLiteral("Background"));
    Combo1List_->setAccessibleName(QStringLiteral("Probe commands"));
    centralWidget()->setAccessibleName(QStringLiteral("Instrument face"));
    menuBar()->setAccessibleName(QStringLiteral("Menu bar"));
    statusBar()->setAccessibleName(QStringLiteral("Status bar"));
    if (auto* more = tbToolBar_->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"))) {
        more->setAccessibleName(QStringLiteral("More tools"));
    }
    // The focus rests on this button; it tells where the label keys are.
    Command1_->setAccessibleName(QStringLiteral("Probe keys"));
    Command1_->setAccessibleDescription(
        QStringLiteral("%1 steps the range, %2 the units, %3 reads the battery, %4 switches "
                       "logging, %5 erases the record count")
            .arg(KeyText(kKeyRange), KeyText(kKeyUnits), KeyText(kKeyBattery), KeyText(kKeyLog),
                 KeyText(kKeyEraseCount)));
}

void MainWindow::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && Command1_ != nullptr) {
        Command1_->setFocus();
    }
}

}  // namespace fenwyd::ui
