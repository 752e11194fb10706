#pragma once
// The per-step store of levels and results that the passes fill, the graph draws, the
// measurement files keep and the report prints. Its field order is the layout of a
// measurement file.

#include "noise/dut_conversion.h"

#include <QByteArray>
#include <array>
#include <cstdint>

/// The frequency plan of a pass; all frequencies in Hz.
struct SweepPlan
{
    double Start = 0;     ///< first frequency
    double Stop = 0;      ///< requested last frequency (Single mode: equal to Start)
    double Step = 0;      ///< whole-number step width; 0 in Single mode, negative for a falling range
    int32_t StepIndex = 0;  ///< index the sequencer is working on
    int32_t Steps = 0;      ///< a pass covers Steps + 1 frequencies
    /// The DUT's kind and a converter's LO (Hz): the plan is entered at the DUT's input (the
    /// RF), the analyser is tuned to what the DUT makes of it. Not part of a measurement file.
    DutType Conversion = DutType::Amplifier;
    double LoHz = 0;

    /// The frequency of step `index` at the noise source, the DUT's input: Start + index ×
    /// Step in double precision; where the measurement's ENR is looked up, and the frequency
    /// the graph plots, the files carry and the calibration is matched at.
    double enrHz(int index) const { return Start + index * Step; }
    /// The frequency the analyser is tuned to at step `index`: the RF for an amplifier, the IF
    /// of a converter.
    double tuneHz(int index) const { return IfFrequencyHz(Conversion, LoHz, enrHz(index)); }
};

/// Settings of the last measurement pass.
struct MeasurementHeader
{
    int32_t RbwIndex = 0;
    int32_t VbwIndex = 0;
    int32_t StepsCount = 0;
    int32_t AverageIndex = 0;
    int32_t EnrSource = 0;
    float StartSingle = 0;
    float StopSingle = 0;
    QByteArray NoiseSourceText;  ///< Windows-1252 bytes, at most 32
};

constexpr int kRecordSlots = 101;  ///< step slots 0..99 and the calculator's slot
constexpr int CalcSlot = 100;      ///< the F-Calculator's own slot
constexpr int kMaxStepSlot = 99;

struct MeasurementRecord
{
    using Slots = std::array<double, kRecordSlots>;
    Slots N2off{};         ///< without DUT, source off (dBm in step slots, mW in CalcSlot)
    Slots N2on{};          ///< without DUT, source on
    Slots N12off{};        ///< with DUT, source off
    Slots N12on{};         ///< with DUT, source on
    Slots GainDb{};        ///< gain in dB
    Slots NoiseFigureDb{};  ///< noise figure in dB; negative marks one that could not be computed
    double Enr = 0;              ///< linear ENR of the last calculation
    double T0 = 0;               ///< 290 K, set on every calculation
    double RoomTemperature = 0;  ///< kelvin, of the last calculation
    ::SweepPlan SweepPlan;
    ::MeasurementHeader MeasurementHeader;
};
