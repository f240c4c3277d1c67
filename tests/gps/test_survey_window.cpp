// Survey points and positions in the window (offscreen): the points window
// opening on the first mark and its edits reaching the journal, the Mark
// Point key, the GPS section of Options, the exports read back by Python,
// and a real gpsd fed by gpsfake putting its fix in the status bar and in a
// marked point.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolBar>

#include "journal/journal.h"
#include "support/fake_gpsd.h"
#include "support/fakes.h"
#include "support/harness.h"
#include "support/modal.h"
#include "ui/main_window.h"
#include "ui/points_window.h"
#include "ui/session.h"
#include "ui/survey_session.h"
#include "ui/widgets.h"

namespace fenwyd::testing {
namespace {

bool Await(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

struct FixedPositions : PositionSource {
    std::optional<Position> fix;
    std::optional<Position> positionAt(int64_t) override { return fix; }
};

// The window and its session over a journal of their own, reading from a
// scripted probe.
struct Window {
    Window() {
        port.responder = [](const std::string& cmd) { return cmd == "RD" ? Rd("1250") : ""; };
        EXPECT_TRUE(journal.open((folder.path() / "journal.sqlite").string()));
    }
    ~Window() {
        if (w) w->instrument().SetPositionSource(nullptr);
    }
    void start(bool realDialogs = false) {
        w = std::make_unique<ui::MainWindow>(port, clock, settings, folder.str(),
                                             realDialogs ? nullptr : &dialogs, folder.str());
        session = std::make_unique<ui::Session>(*w, settings, clock, &journal);
        w->show();
        QApplication::processEvents();
        w->instrument().OpenCommPort(2);
    }
    void tick() {
        w->instrument().HRTReadProbe_Timer();
        clock.runUntil([this] { return !w->instrument().InTransaction(); });
    }
    ui::SurveySession& survey() { return session->survey(); }
    void mark() {
        w->menuAction(QStringLiteral("mnuProbeMarkPoint"))->trigger();
        QApplication::processEvents();
    }
    int64_t logId() { return journal.logs().at(0).id; }

    TempFolder folder;
    VirtualClock clock;
    FakeSerialPort port{clock};
    ScriptedDialogs dialogs;
    MemorySettings settings;
    journal::Journal journal;
    std::unique_ptr<ui::MainWindow> w;
    std::unique_ptr<ui::Session> session;
};

QString Cell(QTableWidget* t, int row, int column) {
    QTableWidgetItem* item = t->item(row, column);
    return item == nullptr ? QString() : item->text();
}

TEST(SurveyWindow, ThePointsWindowOpensOnTheFirstMarkAndItsEditsReachTheJournal) {
    Window win;
    win.start();
    QAction* mark = win.w->menuAction(QStringLiteral("mnuProbeMarkPoint"));
    ASSERT_NE(mark, nullptr);
    EXPECT_FALSE(mark->isEnabled()) << "\"No Probe\": nothing to mark";
    win.tick();
    EXPECT_TRUE(mark->isEnabled());
    EXPECT_EQ(win.survey().pointsWindow(), nullptr);
    win.mark();
    ui::PointsWindow* pw = win.survey().pointsWindow();
    ASSERT_NE(pw, nullptr);
    EXPECT_TRUE(pw->isVisible());
    QTableWidget* t = pw->table();
    ASSERT_EQ(t->rowCount(), 1);
    EXPECT_EQ(Cell(t, 0, ui::PointsWindow::kPoint), "P1");
    EXPECT_EQ(Cell(t, 0, ui::PointsWindow::kValue).toStdString(), "1.25 mG");
    EXPECT_EQ(Cell(t, 0, ui::PointsWindow::kPosition), "No fix");
    EXPECT_EQ(pw->selectedNumber(), 1) << "the point just marked";
    QLabel* said = win.w->findChild<QLabel*>(QStringLiteral("pointsState"));
    ASSERT_NE(said, nullptr);
    EXPECT_EQ(said->text(), "P1 marked");
    // Read out as the other panels are: the text, then what it is.
    QAccessibleInterface* readOut = QAccessible::queryAccessibleInterface(said);
    ASSERT_NE(readOut, nullptr);
    EXPECT_EQ(readOut->text(QAccessible::Name).toStdString(), "P1 marked");
    EXPECT_EQ(readOut->text(QAccessible::Description).toStdString(), "Survey points");

    pw->nameEdit()->setText(QStringLiteral("Gate A"));
    emit pw->nameEdit()->editingFinished();
    pw->placeEdit()->setText(QStringLiteral("B4 (3.5, -2)"));
    emit pw->placeEdit()->editingFinished();
    pw->noteEdit()->setText(QStringLiteral("by the fence"));
    emit pw->noteEdit()->editingFinished();
    EXPECT_EQ(Cell(t, 0, ui::PointsWindow::kName), "Gate A");
    EXPECT_EQ(Cell(t, 0, ui::PointsWindow::kPosition), "B4 (3.5, -2)");
    EXPECT_EQ(Cell(t, 0, ui::PointsWindow::kNote), "by the fence");
    std::vector<journal::StoredPoint> kept;
    ASSERT_TRUE(win.journal.points(win.logId(), kept));
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].point.name, "Gate A");
    EXPECT_EQ(kept[0].place, "B4 (3.5, -2)");
    EXPECT_EQ(kept[0].point.note, "by the fence");

    win.tick();
    win.mark();
    ASSERT_EQ(t->rowCount(), 2);
    EXPECT_EQ(pw->selectedNumber(), 2);
    EXPECT_TRUE(pw->nameEdit()->text().isEmpty()) << "P2's fields, not P1's";
    win.dialogs.yesNoAnswers = {false, true};
    pw->select(1);
    pw->deleteButton()->click();
    EXPECT_EQ(t->rowCount(), 2) << "answered No";
    pw->deleteButton()->click();
    ASSERT_EQ(t->rowCount(), 1);
    EXPECT_EQ(Cell(t, 0, ui::PointsWindow::kPoint), "P2");
    ASSERT_TRUE(win.journal.points(win.logId(), kept));
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].point.number, 2);

    for (QWidget* control :
         {static_cast<QWidget*>(t), static_cast<QWidget*>(pw->nameEdit()),
          static_cast<QWidget*>(pw->placeEdit()), static_cast<QWidget*>(pw->noteEdit())}) {
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    }
}

TEST(SurveyWindow, MarkPointHasAKeyOfItsOwnAndAToolbarButton) {
    Window win;
    win.start();
    QAction* mark = win.w->menuAction(QStringLiteral("mnuProbeMarkPoint"));
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(mark->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));
    std::map<QString, QString> taken;
    for (QAction* a : win.w->findChildren<QAction*>()) {
        if (a->shortcut().isEmpty()) continue;
        const QString key = a->shortcut().toString();
        EXPECT_TRUE(taken.emplace(key, a->objectName()).second)
            << key.toStdString() << ": " << a->objectName().toStdString() << " and "
            << taken[key].toStdString();
    }
    // The panel's clickable labels have keys of their own.
    for (QLabel* label : win.w->findChildren<QLabel*>()) {
        if (auto* l = dynamic_cast<ui::ClickLabel*>(label)) {
            EXPECT_NE(l->shortcut(), mark->shortcut()) << l->objectName().toStdString();
        }
    }
    auto* toolbar = win.w->findChild<QToolBar*>();
    ASSERT_NE(toolbar, nullptr);
    EXPECT_TRUE(toolbar->actions().contains(mark));
}

TEST(SurveyWindow, OptionsTurnGpsdOnAndOffAndKeepTheSettings) {
    Window win;
    win.start(true);
    const int freePort = FreeLocalPort();  // nobody listens there
    bool refused = false;
    auto answer = InNextDialog([&](QWidget* dialog) {
        auto* use = dialog->findChild<QCheckBox*>(QStringLiteral("useGpsd"));
        auto* host = dialog->findChild<QLineEdit*>(QStringLiteral("gpsdHost"));
        auto* port = dialog->findChild<QSpinBox*>(QStringLiteral("gpsdPort"));
        auto* dwell = dialog->findChild<QSpinBox*>(QStringLiteral("dwellSeconds"));
        ASSERT_TRUE(use && host && port && dwell);
        EXPECT_FALSE(use->isChecked()) << "off by default";
        EXPECT_EQ(port->value(), 2947);
        use->setChecked(true);
        host->setText(QStringLiteral("no host"));
        auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        ok->click();
        refused = dialog->isVisible();
        host->setText(QStringLiteral("127.0.0.1"));
        port->setValue(freePort);
        dwell->setValue(5);
        ok->click();
    });
    win.session->showOptions();
    EXPECT_TRUE(refused) << "a host that cannot be used keeps Options open";
    EXPECT_EQ(win.settings.get("GPS", "UseGpsd", ""), "1");
    EXPECT_EQ(win.settings.get("GPS", "Host", ""), "127.0.0.1");
    EXPECT_EQ(win.settings.get("GPS", "Port", ""), std::to_string(freePort));
    EXPECT_EQ(win.settings.get("Points", "DwellSeconds", ""), "5");
    QLabel* gps = win.survey().gpsPanel();
    EXPECT_TRUE(gps->isVisibleTo(win.w.get()));
    EXPECT_EQ(gps->text(), "GPS waiting for gpsd");
    // Readings go on without gpsd.
    for (int i = 0; i < 3; ++i) win.tick();
    EXPECT_EQ(win.w->instrument().view.LabXYZField.caption, "1.25");

    answer = InNextDialog([&](QWidget* dialog) {
        dialog->findChild<QCheckBox*>(QStringLiteral("useGpsd"))->setChecked(false);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    win.session->showOptions();
    EXPECT_EQ(win.settings.get("GPS", "UseGpsd", ""), "0");
    EXPECT_FALSE(gps->isVisibleTo(win.w.get()));
    EXPECT_EQ(win.survey().gps()->state(), GpsState::Off);
}

// What a Python script (given the file as argv[1]) printed, as JSON.
QJsonDocument ReadWithPython(const char* script, const std::string& file) {
    TempFolder home;
    QProcess p;
    p.setProcessEnvironment(IsolatedEnvironment(home));
    p.start(QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3",
            {"-c", script, QString::fromStdString(file)});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        ADD_FAILURE() << "python: " << p.readAllStandardError().toStdString();
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput());
}

Position At(double lat, double lon) {
    Position p;
    p.latitude = lat;
    p.longitude = lon;
    p.altitudeM = 61.7;
    p.fix = FixMode::ThreeD;
    return p;
}

TEST(SurveyWindow, ExportsAreReadBackWithLongitudeFirstAndNoPlaceInvented) {
    Window win;
    win.start();
    FixedPositions gps;
    win.w->instrument().SetPositionSource(&gps);
    win.w->instrument().ToggleRecordOn();
    gps.fix = At(52.2050, -1.5100);
    win.tick();
    win.mark();  // P1 with a fix
    gps.fix = At(52.2051, -1.5102);
    win.tick();
    gps.fix.reset();
    win.tick();
    win.mark();  // P2 indoors
    win.survey().book().setPlace(2, "B4");
    win.w->instrument().ToggleRecordOn();

    const std::string geojson = (win.folder.path() / "walk.geojson").string();
    win.dialogs.saveChoice = geojson;
    win.survey().exportSurvey(QStringLiteral("GeoJSON"));
    EXPECT_EQ(win.dialogs.lastSaveRequest.defaultExt, "geojson");
    const QJsonArray features =
        ReadWithPython(
            "import json, sys\n"
            "print(json.dumps(json.load(open(sys.argv[1], encoding='utf-8'))))\n",
            geojson)
            .object()
            .value("features")
            .toArray();
    ASSERT_EQ(features.size(), 2 + 2 + 1) << "2 points, 2 rows with a fix, the track";
    const QJsonObject p1 = features[0].toObject();
    EXPECT_EQ(p1.value("properties").toObject().value("point"), "P1");
    EXPECT_EQ(p1.value("geometry").toObject().value("coordinates"), QJsonArray({-1.51, 52.205}))
        << "longitude first";
    const QJsonObject p2 = features[1].toObject();
    EXPECT_TRUE(p2.value("geometry").isNull()) << "no fix, no coordinates";
    EXPECT_EQ(p2.value("properties").toObject().value("grid"), "B4");
    EXPECT_EQ(features[4].toObject().value("geometry").toObject().value("coordinates"),
              QJsonArray({QJsonArray{-1.51, 52.205}, QJsonArray{-1.5102, 52.2051}}));

    const std::string kml = (win.folder.path() / "walk.kml").string();
    win.dialogs.saveChoice = kml;
    win.survey().exportSurvey(QStringLiteral("KML"));
    const QJsonArray placemarks =
        ReadWithPython(
            "import json, sys, xml.etree.ElementTree as ET\n"
            "k = '{http://www.opengis.net/kml/2.2}'\n"
            "print(json.dumps([[c.text for c in p.iter(k + 'coordinates')]\n"
            "    for p in ET.parse(sys.argv[1]).getroot().iter(k + 'Placemark')]))\n",
            kml)
            .array();
    ASSERT_EQ(placemarks.size(), 2 + 1);
    EXPECT_EQ(placemarks[0], QJsonArray({"-1.5100000,52.2050000,61.7"}));
    EXPECT_EQ(placemarks[1], QJsonArray());

    const std::string csv = (win.folder.path() / "points.csv").string();
    win.dialogs.saveChoice = csv;
    win.survey().pointsWindow()->exportButton(QStringLiteral("CSV"))->click();
    const QJsonArray rows =
        ReadWithPython(
            "import csv, json, sys\n"
            "print(json.dumps(list(csv.DictReader(open(sys.argv[1], newline='', "
            "encoding='utf-8')))))\n",
            csv)
            .array();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(win.dialogs.count("message"), 0);
}

TEST(SurveyWindow, AFixFromGpsfakeReachesTheStatusBarAndAMarkedPoint) {
    if (!FakeGpsd::Installed()) GTEST_SKIP() << "no gpsfake (Debian gpsd-clients)";
    FakeGpsd gpsd;
    std::string why;
    ASSERT_TRUE(gpsd.start(NmeaLog("fix-3d.nmea"), why)) << why;
    Window win;
    win.settings.set("GPS", "UseGpsd", "1");
    win.settings.set("GPS", "Host", "127.0.0.1");
    win.settings.set("GPS", "Port", std::to_string(gpsd.port));
    win.start();
    QLabel* gps = win.survey().gpsPanel();
    ASSERT_TRUE(Await([&] { return gps->text() == "GPS 3D fix"; }, 30000))
        << gps->text().toStdString();
    win.w->instrument().ToggleRecordOn();
    win.tick();
    win.mark();
    ASSERT_EQ(win.survey().book().points().size(), 1u);
    const std::optional<Position>& at = win.survey().book().points()[0].point.position;
    ASSERT_TRUE(at) << "marked with the fed fix";
    EXPECT_NEAR(at->latitude, 52.2053, 1e-7);
    EXPECT_NEAR(at->longitude, -1.51, 1e-7);
    EXPECT_NE(ui::PositionText(win.survey().book().points()[0]).indexOf("52.205300° N"), -1);

    // gpsd goes away: the status bar says so, reading and logging go on.
    gpsd.stop();
    ASSERT_TRUE(Await([&] { return gps->text() == "GPS waiting for gpsd"; }, 30000));
    const int32_t before = win.w->instrument().st.RecordCnt;
    for (int i = 0; i < 3; ++i) win.tick();
    EXPECT_EQ(win.w->instrument().st.RecordCnt, before + 3);
    EXPECT_FALSE(win.w->instrument().LoggedReading(before + 3).position);
}

}  // namespace
}  // namespace fenwyd::testing
