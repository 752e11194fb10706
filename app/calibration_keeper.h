#pragma once
// "File / Save calibration ..." and "File / Load calibration ...": a calibration kept in a
// file and used again. Saving keeps the levels the last calibration pass read, with its plan,
// settings, noise source, room temperature and analyser. Loading puts the plan and settings
// into the Options page; once the analyser is connected, it is set up with them and "Measure"
// pairs the measurement with the loaded levels, refusing a changed plan or changed settings as
// for a fresh calibration. l_Calibrated names the file and the calibration's age. A loaded
// calibration brings its room temperature into e_Temperature and, while it is in force, its
// noise source with its data serves as the calibration's source of the evaluation.

#include "noise/enr_source.h"
#include "run/calibration_file.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class AnalyserLink;
class NoiseSourcePage;
class OptionsPage;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class RadioGroup;
struct EvaluationContext;
struct MeasurementRecord;

/// What the keeper works on.
struct CalibrationKeeperParts
{
    OptionsPage *options = nullptr;
    AnalyserLink *link = nullptr;
    MeasurementRecord *record = nullptr;
    NoiseSourcePage *noiseSource = nullptr;
    /// The room temperature the evaluation uses now, kelvin; throws when the field does not read.
    std::function<double()> roomTemperatureK;
    /// The noise source a calibration pass uses: the bench's calibration source, or the
    /// measurement's.
    std::function<EnrSource()> calibrationSource;
    /// The room temperature field, which a loaded calibration sets.
    QLineEdit *e_Temperature = nullptr;
    /// The Options page's plan and settings fields that a loaded calibration fills.
    RadioGroup *rg_Sweep = nullptr;
    QLineEdit *e_Start = nullptr;
    QLineEdit *e_Stop = nullptr;
    QLineEdit *e_Single = nullptr;
    QSpinBox *se_steps = nullptr;
    QComboBox *cb_rbw = nullptr;
    QComboBox *cb_vbw = nullptr;
    QComboBox *cb_Average = nullptr;
    QComboBox *cb_RFAtt = nullptr;
    QLineEdit *e_RefLvl = nullptr;
    QLineEdit *e_Range = nullptr;
    QLabel *l_Calibrated = nullptr;
    QPushButton *b_Start = nullptr;  ///< enabled once the analyser has been found
    QPushButton *b_Measure = nullptr;
    QPushButton *b_Measure2 = nullptr;
    QAction *KalibrierungSpeichern1 = nullptr;
};

/// "Calibrated: cal1.cal, 400 MHz to 500 MHz, 11 points, 2 h 5 min old".
QString LoadedCalibrationText(const CalibrationState &state, const QString &fileName, qint64 ageSeconds);

/// The text a frequency field is given so that it reads back to exactly `hz`.
QString ExactFrequencyText(double hz);

/// The text e_Temperature is given so that it reads back to `kelvin`: "21 °C", "23.45 °C".
QString ExactTemperatureText(double kelvin);

class CalibrationKeeper : public QObject
{
    Q_OBJECT

public:
    explicit CalibrationKeeper(const CalibrationKeeperParts &parts, QObject *parent = nullptr);

    void KalibrierungSpeichern1Click();
    void KalibrierungLaden1Click();

    /// Loads `path` as the menu command does once the file is chosen; false, after telling the
    /// operator why, when the file is refused (nothing changes then).
    bool loadCalibration(const QString &path);
    /// The calibration that the last pass or file gave, as it would be saved; nothing when no
    /// calibration holds.
    std::optional<CalibrationFile> current() const;
    /// Where the calibration in force came from: "calibrated at 2026-12-08 14:32" or
    /// "cal1.cal, calibrated at 2026-12-08 09:12", as the history keeps it.
    QString origin() const;
    /// The calibration in force is the loaded one.
    bool loadedInForce() const;
    /// The noise source the loaded calibration in force was made with, with its data from the
    /// file; nothing while no loaded calibration is in force.
    std::optional<EnrSource> loadedEnrSource() const;

signals:
    void status(const QString &text);

private:
    void calibrationPassEnded();
    void analyserFound(bool found, const QByteArray &identification);
    /// Sets the analyser up with the loaded calibration's plan and settings and puts it in force.
    void applyLoaded();
    void showAge();
    /// " with its room temperature 21 °C and noise source Table1": what a loaded calibration
    /// brings to the evaluation, for the status bar.
    QString appliedText() const;
    bool inForce(const CalibrationFile &c) const;

    CalibrationKeeperParts p;
    QString m_identity;                  ///< the analyser's answer to *IDN?
    std::optional<CalibrationFile> m_kept;  ///< the levels and circumstances of the calibration in force
    QString m_fileName;                  ///< of the loaded calibration; empty for a fresh one
    bool m_pending = false;              ///< loaded, waiting for the analyser
    QTimer *m_ageTimer = nullptr;
};
