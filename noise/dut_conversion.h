#pragma once
// What kind of DUT sits between the noise source and the analyser, and where the analyser is
// tuned for it: an amplifier is measured at the frequency it amplifies, a converter at the IF
// its fixed LO makes of each RF.

/// The DUT's kind.
enum class DutType {
    Amplifier,      ///< measured at the frequency it amplifies
    DownConverter,  ///< IF = |RF − LO|
    UpConverter,    ///< IF = RF + LO
};

/// The frequency the analyser is tuned to for a DUT input at `rfHz`: the RF itself for an
/// amplifier, |RF − LO| for a down-converter, RF + LO for an up-converter.
double IfFrequencyHz(DutType type, double loHz, double rfHz);
