#include "ui/exposure_options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/exposure_monitor.h"
#include "ui/text.h"

namespace fenwyd::ui {

namespace {
constexpr int kNone = -1;
constexpr int kTyped = 100;  // the standards are 0..5
const char* const kUnits[] = {"uT", "nT", "mG", "G", "A/m", "mA/m", "V/m", "kV/m"};

std::string Trimmed(const QString& s) { return Local8(s.trimmed()); }

// "60", "60 Hz", "16.67Hz", "3 kHz".
std::optional<double> ParseFrequency(const QString& typed) {
    QString t = typed.trimmed();
    double scale = 1;
    if (t.endsWith(QLatin1String("khz"), Qt::CaseInsensitive)) {
        scale = 1000;
        t.chop(3);
    } else if (t.endsWith(QLatin1String("hz"), Qt::CaseInsensitive)) {
        t.chop(2);
    }
    const std::optional<double> v = ParseDecimal(Local8(t));
    if (!v) return std::nullopt;
    return *v * scale;
}

// "100", "100 %".
std::optional<double> ParsePercent(const QString& typed) {
    QString t = typed.trimmed();
    if (t.endsWith(QLatin1Char('%'))) t.chop(1);
    const std::optional<double> v = ParseDecimal(Local8(t));
    if (!v || !(*v > 0)) return std::nullopt;
    return v;
}

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}
}  // namespace

ExposureOptions::ExposureOptions(QWidget* parent) : QGroupBox(QStringLiteral("Exposure"), parent) {
    setObjectName(QStringLiteral("exposure"));
    standard_ = new QComboBox(this);
    standard_->setAccessibleName(QStringLiteral("Exposure standard"));
    standard_->addItem(QStringLiteral("None (no exposure shown)"), kNone);
    for (std::size_t i = 0; i < kStandardCount; ++i) {
        standard_->addItem(QString::fromLatin1(Standards()[i].name), static_cast<int>(i));
        standard_->setItemData(standard_->count() - 1, QString::fromLatin1(Standards()[i].source),
                               Qt::ToolTipRole);
    }
    standard_->addItem(QStringLiteral("Typed level"), kTyped);

    frequency_ = new QLineEdit(this);
    frequency_->setAccessibleName(QStringLiteral("Frequency in hertz"));
    frequency_->setToolTip(QStringLiteral("Any frequency from 1 Hz to 3 kHz"));
    const int entryWidth = fontMetrics().averageCharWidth() * 12;
    frequency_->setMaximumWidth(entryWidth);
    hz50_ = new QPushButton(QStringLiteral("5&0 Hz"), this);
    hz60_ = new QPushButton(QStringLiteral("&60 Hz"), this);
    for (QPushButton* b : {hz50_, hz60_}) {
        b->setAutoDefault(false);  // Enter still means OK
        const QString hz = b == hz50_ ? QStringLiteral("50") : QStringLiteral("60");
        connect(b, &QPushButton::clicked, this, [this, hz] { frequency_->setText(hz); });
    }

    level_ = new QLineEdit(this);
    level_->setAccessibleName(QStringLiteral("Typed reference level"));
    level_->setMaximumWidth(entryWidth);
    unit_ = new QComboBox(this);
    unit_->setAccessibleName(QStringLiteral("Unit of the typed level"));
    for (const char* u : kUnits) {
        unit_->addItem(QString::fromLatin1(u), QString::fromStdString(CanonicalUnitName(u)));
    }

    alarm_ = new QLineEdit(this);
    alarm_->setAccessibleName(QStringLiteral("Alarm threshold in percent of the level"));
    alarm_->setMaximumWidth(entryWidth);
    beep_ = new QCheckBox(QStringLiteral("&Beep when a reading reaches it"), this);

    note_ = new QLabel(this);
    note_->setTextFormat(Qt::PlainText);
    note_->setWordWrap(true);
    note_->setAccessibleName(QStringLiteral("Exposure levels"));

    auto* grid = new QGridLayout(this);
    grid->setVerticalSpacing(4);
    grid->addWidget(Caption(QStringLiteral("S&tandard"), standard_, this), 0, 0);
    grid->addWidget(standard_, 0, 1, 1, 4);
    grid->addWidget(Caption(QStringLiteral("&Frequency"), frequency_, this), 1, 0);
    grid->addWidget(frequency_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Hz"), this), 1, 2);
    grid->addWidget(hz50_, 1, 3);
    grid->addWidget(hz60_, 1, 4);
    grid->addWidget(Caption(QStringLiteral("Typed &level"), level_, this), 2, 0);
    grid->addWidget(level_, 2, 1);
    grid->addWidget(unit_, 2, 2, 1, 2, Qt::AlignLeft);
    grid->addWidget(Caption(QStringLiteral("&Alarm at"), alarm_, this), 3, 0);
    grid->addWidget(alarm_, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("% of the level"), this), 3, 2, 1, 2);
    grid->addWidget(beep_, 4, 1, 1, 4);
    grid->addWidget(note_, 5, 0, 1, 6);
    grid->setColumnStretch(5, 1);

    connect(standard_, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { update(); });
    connect(unit_, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] { update(); });
    for (QLineEdit* e : {frequency_, level_, alarm_}) {
        connect(e, &QLineEdit::textChanged, this, [this] { update(); });
    }
    set(ExposureSettings());
}

void ExposureOptions::set(const ExposureSettings& s) {
    last_ = s;
    int index = 0;
    if (s.choice == ExposureSettings::Choice::Standard) {
        index = standard_->findData(static_cast<int>(s.standard));
    } else if (s.choice == ExposureSettings::Choice::Typed) {
        index = standard_->findData(kTyped);
    }
    standard_->setCurrentIndex(index);
    frequency_->setText(Qs(FormatSignificant(s.frequencyHz, 10)));
    level_->setText(s.typedValue > 0 ? Qs(FormatSignificant(s.typedValue, 10)) : QString());
    const int unit = unit_->findData(Qs(s.typedUnit));
    unit_->setCurrentIndex(unit >= 0 ? unit : 0);
    alarm_->setText(Qs(FormatSignificant(s.alarmPercent, 10)));
    beep_->setChecked(s.beep);
    update();
}

ExposureSettings::Choice ExposureOptions::choice() const {
    const int data = standard_->currentData().toInt();
    if (data == kNone) return ExposureSettings::Choice::None;
    return data == kTyped ? ExposureSettings::Choice::Typed : ExposureSettings::Choice::Standard;
}

bool ExposureOptions::read(ExposureSettings& s, std::string& error, QWidget*& culprit) const {
    using Choice = ExposureSettings::Choice;
    s = last_;
    s.choice = choice();
    if (s.choice == Choice::Standard) {
        s.standard = static_cast<StandardId>(standard_->currentData().toInt());
    }
    s.beep = beep_->isChecked();
    culprit = nullptr;
    const auto fail = [&](const std::string& why, QWidget* w) {
        if (culprit == nullptr) {
            error = why;
            culprit = w;
        }
    };
    const std::optional<double> hz = ParseFrequency(frequency_->text());
    if (hz && FrequencyInRange(*hz)) {
        s.frequencyHz = *hz;
    } else if (s.choice == Choice::Standard) {
        fail(hz ? kFrequencyRangeError
                : "The frequency must be a number of hertz, from 1 Hz to 3 kHz.",
             frequency_);
    }
    std::string levelError;
    const std::optional<Reference> typed = ParseTypedReference(
        Trimmed(level_->text()), Local8(unit_->currentData().toString()), &levelError);
    if (typed) {
        s.typedValue = typed->typedValue;
        s.typedUnit = typed->typedUnit;
    } else if (s.choice == Choice::Typed) {
        fail(levelError, level_);
    }
    const std::optional<double> alarm = ParsePercent(alarm_->text());
    if (alarm) {
        s.alarmPercent = *alarm;
    } else if (s.choice != Choice::None) {
        fail("The alarm threshold must be a number of percent above zero.", alarm_);
    }
    return culprit == nullptr;
}

void ExposureOptions::update() {
    using Choice = ExposureSettings::Choice;
    const Choice c = choice();
    for (QWidget* w : {static_cast<QWidget*>(frequency_), static_cast<QWidget*>(hz50_),
                       static_cast<QWidget*>(hz60_)}) {
        w->setEnabled(c == Choice::Standard);
    }
    level_->setEnabled(c == Choice::Typed);
    unit_->setEnabled(c == Choice::Typed);
    alarm_->setEnabled(c != Choice::None);
    beep_->setEnabled(c != Choice::None);

    ExposureSettings s;
    std::string error;
    QWidget* culprit = nullptr;
    QString note;
    bool bad = false;
    if (!read(s, error, culprit)) {
        note = Qs(error);
        bad = true;
    } else if (c == Choice::None) {
        note = QStringLiteral("No reference level: the panel shows no exposure.");
    } else if (const std::optional<Reference> ref = ReferenceFromSettings(s, &error)) {
        note = Qs(ReferenceName(*ref) + ": " + LevelsText(*ref));
    } else {
        note = Qs(error);
        bad = true;
    }
    QPalette pal = note_->palette();
    pal.setColor(QPalette::WindowText, bad ? QColor(170, 0, 0) : palette().color(QPalette::Text));
    note_->setPalette(pal);
    note_->setText(note);
}

std::optional<ExposureSettings> ExposureOptions::settings() {
    ExposureSettings s;
    std::string error;
    QWidget* culprit = nullptr;
    update();
    if (!read(s, error, culprit)) {
        culprit->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(culprit)) edit->selectAll();
        return std::nullopt;
    }
    return s;
}

}  // namespace fenwyd::ui
