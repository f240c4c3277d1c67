#pragma once
// The Exposure section of Options: the standard (or a typed level), the
// frequency, the alarm threshold and the beep.
#include <QGroupBox>
#include <optional>
#include <string>

#include "exposure/exposure_settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace fenwyd::ui {

class ExposureOptions : public QGroupBox {
public:
    explicit ExposureOptions(QWidget* parent);

    void set(const ExposureSettings& s);
    // The settings as entered; nothing when an entry in use is not valid,
    // with the reason shown under the fields and the entry at fault focused.
    // Entries not in use (the frequency of a typed level, say) keep their
    // last valid values when what they hold cannot be read.
    std::optional<ExposureSettings> settings();

    // "None", the standards in their order, then "Typed level".
    QComboBox* standardBox() const { return standard_; }
    QLineEdit* frequencyEdit() const { return frequency_; }
    QPushButton* hzButton(int hz) const { return hz == 60 ? hz60_ : hz50_; }
    QLineEdit* levelEdit() const { return level_; }
    QComboBox* unitBox() const { return unit_; }
    QLineEdit* alarmEdit() const { return alarm_; }
    QCheckBox* beepBox() const { return beep_; }
    // The levels of the choice, or what is wrong with an entry.
    QLabel* noteLabel() const { return note_; }

private:
    ExposureSettings::Choice choice() const;
    // Reads the entries into s; the first bad one in use gives its reason
    // and its widget.
    bool read(ExposureSettings& s, std::string& error, QWidget*& culprit) const;
    void update();

    ExposureSettings last_;
    QComboBox* standard_ = nullptr;
    QLineEdit* frequency_ = nullptr;
    QPushButton* hz50_ = nullptr;
    QPushButton* hz60_ = nullptr;
    QLineEdit* level_ = nullptr;
    QComboBox* unit_ = nullptr;
    QLineEdit* alarm_ = nullptr;
    QCheckBox* beep_ = nullptr;
    QLabel* note_ = nullptr;
};

}  // namespace fenwyd::ui
