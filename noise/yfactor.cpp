#include "noise/yfactor.h"

#include "base/errors.h"

#include <cmath>

namespace {

// The texts the operator sees when a failure escapes to the top-level error report.
QString DivisionByZeroText() { return QStringLiteral("Division by zero"); }
QString OverflowText() { return QStringLiteral("Floating point overflow"); }
QString InvalidOperationText() { return QStringLiteral("Invalid floating point operation"); }

/// A result that left the finite numbers is an overflow (inf) or an operation without a
/// result (NaN, such as inf − inf).
double Checked(double r)
{
    if (std::isnan(r))
        throw EMathError(InvalidOperationText());
    if (std::isinf(r))
        throw EMathError(OverflowText());
    return r;
}

double Divide(double a, double b)
{
    if (b == 0) {
        if (a == 0 || std::isnan(a))
            throw EMathError(InvalidOperationText());  // 0/0 has no result
        throw EMathError(DivisionByZeroText());
    }
    return Checked(a / b);
}

}  // namespace

double ToDb(double x)
{
    return x > 0 ? 10.0 * std::log10(x) : 0.0;
}

double FromDb(double x)
{
    return std::pow(10.0, x / 10.0);
}

double LinearGain(double n2off, double n2on, double n12off, double n12on)
{
    return Divide(Checked(n12on - n12off), Checked(n2on - n2off));
}

double HotTemperatureK(double enrDb, double roomTemperatureK)
{
    const double enr = Checked(FromDb(Checked(enrDb)));
    return Checked(enr * kT0Kelvin + Checked(roomTemperatureK));
}

double YFactorNoiseTemperatureK(double y, double tHotK, double tColdK)
{
    return Divide(Checked(tHotK - Checked(y * tColdK)), y - 1);
}

double YFactorNoiseFigure(double n2off, double n2on, double n12off, double n12on,
                          double roomTemperatureK, double enrDb)
{
    bool failed = false;
    // The cold source sits at room temperature; the hot one ENR times T0 above it.
    const double tHot = HotTemperatureK(enrDb, roomTemperatureK);
    const double y1 = Divide(n2on, n2off);      // Y-factor of the calibration
    const double y12 = Divide(n12on, n12off);   // Y-factor with the DUT

    double te1 = 0;  // noise temperature of the analyser alone
    if (y1 == 1)
        failed = true;
    else
        te1 = YFactorNoiseTemperatureK(y1, tHot, roomTemperatureK);

    double te12 = 0;  // noise temperature of DUT and analyser together
    if (y12 == 1)
        failed = true;
    else
        te12 = YFactorNoiseTemperatureK(y12, tHot, roomTemperatureK);

    // Friis: the analyser's contribution, referred to the DUT's input, is divided by its gain.
    double te = 1;
    const double gain = LinearGain(n2off, n2on, n12off, n12on);
    if (gain == 0)
        failed = true;
    else
        te = Checked(te12 - Divide(te1, gain));

    const double noiseFactor = Checked(te / kT0Kelvin + 1);
    if (noiseFactor < 1)
        failed = true;

    return failed ? -1.0 : 10.0 * std::log10(noiseFactor);
}
