#pragma once
#include <QDate>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "instrument/instrument.h"
#include "link/port_catalog.h"
#include "ui/dialogs.h"
#include "ui/face.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolBar;

namespace fenwyd::ui {

class ClickLabel;
class ShapeWidget;

// The window is designed in Arial and MS Sans Serif; where those are missing,
// metric-compatible faces keep the captions inside their labels.
void InstallFontSubstitutes();

// What the window hands on: the commands that open windows of their own or
// reach beyond the instrument (the session answers them).
struct WindowCommands {
    std::function<void()> open;                     // the toolbar's "Open"
    std::function<void()> options;                  // the toolbar's "Options"
    std::function<void(const QString& key)> graph;  // Scatter, BarGraph, ZoomIn, ZoomOut
    std::function<void()> clearPeak;                // Probe > Clear Peak
    // Probe > Mark Point (and its button), Probe > Survey Points, File >
    // Export Survey ("GeoJSON", "KML", "CSV").
    std::function<void()> markPoint;
    std::function<void()> showPoints;
    std::function<void(const QString& format)> exportSurvey;
    std::function<void()> report;   // File > "Report..."
    std::function<void()> closing;  // the window closes, after the instrument's unload
    std::function<void()> shown;    // the window was first shown
};

// frmMain: the instrument face. It owns the logic (and through it the
// instrument state), turns clicks into calls and renders the view state;
// the panel is built, rendered and named from the face table.
class MainWindow : public QMainWindow, public Display {
public:
    // dialogs: nullptr for the real ones.
    MainWindow(SerialPort& port, Clock& clock, SettingsStore& settings,
               const std::string& programFolder, Dialogs* dialogs = nullptr,
               const std::string& saveFolder = std::string());
    ~MainWindow() override;

    Instrument& instrument() { return *instrument_; }
    Dialogs& dialogs() { return *dialogs_; }
    void setCommands(WindowCommands commands) { commands_ = std::move(commands); }
    // The port picker's way into Options (the real dialogs only).
    void setPortHelp(PortCatalog* catalog, QtDialogs::OptionsRunner options);
    // The status bar's journal panel: hidden while text is empty.
    void showJournalState(const QString& text, const QString& toolTip);
    // A panel of the status bar's right end, for the session to fill.
    QLabel* addStatusPanel(const QString& name, const QString& description);

    // Display
    void changed() override;
    void repaintNow() override;
    void repaintStatusBar() override;
    WindowState windowState() override;
    int windowLeftTwips() override;
    int windowTopTwips() override;
    void moveWindowTwips(int left, int top) override;
    void showNormal() override { QMainWindow::showNormal(); }

    // For tests and screenshots: the widgets by their element names.
    QWidget* element(const QString& name) const;
    QAction* menuAction(const QString& name) const;
    void render();

    // Runs f at once, or as soon as the port is free: a click can arrive
    // while a transaction waits, and only the transaction may use the port
    // then.
    void whenIdle(std::function<void()> f);

    // The program is to end (a signal): the open dialogs close unanswered
    // and none opens from now on.
    void endProgram();
    bool ending() const { return ending_; }

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void buildPanel(QWidget* client);
    QWidget* buildElement(QWidget* client, const FaceElement& e);
    void faceAction(FaceAction action);
    void buildToolbar(QWidget* client);
    void buildMenus();
    void buildStatusBar();
    void describeForScreenReaders();
    void ResizeForm();
    void layoutToolbar();
    void renderStatusBar();
    void paintNow();
    void fitStatusPanels();
    QAction* addAction(QMenu* menu, const char* name, const QString& caption,
                       const MenuItemView* state, std::function<void()> onClick,
                       const QKeySequence& shortcut = QKeySequence());

    std::unique_ptr<QtDialogs> ownDialogs_;
    Dialogs* dialogs_ = nullptr;
    std::unique_ptr<Instrument> instrument_;
    WindowCommands commands_;
    bool ending_ = false;
    bool shownOnce_ = false;
    bool renderQueued_ = false;
    int toolbarRowWidth_ = 0;  // pixels: toolbar buttons, then the sample-rate list
    bool unloaded_ = false;
    uint64_t renderedList1_ = 0;
    void tickClock(bool due);  // the status bar's date and time
    void renderList1();        // the raw replies
    QTimer* clockTimer_ = nullptr;
    bool clockShowsSeconds_ = false;
    qint64 clockShown_ = -1;  // the second or minute since 1970 the time shown is of
    QDate clockDate_;        // the date the status bar shows
    int clockWidth_ = 0;  // pixels: the time panel, for the longest time of day
    QLabel* journalState_ = nullptr;
    std::vector<QLabel*> extraPanels_;

    std::map<QString, QWidget*> elements_;
    std::map<QString, QAction*> actions_;
    std::vector<std::pair<const MenuItemView*, QAction*>> menuStates_;
    // What a widget was last given: a value unchanged since costs no
    // conversion and no call into the widget.
    template <typename T>
    struct Last {
        T value{};
        bool set = false;
        bool changed(const T& now) {
            if (set && value == now) return false;
            value = now;
            set = true;
            return true;
        }
    };
    struct BoundLabel {
        const LabelView* state = nullptr;
        ClickLabel* label = nullptr;
        Last<std::string> caption;
        Last<bool> visible;
        Last<Rgb> color;
    };
    std::vector<BoundLabel> labels_;
    Last<std::string> label1_, statusText_, statusBaud_, statusToolTip_;
    Last<std::vector<std::string>> sampleRates_;
    Last<std::string> commToolTips_[kPortCount + 1];
    QAction* commActions_[kPortCount + 1] = {};
    std::vector<std::pair<const ShapeView*, ShapeWidget*>> shapes_;
    std::vector<Last<std::array<int, 7>>> shapesShown_;  // place and fill, by shapes_
    std::vector<Last<std::array<bool, 2>>> menusShown_;  // enabled and visible, by menuStates_
    // What fitStatusPanels last fitted the status bar to: the panels' texts
    // and the bar's width (-1 while it is not shown).
    Last<QStringList> fittedTexts_;
    Last<int> fittedWidth_;
    std::vector<ShapeWidget*> backgrounds_;  // by the table's order

    QToolBar* tbToolBar_ = nullptr;
    QAction* tbButtons_[kToolButtonCount + 1] = {};
    QComboBox* CmbSampleRate_ = nullptr;
    QProgressBar* ProgressBar1_ = nullptr;
    QLabel* Label1_ = nullptr;
    QListWidget* List1_ = nullptr;
    QLineEdit* Combo1Text_ = nullptr;
    QListWidget* Combo1List_ = nullptr;
    QPushButton* Command1_ = nullptr;
    QLabel* sbPanels_[5] = {};
};

}  // namespace fenwyd::ui
