// The graph and the large display as the operator sees them, offscreen:
// what is plotted, gaps, zoom, Clear Peak, export and the remembered place.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <algorithm>
#include <memory>

#include "support/harness.h"
#include "ui/bar_window.h"
#include "ui/graph_window.h"
#include "ui/main_window.h"
#include "ui/session.h"
#include "ui/stats_view.h"

namespace fenwyd::ui {
namespace {

using namespace fenwyd::testing;

constexpr double kReadingMs = 366;
constexpr double kMinuteMs = 60000;

class Graph : public ::testing::Test {
protected:
    void SetUp() override { open(); }
    void open() {
        session.reset();
        window = std::make_unique<MainWindow>(port, clock, settings, folder.str(), &dialogs);
        session = std::make_unique<Session>(*window, settings, clock);
        window->show();
    }
    Instrument& in() { return window->instrument(); }
    GraphWindow& graph() {
        if (session->graphWindow() == nullptr) session->showGraph();
        return *session->graphWindow();
    }
    // One reply interpreted now; the clock then moves on by a reading.
    void reply(const std::string& text) {
        in().st.ProbeData = text;
        in().ProcessData(1);
        clock.wait(kReadingMs);
    }
    // One reading tick and its transaction, to its end.
    void tick() {
        in().HRTReadProbe_Timer();
        clock.runUntil([this] { return !in().InTransaction(); });
    }
    void replies(int n, const std::string& text) {
        for (int i = 0; i < n; ++i) reply(text);
    }
    QString live(const char* row) { return graph().stats()->cell(QString::fromLatin1(row), false); }
    QAction* action(const char* name) { return window->menuAction(QString::fromLatin1(name)); }

    TempFolder folder;
    VirtualClock clock;
    FakeSerialPort port{clock};
    ScriptedDialogs dialogs;
    MemorySettings settings;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Session> session;
};

TEST_F(Graph, EveryReadingFedIsPlotted) {
    action("tbScatter")->trigger();  // the toolbar button opens the graph
    ASSERT_NE(session->graphWindow(), nullptr);
    EXPECT_TRUE(graph().isVisible());
    replies(40, Rd("1234"));
    graph().refresh();
    EXPECT_EQ(graph().plotted().readings, 40u);
    EXPECT_EQ(graph().seriesPoints(), 40u);
    EXPECT_EQ(graph().drawnSegments(), 1);
    EXPECT_EQ(graph().valueTitle(), QStringLiteral("mG"));
    EXPECT_LE(graph().valueMin(), 1.234);
    EXPECT_GE(graph().valueMax(), 1.234);
}

TEST_F(Graph, OverAndUnderRangeRepliesAreGaps) {
    replies(5, Rd("1000"));
    replies(3, Rd("9999", 'E', '0', 'G', 'O'));  // would be 9.999 mG
    graph().refresh();
    // The readout says what the reading is, in red, without its digits.
    EXPECT_EQ(graph().readoutText(), QStringLiteral("OVER"));
    EXPECT_TRUE(graph().readoutAlarm());
    replies(4, Rd("1100"));
    replies(2, Rd("0000", 'E', '0', 'G', 'U'));
    graph().refresh();
    EXPECT_EQ(graph().readoutText(), QStringLiteral("UNDER"));
    replies(3, Rd("1200"));
    graph().refresh();
    EXPECT_EQ(graph().readoutText(), QStringLiteral("1.2 mG"));
    EXPECT_FALSE(graph().readoutAlarm());
    EXPECT_EQ(graph().drawnSegments(), 3);
    EXPECT_EQ(graph().plotted().readings, 12u);
    EXPECT_FLOAT_EQ(graph().plotted().yMax, 1.2);  // no trace of the over-range raw value
    EXPECT_EQ(live("Over / under range"), QStringLiteral("3 / 2"));
}

TEST_F(Graph, AnotherQuantityStartsANewSeries) {
    replies(5, Rd("1000", 'E', '0', 'G'));
    replies(5, Rd("1000", 'E', '0', 'V'));
    replies(5, Rd("1000", 'E', '1', 'T'));  // 1 uT = 10 mG: flux density again
    graph().refresh();
    EXPECT_EQ(graph().drawnSegments(), 2);  // the V/m readings are not on a uT axis
    EXPECT_EQ(graph().plotted().readings, 10u);
    EXPECT_DOUBLE_EQ(graph().plotted().yMin, 0.1);  // 1 mG in uT
    EXPECT_EQ(graph().valueTitle(), QStringLiteral("uT"));
    reply(Rd("1000", 'E', '0', 'V'));
    graph().refresh();
    EXPECT_EQ(graph().drawnSegments(), 2);
    EXPECT_EQ(graph().plotted().readings, 6u);
    EXPECT_EQ(graph().valueTitle(), QStringLiteral("V/m"));
}

TEST_F(Graph, ZoomHalvesAndDoublesTheVisibleSpan) {
    replies(200, Rd());
    GraphWindow& g = graph();
    const double newest = clock.utcMs() - kReadingMs;
    EXPECT_DOUBLE_EQ(g.visibleTo() - g.visibleFrom(), 5 * kMinuteMs);
    g.zoomIn();
    EXPECT_DOUBLE_EQ(g.visibleTo() - g.visibleFrom(), 2.5 * kMinuteMs);
    // Still following: the newest reading in the last tenth of the span.
    EXPECT_GE(g.visibleTo(), newest);
    EXPECT_LT(g.visibleTo(), newest + 0.25 * kMinuteMs);
    g.zoomOut();
    g.zoomOut();
    EXPECT_DOUBLE_EQ(g.visibleTo() - g.visibleFrom(), 10 * kMinuteMs);

    // Panned back in time the middle stays put.
    g.panBy(-0.5);
    const double middle = (g.visibleFrom() + g.visibleTo()) / 2;
    g.zoomIn();
    EXPECT_DOUBLE_EQ(g.visibleTo() - g.visibleFrom(), 5 * kMinuteMs);
    EXPECT_DOUBLE_EQ((g.visibleFrom() + g.visibleTo()) / 2, middle);
    reply(Rd());
    g.refresh();
    EXPECT_LT(g.visibleTo(), clock.utcMs() - kMinuteMs);  // not following
    g.fitAll();
    EXPECT_GE(g.visibleTo(), clock.utcMs() - kReadingMs);
    EXPECT_EQ(g.visibleFrom(), clock.epochUtcMs);  // the first reading

    // The main toolbar's Zoom Out works once logging has stopped; Zoom In
    // is never enabled.
    g.setShow(GraphWindow::Show::Last1);
    in().ToggleRecordOn();
    window->render();
    action("tbZoomOut")->trigger();  // disabled while logging: nothing
    EXPECT_DOUBLE_EQ(g.visibleTo() - g.visibleFrom(), kMinuteMs);
    in().ToggleRecordOn();
    window->render();
    action("tbZoomOut")->trigger();
    EXPECT_DOUBLE_EQ(g.visibleTo() - g.visibleFrom(), 2 * kMinuteMs);
    EXPECT_FALSE(action("tbZoomIn")->isEnabled());
}

TEST_F(Graph, TheDataLogAgainstSampleNumber) {
    in().ToggleRecordOn();
    replies(10, Rd("1500"));
    replies(2, Rd("1500", 'E', '0', 'G', 'O'));  // not logged
    replies(5, Rd("1600"));
    in().ToggleRecordOn();
    GraphWindow& g = graph();
    g.setShow(GraphWindow::Show::DataLog);
    EXPECT_EQ(g.plotted().readings, 15u);
    EXPECT_EQ(g.drawnSegments(), 1);  // rows follow each other: no gap
    EXPECT_DOUBLE_EQ(g.visibleFrom(), 1);
    EXPECT_DOUBLE_EQ(g.visibleTo(), 15);
    EXPECT_EQ(g.stats()->cell(QStringLiteral("Readings"), true), QStringLiteral("15"));
    EXPECT_EQ(g.stats()->cell(QStringLiteral("Peak at"), true), QStringLiteral("sample 11"));
    g.zoomIn();
    EXPECT_DOUBLE_EQ(g.visibleTo() - g.visibleFrom(), 7);
    g.zoomOut();
    g.zoomOut();  // no further than the whole log
    EXPECT_DOUBLE_EQ(g.visibleTo() - g.visibleFrom(), 14);
}

// Layout passes asked of the graph window or a part of it with a layout.
struct LayoutPasses : QObject {
    explicit LayoutPasses(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~LayoutPasses() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* w = qobject_cast<QWidget*>(o);
        if (e->type() == QEvent::LayoutRequest && w != nullptr && w->layout() != nullptr &&
            (w == window_ || window_->isAncestorOf(w))) {
            asked.push_back(w->metaObject()->className());
        }
        return false;
    }
    QWidget* window_;
    std::vector<std::string> asked;
};

TEST_F(Graph, ARefreshLaysNothingOutAndEveryFigureShowsWhole) {
    in().ToggleRecordOn();
    replies(12, Rd("1500"));
    replies(3, Rd("1500", 'E', '0', 'G', 'O'));
    GraphWindow& g = graph();
    g.resize(1000, 600);
    g.refresh();
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    const QString before = g.readoutText();

    // New figures in the table, the readout and the caption: once a second
    // while reading, and each would have the whole window laid out again.
    LayoutPasses passes(&g);
    for (const char* raw : {"0007", "1999", "0734"}) {
        reply(Rd(raw));
        g.refresh();
        QApplication::processEvents();
    }
    EXPECT_NE(g.readoutText(), before);
    EXPECT_TRUE(passes.asked.empty())
        << passes.asked.size() << " layout passes, the first of a " << passes.asked.front();
    for (QLabel* label : g.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().contains(QLatin1Char('\n'))) continue;
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()),
                  label->contentsRect().width())
            << label->text().toStdString() << " is cut";
    }
}

TEST_F(Graph, ClearPeakResetsThePeak) {
    session->showBarGraph();
    reply(Rd("1000"));
    reply(Rd("1900"));  // the peak, at 10:00:00.366 UTC
    reply(Rd("1200"));
    graph().refresh();
    EXPECT_EQ(live("Maximum (peak)"), QStringLiteral("1.9"));
    EXPECT_EQ(live("Peak at"), QStringLiteral("10:00:00"));
    EXPECT_EQ(live("Readings"), QStringLiteral("3"));
    EXPECT_EQ(session->barWindow()->peakText(), QStringLiteral("Peak 1.9 mG at 10:00:00"));

    action("mnuProbeClearPeak")->trigger();
    graph().refresh();
    EXPECT_EQ(live("Readings"), QStringLiteral("0"));
    EXPECT_EQ(live("Maximum (peak)"), QString());
    EXPECT_EQ(session->barWindow()->peakText(), QStringLiteral("Peak -"));
    reply(Rd("1100"));
    graph().refresh();
    EXPECT_EQ(live("Maximum (peak)"), QStringLiteral("1.1"));
    EXPECT_EQ(graph().plotted().readings, 4u);  // the graph keeps its readings
}

TEST_F(Graph, ExportsAndTheClipboard) {
    replies(30, Rd("1500"));
    GraphWindow& g = graph();
    const std::string png = folder.str() + "/graph.png";
    const std::string svg = folder.str() + "/graph.svg";
    ASSERT_TRUE(g.savePng(png));
    ASSERT_TRUE(g.saveSvg(svg));
    EXPECT_EQ(ReadFile(png).substr(1, 3), "PNG");
    EXPECT_NE(ReadFile(svg).find("<svg"), std::string::npos);
    // Titled with what it shows, for a report.
    EXPECT_NE(ReadFile(svg).find("QM-8204: readings from 6 Dec 2026 09:55:"), std::string::npos);
    const QImage image(QString::fromStdString(png));
    EXPECT_GE(image.width(), 2 * 300);  // twice the size on the screen

    // Through the window's own button and the save dialog.
    dialogs.saveChoice = folder.str() + "/chosen.png";
    for (QAction* a : g.findChildren<QAction*>()) {
        if (a->text() == QLatin1String("Save PNG...")) a->trigger();
    }
    EXPECT_EQ(dialogs.lastSaveRequest.defaultExt, "png");
    EXPECT_FALSE(ReadFile(folder.path() / "chosen.png").empty());

    EXPECT_FALSE(g.savePng(folder.str() + "/no-such-folder/graph.png"));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].rfind("Unable to save the graph ", 0), 0u);

    g.copyToClipboard();
    EXPECT_FALSE(QGuiApplication::clipboard()->image().isNull());
}

TEST_F(Graph, TheLargeDisplay) {
    session->showBarGraph();
    BarWindow& bar = *session->barWindow();
    EXPECT_EQ(bar.valueText(), QStringLiteral("No Probe"));
    std::string answer = Rd("1999", 'E', '2', 'V', 'N', 'A', "15");
    port.responder = [&](const std::string& cmd) { return cmd == "RD" ? answer : ""; };
    in().OpenCommPort(2);
    tick();
    EXPECT_EQ(bar.valueText(), QStringLiteral("1.999"));
    EXPECT_EQ(bar.unitText(), QStringLiteral("k V/m"));
    EXPECT_EQ(bar.rangeText(), QStringLiteral("AutoRange 2"));
    EXPECT_EQ(bar.bar()->percent(), 75);
    EXPECT_EQ(bar.warningText(), QString());
    EXPECT_FALSE(bar.valueInRed());
    // Out of range: a word in red, no digits that could pass for a value.
    answer = Rd("1999", 'E', '2', 'V', 'O');
    tick();
    EXPECT_EQ(bar.warningText(), QStringLiteral("Over Range"));
    EXPECT_EQ(bar.valueText(), QStringLiteral("OVER"));
    EXPECT_EQ(bar.unitText(), QString());
    EXPECT_TRUE(bar.valueInRed());
    answer = Rd("0000", 'E', '2', 'V', 'U');
    tick();
    EXPECT_EQ(bar.warningText(), QStringLiteral("Under Range"));
    EXPECT_EQ(bar.valueText(), QStringLiteral("UNDER"));
    EXPECT_TRUE(bar.valueInRed());
    answer = Rd("1234", 'E', '2', 'V', 'N', 'A', "15");
    tick();
    EXPECT_EQ(bar.valueText(), QStringLiteral("1.234"));
    EXPECT_FALSE(bar.valueInRed());

    // Five silent transactions: the probe is lost.
    answer.clear();
    for (int i = 0; i < 5; ++i) tick();
    EXPECT_EQ(bar.valueText(), QStringLiteral("No Probe"));
    EXPECT_EQ(bar.unitText(), QString());
    EXPECT_EQ(bar.warningText(), QString());
}

TEST_F(Graph, WindowsOpenAtExitOpenAgainWhereTheyWere) {
    graph().setShow(GraphWindow::Show::Last15);
    graph().setGeometry(150, 120, 700, 420);
    session->showBarGraph();
    session->barWindow()->close();  // closed by the operator: stays closed
    window->close();
    EXPECT_EQ(settings.values["Graph/Open"], "1");
    EXPECT_EQ(settings.values["BarGraph/Open"], "0");
    session.reset();
    window.reset();

    open();
    QApplication::processEvents();  // they open just after the main window
    ASSERT_NE(session->graphWindow(), nullptr);
    EXPECT_TRUE(session->graphWindow()->isVisible());
    EXPECT_EQ(session->graphWindow()->size(), QSize(700, 420));
    EXPECT_EQ(session->graphWindow()->shown(), GraphWindow::Show::Last15);
    EXPECT_EQ(session->barWindow(), nullptr);
}

// The data log's figures recomputed from its rows, each in its own unit:
// the unit of the newest valid row, and the valid rows of its quantity.
struct LogFigures {
    std::string unit;
    std::vector<double> values;
};
LogFigures Recompute(const Instrument& in) {
    LogFigures f;
    Quantity q = Quantity::Unknown;
    int exponent = 0;
    for (int32_t row = in.st.RecordCnt; row >= 1 && f.unit.empty(); --row) {
        const Measurement m = in.LoggedReading(row);
        if (!m.valid()) continue;
        f.unit = m.unitsLabel;
        q = m.quantity;
        exponent = LookUpUnitScale(m.unitsLabel).siExponent;
    }
    for (int32_t row = 1; row <= in.st.RecordCnt; ++row) {
        const Measurement m = in.LoggedReading(row);
        if (m.valid() && m.quantity == q) f.values.push_back(ScaleByPowerOfTen(m.si(), -exponent));
    }
    return f;
}

TEST_F(Graph, EveryChangeOfTheDataLogIsFollowed) {
    GraphWindow& g = graph();
    g.setShow(GraphWindow::Show::DataLog);
    auto check = [&](const char* what) {
        SCOPED_TRACE(what);
        g.fitAll();
        g.replot();
        const LogFigures f = Recompute(in());
        QString count = QString::number(f.values.size());
        if (static_cast<int32_t>(f.values.size()) < in().st.RecordCnt) {
            count += QStringLiteral(" of %1").arg(in().st.RecordCnt);
        }
        EXPECT_EQ(g.stats()->cell(QStringLiteral("Readings"), true), count);
        EXPECT_EQ(g.plotted().readings, f.values.size());
        if (f.values.empty()) return;
        EXPECT_EQ(g.valueTitle(), QString::fromLatin1(f.unit.c_str()));
        const auto [lo, hi] = std::minmax_element(f.values.begin(), f.values.end());
        EXPECT_EQ(g.stats()->cell(QStringLiteral("Minimum"), true), FormatValue(*lo));
        EXPECT_EQ(g.stats()->cell(QStringLiteral("Maximum (peak)"), true), FormatValue(*hi));
        EXPECT_FLOAT_EQ(static_cast<float>(g.plotted().yMax), static_cast<float>(*hi));
    };

    // Rows logged, in two units of one quantity and in another quantity.
    in().ToggleRecordOn();
    replies(3, Rd("1999", 'E', '0', 'G'));
    replies(2, Rd("1250", 'E', '1', 'T'));
    reply(Rd("1250", 'E', '1', 'T', 'U'));  // under range: never logged, never the unit
    replies(1, Rd("0500", 'E', '0', 'V'));
    replies(2, Rd("0700", 'E', '1', 'T'));
    check("logged");
    in().LabRecordCntLab_Click();
    check("erased");
    replies(2, Rd("0300", 'E', '2', 'G'));
    in().ToggleRecordOn();
    check("logged after the erase, stopped");

    // An upload in gauss, one stored reading flagged over range, while the
    // panel shows uT.
    in().mnuProbeUploadData_Click();
    in().st.UploadRecordOk = true;
    for (int32_t row = 1; row <= 3; ++row) {
        in().st.RecordCnt = row;
        in().st.ProbeData = Nx(row == 2 ? "9999" : "0880", '1', 'G', row == 2 ? 'O' : 'N');
        in().ProcessData(5);
    }
    in().st.UploadActive = 0;
    reply(Rd("1250", 'E', '1', 'T'));
    check("uploaded");

    // A log loaded from elsewhere: rows of several units.
    std::vector<LoggedRow> rows;
    for (const auto& [value, units] : std::vector<std::pair<const char*, const char*>>{
             {"1.5", "Gauss"}, {"2.5", "Gauss"}, {"3", "Tesla"}, {"40", "V/m"}}) {
        LoggedRow r;
        r.reading.valueText = value;
        r.reading.mantissa = std::stof(value);
        r.reading.exponent = std::string(units) == "Tesla" ? -6 : -3;
        r.reading.unitsText = units;
        r.reading.unitsLabel = LabelOfValue(units, r.reading.exponent);
        r.reading.quantity = LookUpUnitScale(units).quantity;
        rows.push_back(r);
    }
    std::swap(rows[2], rows[3]);  // the newest valid row is in tesla
    ASSERT_TRUE(in().LoadDataLog(rows, false, "Gauss", DataLogChange{}));
    check("loaded");
    EXPECT_EQ(g.valueTitle(), QStringLiteral("uT"));

    in().ToggleRecordOn();  // a new log starts empty
    check("started");
}

}  // namespace
}  // namespace fenwyd::ui
