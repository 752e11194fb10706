#include "app/calibration_keeper.h"

#include "app/core/dialogs.h"
#include "app/noise_source_page.h"
#include "app/options_page.h"
#include "app/widgets.h"
#include "base/engvalue.h"
#include "run/analyser_link.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

QString CalibrationFilter() { return QStringLiteral("Calibration (*.cal)|*.cal|all Files (*.*)|*.*"); }

/// What a loaded calibration overwrites on the Options page, to put back when it is refused.
struct FieldTexts
{
    int sweep = 0;
    QString start, stop, single, rbw, vbw, average, rfAtt, refLevel, range;
    int vbwIndex = -1;
    int steps = 10;
};

FieldTexts Read(const CalibrationKeeperParts &p)
{
    return {p.rg_Sweep->ItemIndex(), p.e_Start->text(), p.e_Stop->text(), p.e_Single->text(),
            p.cb_rbw->currentText(), p.cb_vbw->currentText(), p.cb_Average->currentText(),
            p.cb_RFAtt->currentText(), p.e_RefLvl->text(), p.e_Range->text(), p.cb_vbw->currentIndex(),
            p.se_steps->value()};
}

void SetCombo(QComboBox *box, const QString &text, int index = -1)
{
    const int found = index >= 0 && index < box->count() && box->itemText(index) == text ? index : box->findText(text);
    if (found >= 0)
        box->setCurrentIndex(found);
    else if (box->isEditable())
        box->setEditText(text);
}

void Write(const CalibrationKeeperParts &p, const FieldTexts &f)
{
    p.rg_Sweep->setItemIndex(f.sweep);
    p.e_Start->setText(f.start);
    p.e_Stop->setText(f.stop);
    p.e_Single->setText(f.single);
    p.se_steps->setValue(f.steps);
    SetCombo(p.cb_rbw, f.rbw);
    SetCombo(p.cb_vbw, f.vbw, f.vbwIndex);
    SetCombo(p.cb_Average, f.average);
    SetCombo(p.cb_RFAtt, f.rfAtt);
    p.e_RefLvl->setText(f.refLevel);
    p.e_Range->setText(f.range);
}

}  // namespace

QString ExactFrequencyText(double hz)
{
    const QString text = CalibrationFrequencyText(hz);
    try {
        if (ParseValue(text) == hz)
            return text;
    } catch (...) {
    }
    return ShortestDecimal(hz) + QStringLiteral(" Hz");
}

QString ExactTemperatureText(double kelvin)
{
    const double celsius = kelvin - 273.15;
    const QString degrees = QStringLiteral(" \u00B0C");
    QStringList candidates;
    for (int decimals = 0; decimals <= 3; ++decimals)
        candidates << QString::number(celsius, 'f', decimals) + degrees;
    candidates << ShortestDecimal(celsius) + degrees << ShortestDecimal(kelvin) + QStringLiteral(" K");
    for (const QString &text : candidates) {
        try {
            if (std::fabs(ParseValue(text) - kelvin) <= 1e-9 * std::max(1.0, std::fabs(kelvin)))
                return text;
        } catch (...) {
        }
    }
    return ShortestDecimal(kelvin) + QStringLiteral(" K");
}

QString LoadedCalibrationText(const CalibrationState &state, const QString &fileName, qint64 ageSeconds)
{
    const SweepPlan &plan = state.plan;
    const int points = state.single ? 1 : plan.Steps + 1;
    QString range = CalibrationFrequencyText(plan.Start);
    if (!state.single)
        range += QStringLiteral(" to ") + CalibrationFrequencyText(plan.Stop);
    const QString age = ageSeconds < 0 ? QStringLiteral("made in the future of this clock")
                                       : CalibrationAgeText(ageSeconds) + QStringLiteral(" old");
    return QStringLiteral("Calibrated: %1, %2, %3 %4, %5")
        .arg(fileName, range)
        .arg(points)
        .arg(points == 1 ? QStringLiteral("point") : QStringLiteral("points"), age);
}

CalibrationKeeper::CalibrationKeeper(const CalibrationKeeperParts &parts, QObject *parent)
    : QObject(parent), p(parts)
{
    m_ageTimer = new QTimer(this);
    m_ageTimer->setInterval(30000);
    connect(m_ageTimer, &QTimer::timeout, this, &CalibrationKeeper::showAge);
    connect(p.link, &AnalyserLink::searchEnded, this, &CalibrationKeeper::analyserFound);
    // Heard after the window's own handler, which has put the new calibration in force.
    connect(p.link, &AnalyserLink::passEnded, this, [this](PassKind pass) {
        if (pass == PassKind::Calibration)
            calibrationPassEnded();
    });
}

bool CalibrationKeeper::inForce(const CalibrationFile &c) const
{
    const CalibrationState &now = p.options->Calibration;
    return now.valid && c.state.valid && now.endedAt == c.state.endedAt && now.single == c.state.single
           && now.plan.Start == c.state.plan.Start && now.plan.Stop == c.state.plan.Stop
           && now.plan.Steps == c.state.plan.Steps;
}

std::optional<CalibrationFile> CalibrationKeeper::current() const
{
    if (m_kept && inForce(*m_kept))
        return m_kept;
    return std::nullopt;
}

bool CalibrationKeeper::loadedInForce() const
{
    return !m_fileName.isEmpty() && current().has_value();
}

std::optional<EnrSource> CalibrationKeeper::loadedEnrSource() const
{
    if (!loadedInForce())
        return std::nullopt;
    return EnrSourceOfCalibration(m_kept->enr);
}

QString CalibrationKeeper::appliedText() const
{
    if (!m_kept)
        return QString();
    QStringList parts;
    if (m_kept->roomTemperatureK > 0)
        parts << QStringLiteral("room temperature ") + ExactTemperatureText(m_kept->roomTemperatureK);
    const QString source = m_kept->enr.noiseSourceText.trimmed();
    parts << QStringLiteral("noise source ")
                 + (source.isEmpty() ? (m_kept->enr.mode == 0 ? QStringLiteral("const. ") + m_kept->enr.enrAllText
                                                              : QStringLiteral("Table%1").arg(m_kept->enr.mode))
                                     : source);
    return QStringLiteral(" with its ") + parts.join(QStringLiteral(" and "));
}

QString CalibrationKeeper::origin() const
{
    const std::optional<CalibrationFile> c = current();
    if (!c)
        return QString();
    const QString when = QStringLiteral("calibrated at ")
                         + c->state.endedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    return m_fileName.isEmpty() ? when : m_fileName + QStringLiteral(", ") + when;
}

void CalibrationKeeper::calibrationPassEnded()
{
    if (!p.options->Calibration.valid)
        return;
    CalibrationFile c;
    c.state = p.options->Calibration;
    c.steps = CalibrationStepsOf(*p.record, c.state.plan);
    // The source the pass was calibrated with: the bench's calibration source where it names one.
    const EnrSource enr = p.calibrationSource ? p.calibrationSource() : p.noiseSource->enrSource();
    const QString name = c.state.calSource == kCalSourceAsMeasurement
                             ? p.noiseSource->NoiseSourceText
                             : QStringList{QStringLiteral("const."), QStringLiteral("Table1"), QStringLiteral("Table2")}.value(
                                   c.state.calSource, p.noiseSource->NoiseSourceText);
    c.enr = {enr.mode, enr.enrAllText, enr.rows, name, enr.dataFileRows};
    try {
        c.roomTemperatureK = p.roomTemperatureK();
    } catch (...) {
        c.roomTemperatureK = 0;  // a field that does not read: the save says so
    }
    c.analyserIdentity = m_identity;
    m_kept = c;
    m_fileName.clear();
    m_pending = false;
    m_ageTimer->stop();
}

void CalibrationKeeper::analyserFound(bool found, const QByteArray &identification)
{
    if (!found)
        return;
    m_identity = QString::fromLatin1(identification).trimmed();
    // The set-up waits for the analyser's answers: it runs after the search's own step.
    if (m_pending)
        QTimer::singleShot(0, this, [this] {
            if (m_pending && p.link->isOpen() && !p.link->passRunning())
                applyLoaded();
        });
}

void CalibrationKeeper::KalibrierungSpeichern1Click()
{
    const std::optional<CalibrationFile> c = current();
    if (!c) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, QStringLiteral("There is no calibration to save. Please calibrate first."));
        return;
    }
    if (!(c->roomTemperatureK > 0)) {
        ShowMessage(MsgType::Error, MsgButtons::Ok,
                    QStringLiteral("The room temperature of the calibration is not known: the calibration cannot be saved."));
        return;
    }
    const std::optional<QString> chosen = dialogs().saveFile(CalibrationFilter(), 1);
    if (!chosen)
        return;
    QString path = *chosen;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".cal");
    if (!MayReplaceFile(path))
        return;
    QString error;
    if (!SaveCalibrationFile(path, *c, &error)) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, error);
        return;
    }
    emit status(QStringLiteral("Calibration saved to ") + QFileInfo(path).fileName());
}

void CalibrationKeeper::KalibrierungLaden1Click()
{
    if (p.link->passRunning())
        return;
    const std::optional<QString> chosen = dialogs().openFile(CalibrationFilter(), 1);
    if (chosen)
        loadCalibration(*chosen);
}

bool CalibrationKeeper::loadCalibration(const QString &path)
{
    if (p.link->passRunning())
        return false;
    const CalibrationDecodeResult loaded = LoadCalibrationFile(path);
    if (!loaded.calibration) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, loaded.error);
        return false;
    }
    const CalibrationFile &c = *loaded.calibration;
    const SweepPlan &plan = c.state.plan;
    const SetupSettings &s = c.state.settings;

    // The calibration's plan and settings into the fields; they must read back to exactly it.
    const FieldTexts before = Read(p);
    FieldTexts wanted = before;
    wanted.sweep = c.state.single ? 1 : 0;
    if (c.state.single) {
        wanted.single = ExactFrequencyText(plan.Start);
    } else {
        wanted.start = ExactFrequencyText(plan.Start);
        wanted.stop = ExactFrequencyText(plan.Stop);
        wanted.steps = plan.Steps;
    }
    wanted.rbw = s.rbwText;
    wanted.vbw = s.vbwText;
    wanted.vbwIndex = s.vbwIndex;
    wanted.average = s.averageText;
    wanted.rfAtt = s.rfAttText;
    wanted.refLevel = s.refLevelText;
    wanted.range = s.rangeText;
    Write(p, wanted);
    CalibrationItem differs = CalibrationItem::Start;
    try {
        SweepPlan now;
        ::MakeSweepPlan(now, p.options->sweepInputs());
        differs = CalibrationDifference(c.state, c.state.single, now, p.options->setupSettings(now.Start));
    } catch (...) {
    }
    if (differs != CalibrationItem::None) {
        Write(p, before);
        p.options->MakeSweepPlan();
        ShowMessage(MsgType::Error, MsgButtons::Ok,
                    QStringLiteral("%1: the calibration's %2 cannot be set on the Options page; nothing was changed.")
                        .arg(QFileInfo(path).fileName(), CalibrationItemText(differs)));
        return false;
    }
    p.options->MakeSweepPlan();

    m_kept = c;
    m_fileName = QFileInfo(path).fileName();
    m_pending = true;
    // The calibration's levels hold at its room temperature: the evaluation takes it.
    if (p.e_Temperature && c.roomTemperatureK > 0)
        p.e_Temperature->setText(ExactTemperatureText(c.roomTemperatureK));
    if (p.link->isOpen() && p.b_Start->isEnabled()) {
        applyLoaded();
    } else {
        p.l_Calibrated->setText(QStringLiteral("Loaded: %1, %2; it holds once the analyser is connected")
                                    .arg(m_fileName, CalibrationAgeText(std::max<qint64>(0, CalibrationAgeSeconds(
                                                                            c.state.endedAt, QDateTime::currentDateTime())))));
        emit status(QStringLiteral("Calibration loaded from ") + m_fileName + appliedText());
    }
    return true;
}

void CalibrationKeeper::applyLoaded()
{
    if (!m_kept)
        return;
    m_pending = false;
    if (!p.options->InitialiseAnalyser()) {
        ShowMessage(MsgType::Error, MsgButtons::OkCancel, QStringLiteral("Error on opening!"));
        return;
    }
    CalibrationState state = m_kept->state;
    state.valid = true;
    state.interrupted = false;
    p.options->setCalibration(state);
    m_kept->state = state;
    ApplyCalibrationLevels(*m_kept, *p.record);
    p.b_Measure->setEnabled(true);
    p.b_Measure2->setEnabled(true);
    showAge();
    m_ageTimer->start();
    emit status(QStringLiteral("Calibration of ") + m_fileName + QStringLiteral(" in force") + appliedText());
}

void CalibrationKeeper::showAge()
{
    if (!loadedInForce()) {
        m_ageTimer->stop();
        return;
    }
    p.l_Calibrated->setText(LoadedCalibrationText(
        m_kept->state, m_fileName, CalibrationAgeSeconds(m_kept->state.endedAt, QDateTime::currentDateTime())));
    p.l_Calibrated->setToolTip(QStringLiteral("%1, calibrated at %2%3")
                                   .arg(m_fileName,
                                        m_kept->state.endedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                        m_kept->analyserIdentity.isEmpty() ? QString()
                                                                           : QStringLiteral(" on ") + m_kept->analyserIdentity));
}
