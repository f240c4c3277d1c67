// Exposure on the screen, offscreen: the panel's label and its alarm beep,
// the Exposure section of Options, the graph's level lines, the large
// display's bar and the statistics' percent rows.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "support/harness.h"
#include "support/modal.h"
#include "ui/bar_window.h"
#include "ui/exposure_monitor.h"
#include "ui/exposure_options.h"
#include "ui/graph_window.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/session.h"
#include "ui/stats_view.h"

namespace fenwyd::ui {
namespace {

using namespace fenwyd::testing;
using Choice = ExposureSettings::Choice;

constexpr int64_t kReadingMs = 366;

ExposureSettings Typed(double value, const char* unit, double alarm = 100) {
    ExposureSettings s;
    s.choice = Choice::Typed;
    s.typedValue = value;
    s.typedUnit = unit;
    s.alarmPercent = alarm;
    return s;
}

ExposureSettings Standard(StandardId id, double hz) {
    ExposureSettings s;
    s.choice = Choice::Standard;
    s.standard = id;
    s.frequencyHz = hz;
    return s;
}

class Exposure : public ::testing::Test {
protected:
    void SetUp() override {
        session = std::make_unique<Session>(window, settings, clock);
        session->exposure().beep = [this] { ++beeps; };
        window.show();
    }
    // One reading (mG on range 0 unless said), interpreted and drawn.
    void reply(const std::string& raw, char units = 'G', char state = 'N') {
        window.instrument().st.ProbeData = Rd(raw, 'E', '0', units, state);
        window.instrument().ProcessData(1);
        clock.wait(kReadingMs);
        window.render();
    }
    QLabel* label() { return qobject_cast<QLabel*>(window.element(QStringLiteral("LabExposure"))); }
    QString text() { return label()->text(); }
    bool red() { return label()->palette().color(QPalette::WindowText) == QColor(255, 0, 0); }
    GraphWindow& graph() {
        session->showGraph();
        session->graphWindow()->refresh();
        return *session->graphWindow();
    }

    TempFolder folder;
    VirtualClock clock;
    FakeSerialPort port{clock};
    ScriptedDialogs dialogs;
    MemorySettings settings;
    MainWindow window{port, clock, settings, folder.str(), &dialogs};
    std::unique_ptr<Session> session;
    int beeps = 0;
};

TEST_F(Exposure, NoStandardLeavesTheLabelEmptyWithWhereToChooseOne) {
    reply("1999");
    EXPECT_EQ(text(), QString());
    EXPECT_TRUE(label()->toolTip().contains(QStringLiteral("Options, Exposure")));
    EXPECT_TRUE(label()->accessibleDescription().contains(QStringLiteral("Options, Exposure")));
    EXPECT_FALSE(window.element(QStringLiteral("LabExposureLab"))->isVisible());
    session->exposure().apply(Standard(StandardId::Icnirp2010Public, 50));
    window.render();
    EXPECT_TRUE(window.element(QStringLiteral("LabExposureLab"))->isVisible());
}

TEST_F(Exposure, TheLabelTurnsRedAtTheThresholdAndBeepsOncePerCrossing) {
    session->exposure().apply(Typed(2, "mG"));
    reply("0958");
    EXPECT_EQ(text(), QStringLiteral("47.9 %"));
    EXPECT_FALSE(red());
    EXPECT_EQ(label()->palette().color(QPalette::WindowText), QColor(0, 255, 255));
    EXPECT_EQ(label()->accessibleDescription(),
              QStringLiteral("Exposure, percent of the reference level Typed reference level: 2 "
                             "mG; alarm at 100 %"));
    reply("2000");  // at the threshold is above it
    EXPECT_EQ(text(), QStringLiteral("100 %"));
    EXPECT_TRUE(red());
    EXPECT_TRUE(label()->accessibleDescription().endsWith(
        QStringLiteral("; at or above the alarm threshold")));
    EXPECT_EQ(beeps, 1);
    reply("2500");
    EXPECT_EQ(text(), QStringLiteral("125 %"));
    reply("2500", 'G', 'O');  // over range: no percent, and no crossing
    EXPECT_EQ(text(), QString());
    EXPECT_TRUE(label()->toolTip().contains(QStringLiteral("Over range")));
    reply("3000");
    EXPECT_EQ(beeps, 1) << "still above";
    reply("1999");
    EXPECT_FALSE(red());
    reply("2001");
    EXPECT_EQ(beeps, 2);

    // Moving the threshold under the reading turns it red without a beep.
    reply("1000");
    session->exposure().apply(Typed(2, "mG", 40));
    window.render();
    EXPECT_TRUE(red());
    EXPECT_EQ(beeps, 2);
    // The beep is a setting.
    ExposureSettings quiet = Typed(2, "mG");
    quiet.beep = false;
    session->exposure().apply(quiet);
    reply("1000");
    reply("2200");
    EXPECT_TRUE(red());
    EXPECT_EQ(beeps, 2);
}

TEST_F(Exposure, TheDescriptionNamesStandardFrequencyAndLevel) {
    session->exposure().apply(Standard(StandardId::Icnirp1998Public, 60));
    reply("1999");  // 1.999 mG against 83.33 uT
    EXPECT_EQ(text(), QStringLiteral("0.23 %"));
    EXPECT_TRUE(label()->toolTip().contains(
        QStringLiteral("ICNIRP 1998 general public (1999/519/EC), 60 Hz: 833.3 mG")))
        << label()->toolTip().toStdString();
    // The directive gives no H: an A/m reading goes through B = mu0 H.
    session->exposure().apply(Standard(StandardId::Eu2013Low, 50));
    reply("1999", 'A');
    EXPECT_TRUE(label()->accessibleDescription().contains(
        QStringLiteral("Directive 2013/35/EU low action level")));
    EXPECT_TRUE(label()->toolTip().contains(QStringLiteral("through B = mu0 H")));
}

TEST_F(Exposure, OptionsKeepsTheSettingsAndRefusesBadInput) {
    auto run = [&](const std::function<void(OptionsDialog&, ExposureOptions&)>& act) {
        bool ran = false;
        auto watch = InNextDialog([&](QWidget* w) {
            auto* dlg = dynamic_cast<OptionsDialog*>(w);
            ASSERT_NE(dlg, nullptr);
            ran = true;
            act(*dlg, *dlg->exposure());
            if (dlg->isVisible()) dlg->reject();
        });
        const bool accepted = session->runOptions(&window, 2, false);
        window.render();
        EXPECT_TRUE(ran);
        return accepted;
    };
    auto ok = [](OptionsDialog& dlg) {
        dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    };
    reply("1999");
    EXPECT_TRUE(run([&](OptionsDialog& dlg, ExposureOptions& e) {
        EXPECT_EQ(e.standardBox()->currentIndex(), 0);  // none yet
        EXPECT_EQ(e.frequencyEdit()->text(), QStringLiteral("50"));
        e.standardBox()->setCurrentIndex(3);  // ICNIRP 1998 general public
        e.hzButton(60)->click();
        e.alarmEdit()->setText(QStringLiteral("80 %"));
        e.beepBox()->setChecked(false);
        EXPECT_TRUE(e.noteLabel()->text().contains(QStringLiteral("B 83.33 uT")));
        ok(dlg);
    }));
    EXPECT_EQ(settings.values["Exposure/Standard"], "icnirp1998-public");
    EXPECT_EQ(settings.values["Exposure/Frequency"], "60");
    EXPECT_EQ(settings.values["Exposure/AlarmPercent"], "80");
    EXPECT_EQ(settings.values["Exposure/Beep"], "false");
    EXPECT_EQ(text(), QStringLiteral("0.23 %")) << "applied at once";

    // Bad entries: OK is refused with the reason; nothing is stored.
    EXPECT_FALSE(run([&](OptionsDialog& dlg, ExposureOptions& e) {
        EXPECT_EQ(e.standardBox()->currentIndex(), 3);
        EXPECT_EQ(e.frequencyEdit()->text(), QStringLiteral("60"));
        EXPECT_EQ(e.alarmEdit()->text(), QStringLiteral("80"));
        EXPECT_FALSE(e.beepBox()->isChecked());
        e.frequencyEdit()->setText(QStringLiteral("5 kHz"));
        ok(dlg);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(e.noteLabel()->text(),
                  QStringLiteral("The frequency must be from 1 Hz to 3 kHz."));
        e.frequencyEdit()->setText(QStringLiteral("50"));
        e.standardBox()->setCurrentIndex(e.standardBox()->count() - 1);  // typed
        e.levelEdit()->setText(QStringLiteral("-3"));
        ok(dlg);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(e.noteLabel()->text(),
                  QStringLiteral("The reference level must be a number above zero."));
        e.levelEdit()->setText(QStringLiteral("0.1"));
        e.alarmEdit()->setText(QStringLiteral("abc"));
        ok(dlg);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(e.noteLabel()->text(),
                  QStringLiteral("The alarm threshold must be a number of percent above zero."));
    }));
    EXPECT_EQ(settings.values["Exposure/Standard"], "icnirp1998-public");
    EXPECT_EQ(settings.values["Exposure/Frequency"], "60");

    // A typed level in a unit of its own: a mA/m level stored by its name.
    EXPECT_TRUE(run([&](OptionsDialog& dlg, ExposureOptions& e) {
        e.standardBox()->setCurrentIndex(e.standardBox()->count() - 1);
        e.levelEdit()->setText(QStringLiteral("250"));
        e.unitBox()->setCurrentIndex(e.unitBox()->findText(QStringLiteral("mA/m")));
        ok(dlg);
    }));
    EXPECT_EQ(settings.values["Exposure/Standard"], "typed");
    EXPECT_EQ(settings.values["Exposure/TypedUnit"], "m A/m");
    EXPECT_EQ(LoadExposure(settings).typedValue, 250);
}

TEST_F(Exposure, TheGraphDrawsTheLevelAndTheThresholdInItsUnit) {
    // A level typed in uT, readings in mG: the lines in mG.
    session->exposure().apply(Typed(0.2, "uT", 80));
    for (const char* raw : {"1000", "1500", "1900"}) reply(raw);
    GraphWindow& g = graph();
    EXPECT_EQ(g.valueTitle(), QStringLiteral("mG"));
    ASSERT_TRUE(g.levelLine().has_value());
    ASSERT_TRUE(g.alarmLine().has_value());
    EXPECT_DOUBLE_EQ(*g.levelLine(), 2);
    EXPECT_DOUBLE_EQ(*g.alarmLine(), 1.6);
    EXPECT_GE(g.valueMax(), 2.0) << "the level is on the axis";

    // At 100 % the threshold is the level: one line.
    session->exposure().apply(Typed(0.2, "uT"));
    g.refresh();
    EXPECT_DOUBLE_EQ(*g.levelLine(), 2);
    EXPECT_FALSE(g.alarmLine().has_value());
    EXPECT_EQ(g.levelLineName(), QStringLiteral("Reference level = alarm 2 mG"));

    // A level far above the readings is not drawn; none for another quantity.
    session->exposure().apply(Standard(StandardId::Icnirp2010Public, 50));
    g.refresh();
    EXPECT_FALSE(g.levelLine().has_value());
    EXPECT_LT(g.valueMax(), 10);
    session->exposure().apply(Typed(100, "V/m"));
    g.refresh();
    EXPECT_FALSE(g.levelLine().has_value());
}

// Readings at or above the threshold, and the time from each of them to
// the next reply, of (time, percent) pairs; a negative percent is a reply
// without a value.
struct Above {
    int count = 0;
    int64_t ms = 0;
};
Above CountAbove(const std::vector<std::pair<int64_t, double>>& replies, double threshold) {
    Above a;
    for (std::size_t i = 0; i < replies.size(); ++i) {
        if (replies[i].second < threshold) continue;
        ++a.count;
        if (i + 1 < replies.size()) a.ms += replies[i + 1].first - replies[i].first;
    }
    return a;
}

TEST_F(Exposure, StatisticsRowsAgreeWithARecomputation) {
    session->exposure().apply(Typed(2, "mG", 90));
    window.instrument().ToggleRecordOn();
    const std::vector<const char*> raws = {"1000", "1900", "2100", "1700", "1800", "1999",
                                           "0500", "2400", "over", "2400", "0100", "1850"};
    std::vector<std::pair<int64_t, double>> live, log;
    for (const char* raw : raws) {
        const bool over = std::string(raw) == "over";
        const double percent = over ? -1 : std::stod(raw) / 1000 / 2 * 100;
        live.emplace_back(clock.utcMs(), percent);
        if (!over) log.emplace_back(clock.utcMs(), percent);  // not logged
        reply(over ? "1800" : raw, 'G', over ? 'O' : 'N');
    }
    window.instrument().ToggleRecordOn();

    double max = 0, sum = 0;
    for (const auto& [at, percent] : log) {
        max = std::max(max, percent);
        sum += percent;
    }
    const QString mean =
        QString::fromStdString(FormatPercent(sum / static_cast<double>(log.size())));
    StatsView& stats = *graph().stats();
    for (bool inLog : {false, true}) {
        SCOPED_TRACE(inLog ? "data log" : "live");
        const Above a = CountAbove(inLog ? log : live, 90);
        EXPECT_EQ(stats.cell(QStringLiteral("Maximum, % of level"), inLog),
                  QStringLiteral("120 %"));
        EXPECT_EQ(stats.cell(QStringLiteral("Mean, % of level"), inLog), mean);
        EXPECT_EQ(stats.cell(QStringLiteral("At or above alarm"), inLog), QString::number(a.count));
        EXPECT_EQ(stats.cell(QStringLiteral("Time at or above alarm"), inLog),
                  FormatDuration(a.ms));
    }
    EXPECT_EQ(max, 120);
    // The over-range reply ends a stretch live; the log does not hold it.
    EXPECT_EQ(CountAbove(live, 90).ms, 6 * kReadingMs);
    EXPECT_EQ(CountAbove(log, 90).ms, 7 * kReadingMs);

    // Clear Peak starts the live figures again; a new threshold recounts.
    session->history().clearPeak();
    reply("1950");
    session->exposure().apply(Typed(2, "mG", 99));
    graph();
    EXPECT_EQ(stats.cell(QStringLiteral("At or above alarm"), false), QStringLiteral("0"));
    EXPECT_EQ(stats.cell(QStringLiteral("At or above alarm"), true),
              QString::number(CountAbove(log, 99).count));

    session->showBarGraph();
    EXPECT_EQ(session->barWindow()->exposureText(),
              QStringLiteral("97.5 % of Typed reference level: 2 mG"));
    EXPECT_DOUBLE_EQ(session->barWindow()->exposureBar()->percent(), 97.5);
}

// The large display's fonts follow its height: rows added for the exposure
// must not make it grow (which grew the fonts, which grew it further).
TEST_F(Exposure, TheLargeDisplayKeepsItsSizeWithTheExposureRows) {
    session->showBarGraph();
    BarWindow& bar = *session->barWindow();
    bar.resize(760, 520);
    QApplication::processEvents();
    session->exposure().apply(Typed(2, "mG", 90));
    reply("1500");
    QApplication::processEvents();
    EXPECT_EQ(bar.size(), QSize(760, 520));
    EXPECT_TRUE(bar.exposureBar()->isVisible());
    EXPECT_EQ(bar.exposureText(), QStringLiteral("75 % of Typed reference level: 2 mG"));
    EXPECT_DOUBLE_EQ(bar.exposureBar()->fullScale(), 100);
    session->exposure().apply(Typed(2, "mG", 130));
    EXPECT_DOUBLE_EQ(bar.exposureBar()->fullScale(), 150);
    session->exposure().apply(ExposureSettings());
    EXPECT_FALSE(bar.exposureBar()->isVisible());
}

}  // namespace
}  // namespace fenwyd::ui
