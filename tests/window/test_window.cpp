// The main window as drawn (offscreen), at the scale the test runs with
// (QT_FONT_DPI 96, 144 or 192): everything the operator must reach is on
// the window and on a screen, and texts show whole.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QPaintEvent>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <map>
#include <string>
#include <vector>

#include "qt/qt_platform.h"
#include "support/fakes.h"
#include "support/files.h"
#include "support/harness.h"
#include "support/home.h"
#include "ui/dialogs.h"
#include "ui/face.h"
#include "ui/main_window.h"
#include "ui/text.h"
#include "ui/twips.h"

namespace fenwyd::testing {
namespace {

constexpr int kDesignWidthTwips = 4725;

struct Window {
    TempFolder folder;
    VirtualClock clock;
    FakeSerialPort port{clock};
    ScriptedDialogs dialogs;
    MemorySettings settings;
    ui::MainWindow w{port, clock, settings, folder.str(), &dialogs};
    Window() {
        w.show();
        QApplication::processEvents();
    }
};

TEST(Window, ThePanelIsBuiltAndNamedFromTheFaceTable) {
    Window win;
    for (const ui::FaceElement& e : ui::Face()) {
        SCOPED_TRACE(e.name);
        QWidget* w = win.w.element(QString::fromLatin1(e.name));
        ASSERT_NE(w, nullptr);
        // The fills stretch with the window; what lies right of the designed
        // width may move further right (see the toolbar row).
        const QRect place = ui::TwRect(&win.w, e.left, e.top, e.width, e.height);
        if (e.kind != ui::FaceKind::Background) {
            if (e.left + e.width <= kDesignWidthTwips) {
                EXPECT_EQ(w->pos(), place.topLeft());
            }
            if (e.kind != ui::FaceKind::Command) {
                EXPECT_EQ(w->size(), place.size());
            }
        }
        if (e.accessibleName != nullptr) {
            EXPECT_EQ(w->accessibleName(), QString::fromLatin1(e.accessibleName));
        }
        EXPECT_EQ(w->accessibleDescription(), ui::DescriptionOf(e));
        if (e.toolTip != nullptr) {
            EXPECT_EQ(w->toolTip(), QString::fromLatin1(e.toolTip));
        }
        if (e.kind == ui::FaceKind::Label && e.family != nullptr) {
            EXPECT_EQ(w->font().pointSizeF(), e.points);
            EXPECT_EQ(w->font().bold(), e.bold);
        }
    }
    // Every label that shows a value is bound to the view state: what the
    // logic shows is what is on the panel.
    Instrument& in = win.w.instrument();
    in.view.LabRange.caption = "AutoRange 3";
    in.view.LabExposure.caption = "47.9 %";
    win.w.render();
    for (const char* name : {"LabRange", "LabExposure"}) {
        auto* label = qobject_cast<QLabel*>(win.w.element(QString::fromLatin1(name)));
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->text().toStdString(), name[3] == 'R' ? "AutoRange 3" : "47.9 %");
    }
}

TEST(Window, EveryToolbarButtonAndTheListAreOnTheWindowAndApart) {
    Window win;
    auto* bar = qobject_cast<QToolBar*>(win.w.element(QStringLiteral("tbToolBar")));
    ASSERT_NE(bar, nullptr);
    std::vector<std::pair<QString, QRect>> places;
    for (QAction* a : bar->actions()) {
        if (a->isSeparator()) continue;
        QWidget* button = bar->widgetForAction(a);
        ASSERT_NE(button, nullptr) << a->toolTip().toStdString();
        EXPECT_TRUE(button->isVisible()) << a->toolTip().toStdString() << " hidden in the overflow";
        places.emplace_back(a->toolTip(), QRect(button->mapTo(&win.w, QPoint()), button->size()));
    }
    EXPECT_EQ(places.size(), 10u) << "the nine buttons of the toolbar, and Mark Point";
    QWidget* list = win.w.element(QStringLiteral("CmbSampleRate"));
    places.emplace_back(QStringLiteral("sample-rate list"),
                        QRect(list->mapTo(&win.w, QPoint()), list->size()));
    for (std::size_t i = 0; i < places.size(); ++i) {
        const auto& [name, r] = places[i];
        EXPECT_TRUE(win.w.rect().contains(r)) << name.toStdString() << " outside the window";
        for (std::size_t j = i + 1; j < places.size(); ++j) {
            EXPECT_FALSE(r.intersects(places[j].second))
                << name.toStdString() << " overlaps " << places[j].first.toStdString();
        }
    }
    EXPECT_GT(places.back().second.left(), places[places.size() - 2].second.right())
        << "the list is right of the buttons";
}

TEST(Window, ALongStatusMessageShowsWholeAtTheFirstSize) {
    Window win;
    auto* panel = qobject_cast<QLabel*>(win.w.element(QStringLiteral("sbStatusBar1")));
    ASSERT_NE(panel, nullptr);
    for (const char* text :
         {"Uploading 32000 data points.  Please wait...", "Saved 32000 data points.", "QM-8204"}) {
        win.w.instrument().view.StatusText = text;
        win.w.render();
        win.w.statusBar()->layout()->activate();
        QApplication::processEvents();
        EXPECT_LE(panel->fontMetrics().horizontalAdvance(panel->text()),
                  panel->contentsRect().width())
            << text;
    }
}

TEST(Window, NoProbeIsNotDrawnLikeAReading) {
    Window win;
    win.w.instrument().ClearDisplay();
    win.w.render();
    auto* field = qobject_cast<QLabel*>(win.w.element(QStringLiteral("LabXYZField")));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), QStringLiteral("No Probe"));
    EXPECT_NE(field->palette().color(QPalette::WindowText), QColor(0, 192, 0));
}

// Counts what the window is asked to do: layout passes anywhere in it, and
// paints of the widgets watched.
struct WorkCounter : QObject {
    explicit WorkCounter(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~WorkCounter() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* w = qobject_cast<QWidget*>(o);
        if (w != nullptr && (w == window_ || window_->isAncestorOf(w))) {
            if (e->type() == QEvent::LayoutRequest) layouts.push_back(w->metaObject()->className());
            if (e->type() == QEvent::Paint) {
                ++paints[w];
                painted[w] |= static_cast<QPaintEvent*>(e)->rect();
            }
        }
        return false;
    }
    QWidget* window_;
    std::vector<std::string> layouts;
    std::map<QWidget*, int> paints;
    std::map<QWidget*, QRect> painted;  // the area, in the widget's own coordinates
};

// Everything the window has left to do; each pass may post the next.
void Settle() {
    for (int pass = 0; pass < 5; ++pass) {
        QCoreApplication::sendPostedEvents();
        QApplication::processEvents();
    }
}

void Reply(ui::MainWindow& w, const std::string& text) {
    w.instrument().st.ProbeData = text;
    w.instrument().ProcessData(1);
    QApplication::processEvents();
}

TEST(Window, ReadingsLayNothingOutAndLeaveTheStatusBarAlone) {
    Window win;
    Reply(win.w, Rd("1000"));  // the first shows the model, units and range
    Settle();
    WorkCounter counter(&win.w);
    for (const char* raw : {"1999", "0020", "1500", "0734", "1100", "1234"}) {
        Reply(win.w, Rd(raw));
    }
    auto* field = qobject_cast<QLabel*>(win.w.element(QStringLiteral("LabXYZField")));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), QStringLiteral("1.234"));
    EXPECT_GE(counter.paints[field], 1) << "the new value is painted";
    EXPECT_TRUE(counter.layouts.empty())
        << counter.layouts.size() << " layout passes, the first in a " << counter.layouts.front();
    for (QLabel* panel : win.w.statusBar()->findChildren<QLabel*>()) {
        if (panel->accessibleDescription() == QStringLiteral("Time")) continue;  // ticks
        EXPECT_EQ(counter.paints[panel], 0) << panel->text().toStdString() << " repainted";
    }
}

TEST(Window, ANewTimeRepaintsTheClockAlone) {
    Window win;
    QLabel* clock = nullptr;
    for (QLabel* panel : win.w.statusBar()->findChildren<QLabel*>()) {
        if (panel->accessibleDescription() == QStringLiteral("Time")) clock = panel;
    }
    ASSERT_NE(clock, nullptr);
    auto* baud = qobject_cast<QLabel*>(win.w.element(QStringLiteral("sbStatusBar2")));
    ASSERT_NE(baud, nullptr);
    EXPECT_EQ(clock->height(), baud->height()) << "as high as its neighbours";
    Settle();
    WorkCounter counter(&win.w);
    // The longest time of day the locale writes shows whole.
    const QString latest = QLocale::system().toString(QTime(23, 58, 58), QLocale::ShortFormat);
    clock->setText(latest);
    QApplication::processEvents();
    EXPECT_LE(clock->fontMetrics().horizontalAdvance(latest), clock->contentsRect().width());
    EXPECT_TRUE(counter.layouts.empty()) << "the status bar laid out again";
    EXPECT_EQ(counter.paints[baud], 0);
    // Behind the clock's panel only, if at all.
    const QRect behind = counter.painted[win.w.statusBar()];
    EXPECT_TRUE(behind.isEmpty() || clock->geometry().contains(behind))
        << "the status bar painted whole";
}

TEST(Window, TheRawRepliesBeyondTheFirstSizeAreAllThereWhenTheWindowGrows) {
    Window win;
    auto* list = qobject_cast<QListWidget*>(win.w.element(QStringLiteral("List1")));
    ASSERT_NE(list, nullptr);
    for (int i = 0; i < 30; ++i) Reply(win.w, Rd(QString::number(1000 + i).toStdString()));
    // Out of sight at the first size, it is not shown (nor filled and laid
    // out at each reply); the window keeps every reply for it.
    EXPECT_FALSE(list->isVisible());
    win.w.resize(list->geometry().right() + 40, list->geometry().bottom() + 80);
    QApplication::processEvents();
    ASSERT_TRUE(list->isVisible());
    EXPECT_FALSE(list->visibleRegion().isEmpty());
    ASSERT_EQ(list->count(), 30);
    EXPECT_EQ(list->item(29)->text(), QString::fromStdString(Rd("1029")));
    EXPECT_EQ(list->currentRow(), 29) << "kept at the newest reply";
    Reply(win.w, Rd("2000"));
    EXPECT_EQ(list->currentRow(), 30);
}

TEST(Window, APlaceOffEveryScreenOpensOnTheNearestOne) {
    Window win;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QPoint twips :
         {QPoint(10000000, 10000000), QPoint(-900000, 300), QPoint(1000, 1000)}) {
        win.w.moveWindowTwips(twips.x(), twips.y());
        EXPECT_TRUE(screen.contains(win.w.frameGeometry().topLeft()))
            << twips.x() << "," << twips.y();
    }
}

TEST(Dialogs, AHugeQuestionIsCutToTheScreen) {
    const QFontMetrics fm(QApplication::font());
    const QString prompt = QString(1 << 20, QLatin1Char('Q')) + QStringLiteral("\nsecond line");
    const QString fitted = ui::FitPrompt(prompt, fm, 600);
    for (const QString& line : fitted.split(QLatin1Char('\n'))) {
        EXPECT_LE(fm.horizontalAdvance(line), 600);
    }
    EXPECT_LE(fitted.split(QLatin1Char('\n')).size(), 8);
    EXPECT_EQ(ui::FitPrompt(QStringLiteral("Where?"), fm, 600), QStringLiteral("Where?"));
}

TEST(Text, FileNamesShowAsTyped) {
    const QString typed = QStringLiteral("/tmp/Pr\u00fcfung \u03a9/run.csv");
    EXPECT_EQ(ui::Qs(ui::Local8(typed)), typed);
    EXPECT_EQ(ui::Qs("Unable to save the data file " + ui::Local8(typed) + ".  Permission denied"),
              QStringLiteral("Unable to save the data file ") + typed +
                  QStringLiteral(".  Permission denied"));
}

TEST(DateLine, TheYearHasFourDigitsInEveryLocale) {
    const QDate day(2026, 12, 6);
    const struct {
        const char* locale;
        const char* text;
    } cases[] = {
        {"en_US", "12/6/2026"},  {"de_DE", "06.12.2026"},   {"C", "6 Dec 2026"},
        {"en_GB", "06/12/2026"}, {"ko_KR", "2026. 12. 6."}, {"sv_SE", "2026-12-06"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShortDateFullYear(QLocale(QString::fromLatin1(c.locale)), day).toStdString(),
                  c.text)
            << c.locale;
    }
}

}  // namespace
}  // namespace fenwyd::testing

int main(int argc, char** argv) {
    const fenwyd::testing::PrivateHome home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    fenwyd::ui::InstallFontSubstitutes();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
