#pragma once
#include <QMainWindow>
#include <map>
#include <memory>
#include <vector>

#include "instrument/instrument.h"
#include "journal/journal.h"
#include "journal/recorder.h"
#include "link/port_catalog.h"
#include "ui/dialogs.h"

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

class BarWindow;
class ClickLabel;
class FieldHistory;
class GraphWindow;
class ShapeWidget;

// The window is designed in Arial and MS Sans Serif; where those are missing,
// metric-compatible faces keep the captions inside their labels.
void InstallFontSubstitutes();

// frmMain: the instrument face. It owns the logic (and through it the
// instrument state), turns clicks into calls and renders the view state.
class MainWindow : public QMainWindow, public Display {
public:
    // dialogs: nullptr for the real ones.
    // journal: the session journal, opened or not (nullptr: none at all).
    MainWindow(SerialPort& port, Clock& clock, SettingsStore& settings,
               const std::string& programFolder, Dialogs* dialogs = nullptr,
               const std::string& saveFolder = std::string(), journal::Journal* journal = nullptr);
    ~MainWindow() override;

    Instrument& instrument() { return *instrument_; }
    FieldHistory& history() { return *history_; }

    // "Scatter Graph Live" and "Bar Graph": made on first use, then shown
    // and hidden; nullptr until then.
    void showGraph();
    void showBarGraph();
    GraphWindow* graphWindow() const { return graph_.get(); }
    BarWindow* barWindow() const { return bar_.get(); }

    // After start-up, with the window shown: a journal that could not be
    // opened is reported; otherwise a log a crash left is offered back.
    void startJournal();
    // "Open": the journal's logs and data files.
    void openLogs();
    journal::Recorder* recorder() { return recorder_.get(); }

    // Display
    void changed() override;
    void repaintNow() override;
    void repaintStatusBar() override;
    WindowState windowState() override;
    int windowLeftTwips() override;
    int windowTopTwips() override;
    void moveWindowTwips(int left, int top) override;
    // Not once the program is ending: start-up may still ask for it.
    void showNormal() override {
        if (!ending_) QMainWindow::showNormal();
    }

    // For tests and screenshots: the widgets by their element names.
    QWidget* element(const QString& name) const;
    QAction* menuAction(const QString& name) const;
    void render();

    // Options (toolbar button "Properties"): the port mapping and line speed.
    void showOptions();

    // An ending signal (a desktop logout, Ctrl+C, a closed terminal): the
    // splash and any open dialog close unanswered, and none opens any more,
    // so that start-up, or whatever opened the dialog, returns at once. The
    // caller then closes the window (the normal shutdown) and quits.
    void endProgram();
    bool ending() const { return ending_; }
    // Runs f at once, or as soon as no transaction is running: a click can
    // arrive while a transaction waits, and only the transaction may use the
    // port then.
    void whenIdle(std::function<void()> f);

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void buildPanel(QWidget* client);
    void buildToolbar(QWidget* client);
    void buildMenus();
    void buildStatusBar();
    void describeForScreenReaders();
    void ResizeForm();
    void layoutToolbar();
    void renderStatusBar();
    void paintNow();
    void fitStatusPanels();
    // The toolbar keys the window answers itself: the graph and its zoom.
    void graphButton(const QString& key);
    ClickLabel* addLabel(QWidget* parent, const char* name, int l, int t, int w, int h,
                         const char* family, double points, bool bold);
    QAction* addAction(QMenu* menu, const char* name, const QString& caption,
                       const MenuItemView* state, std::function<void()> onClick,
                       const QKeySequence& shortcut = QKeySequence());

    // The data log's rows are replaced by load() after the operator agreed
    // (nothing unsaved, or asked); false when nothing changed.
    bool replaceDataLog(const std::function<bool()>& load);
    // The status bar's journal panel: not in use, or readings waiting for it.
    void showJournalState();
    // The quick check's findings, when it has them.
    void reportCheck();
    // Options over `over`, the number chosenPort marked; true when accepted.
    // reopen: the port in use follows the new mapping at once (from the
    // port picker the mapping is only stored).
    bool runOptions(QWidget* over, int16_t chosenPort, bool reopen);

    std::unique_ptr<QtDialogs> ownDialogs_;
    Dialogs* dialogs_ = nullptr;
    Clock& clock_;
    std::unique_ptr<Instrument> instrument_;
    std::unique_ptr<PortCatalog> catalog_;
    bool optionsOpen_ = false;
    bool ending_ = false;
    journal::Journal* journal_ = nullptr;
    std::unique_ptr<journal::Recorder> recorder_;
    QLabel* journalOff_ = nullptr;
    QTimer* checkWatch_ = nullptr;
    // Destroyed before the logic, the windows before what they show.
    std::unique_ptr<FieldHistory> history_;
    std::unique_ptr<GraphWindow> graph_;
    std::unique_ptr<BarWindow> bar_;
    SettingsStore& settings_;
    bool shownOnce_ = false;
    bool renderQueued_ = false;
    int toolbarRowWidth_ = 0;  // pixels: toolbar buttons, then the sample-rate list
    bool unloaded_ = false;
    uint64_t renderedList1_ = 0;

    std::map<QString, QWidget*> elements_;
    std::map<QString, QAction*> actions_;
    std::vector<std::pair<const MenuItemView*, QAction*>> menuStates_;
    std::vector<std::pair<const LabelView*, ClickLabel*>> labels_;

    ShapeWidget* ShapeRecordInd_ = nullptr;
    ShapeWidget* ShapeBatLevel_ = nullptr;
    ShapeWidget* ShapeFormColor_[4] = {};
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
