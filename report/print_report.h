#pragma once
// The printed test report: one page with a title, two rows of header data, the operator's
// remarks, a legend and a graph of noise figure and gain over frequency.
//
// The page is painted on any QPainter, through the same Canvas as the screen graph. Drawing
// uses a metric mapping of 0.1 mm per unit with x to the right and y upwards, the origin at
// the top-left corner of the printable area, so every point on the page has y <= 0 (a painter
// transform; the canvas keeps text upright). Text is placed by the top-left corner of its
// cell, and font heights are cell heights in 0.1 mm.
// Everything the report needs comes in as plain data; nothing here knows a widget.

#include "noise/limits.h"
#include "noise/measurement_record.h"
#include "results/canvas.h"
#include "results/graph.h"

#include <QFont>
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <limits>

class QPainter;
class QPagedPaintDevice;

/// The texts of the report details form, printed exactly as they stand.
struct ReportTexts
{
    QString Engineer;
    QString DUT;
    QString Date;
    QString FreqStart;
    QString NoiseSource;
    QString Temperature;
    QString FreqStop;
    QString FreqSteps;
};

/// Everything one report prints.
struct ReportInput
{
    double StartHz = 0;
    double StopHz = 0;
    int32_t Steps = 0;  ///< the points are the indices 0 to Steps
    MeasurementRecord::Slots NoiseFigureDb{};
    MeasurementRecord::Slots GainDb{};
    ReportTexts Texts;
    QStringList Remarks;  ///< the lines of the form's remarks field

    /// Optional: the largest uncertainty of the sweep's noise figures, dB (NaN: none known),
    /// printed on the line of "Remarks:" to its right.
    double LargestUncertaintyDb = std::numeric_limits<double>::quiet_NaN();
    /// Optional: the steps that break a rule of good practice, marked above their points.
    std::array<bool, kRecordSlots> OutsideGuidelines{};
    /// Optional: the steps whose evaluation failed. Such a step keeps an older noise figure; it
    /// is drawn at that value with a magenta square in place of the triangle, as on screen.
    std::array<bool, kRecordSlots> EvaluationFailed{};
    /// Optional: the limit lines, drawn on the graph in the colour of their trace, and the
    /// verdict against them ("PASS", "FAIL: 3 of 11 points"), printed in bold on the line of
    /// "Remarks:" in the column of "Frequency end:"; nothing of either without.
    LimitSet Limits;
    QString Verdict;

    /// Plan and result arrays taken from a measurement record.
    static ReportInput fromRecord(const MeasurementRecord &record);
};

/// "Uncertainty ≤ ±0.31 dB" for the line of "Remarks:"; empty when the largest
/// uncertainty is not known.
QString ReportUncertaintyText(double largestUncertaintyDb);
/// "Off guidelines: 3 steps", "... 1 step"; empty for none.
QString ReportGuidelineText(int steps);

/// Where the guideline mark of a point at (x, y) stands (0.1 mm, y upwards): its apex lies
/// kReportMarkGap above the point, its base kReportMarkGap + 2·kReportMarkHalf above it.
constexpr int kReportMarkGap = 10;
constexpr int kReportMarkHalf = 5;

/// The placeholder the remarks field starts with.
inline QString RemarksPlaceholder() { return QStringLiteral("Remarks..."); }

/// Applies the placeholder rule to the remark lines: a first line that is exactly the
/// placeholder is removed from `lines` (the form keeps that change). Returns the lines to
/// print: none when what is left is at most one line that is the placeholder, else all.
QStringList TakeRemarkLines(QStringList &lines);

/// The plot rectangle in 0.1 mm, y upwards: the frequency axis lies on `bottom`, the top edge
/// on bottom + height.
struct ReportPlot
{
    int left = 0;
    int bottom = 0;
    int width = 0;
    int height = 0;
};

/// The plot for a printable page of `pageWidthMm` × `pageHeightMm` whose graph reaches up to
/// the line `printLineMm`: 20 mm from the left and right edges, 50 mm above the lower edge.
ReportPlot ReportPlotRect(int pageWidthMm, int pageHeightMm, int printLineMm);

/// Vertical position (0.1 mm, y upwards) of the value `v` on an axis (ranges as the screen
/// graph chooses them), with the factors held in
/// single precision and the result rounded to the nearest unit, ties to even. A value that
/// cannot be placed (not finite) falls on the bottom edge.
int ReportAxisY(const ReportPlot &plot, const AxisRange &axis, double v);
/// Horizontal position of point `index` of a plan with `steps` steps (one point sits on the
/// left edge).
int ReportPointX(const ReportPlot &plot, int index, int steps);

/// The fonts of the report: a sans face whose cell is `cellHeight` units of 0.1 mm high.
QFont ReportFont(int cellHeight, bool bold);

/// Where the remarks stand: the first remark line's PrintLine below the header rows, the
/// pitch of the lines, and the legend and its gaps between the last line and the graph's top.
constexpr int kFirstRemarkLineMm = -59;
constexpr int kRemarkLineMm = 4;
constexpr int kRemarksToGraphMm = 16;

/// How many text lines the remarks may take, starting at the line `firstLineMm`, on a
/// printable page `pageHeightMm` high: every line lowers the graph's top by 4 mm while its
/// frequency axis stays put, and the graph must keep some height to stay upright (37 lines
/// on a page 277 mm high).
int RemarkLineSlots(int pageHeightMm, int firstLineMm = kFirstRemarkLineMm);

/// The remark lines as they go on the page.
struct RemarkLines
{
    QStringList printed;  ///< ends with the note of RemarksLeftOffNote when lines were left off
    int notPrinted = 0;   ///< remark lines left off the page
};

/// All of `lines` when they fit into `lineSlots` text lines; otherwise the first
/// lineSlots − 1 lines and, as the last line, a note saying how many were left off (no note
/// when there is no room even for it).
RemarkLines FitRemarkLines(const QStringList &lines, int lineSlots);

/// The last printed line when remark lines were left off, e.g. "(24 more lines not printed)".
QString RemarksLeftOffNote(int count);

/// The printable area of `printer` in whole millimetres once the report has turned it to
/// portrait.
QSize ReportPageSizeMm(const QPagedPaintDevice &printer);

/// One print job of the report. The input is copied; the remark lines after the placeholder
/// rule can be read back with remarks() and written to the form.
class TestReport
{
public:
    explicit TestReport(ReportInput input);

    /// Prints on `printer`: portrait, one page. Returns false when the printer cannot start
    /// the job (nothing is printed then).
    bool PrintReport(QPagedPaintDevice &printer);
    /// Paints the page on `painter`, whose device is `pageWidthMm` × `pageHeightMm` of
    /// printable area starting at the painter's origin. The painter is left as it was.
    void PrintReport(QPainter &painter, int pageWidthMm, int pageHeightMm);

    /// The parts of the page; they draw on the painter of the running job.
    void PrintMarks();
    void PrintTitle();
    /// Writes `text` on the line PrintLine at column position `columnMm` (10 mm further right
    /// on paper than its value).
    void PrintText(int columnMm, const QString &text);
    void PrintBody();
    void PrintGraph();

    /// Page state of the running job.
    uint16_t PageWidthMm = 0;
    uint16_t PageHeightMm = 0;
    int32_t PrintLine = -10;  ///< top edge of the next text line, mm, negative below the top

    const QStringList &remarks() const { return m_input.Remarks; }
    /// How many remark lines a page `pageHeightMm` high leaves off (after the placeholder
    /// rule, which this does not apply to the job's own lines).
    int RemarksNotPrinted(int pageHeightMm) const;
    /// The plot of the last printed graph (for the caller's checks).
    const ReportPlot &plot() const { return m_plot; }

private:
    /// The report's fonts by cell height, on the canvas of the running job.
    void setFont(int cellHeight, bool bold);
    /// The largest uncertainty and the count of marked steps, right of "Remarks:".
    void PrintConfidence(int c2, int c3);
    /// An orange triangle, apex down, above the point (x, y).
    void PrintGuidelineMark(int x, int y);
    /// The limit lines of `kind` on `axis` of the plot.
    void PrintLimitLines(LimitKind kind, const AxisRange &axis);

    ReportInput m_input;
    ReportPlot m_plot;
    Canvas *m_canvas = nullptr;  ///< the page of the running job
};
