#pragma once
// Reads back a printed PDF with poppler's pdftotext: the pages and every word with its box,
// in points from the top-left corner of the paper.

#include <QList>
#include <QRectF>
#include <QString>
#include <optional>

struct PdfWord
{
    int page = 0;
    QRectF box;  ///< points, y downwards from the top edge of the paper
    QString text;
};

struct PdfText
{
    QList<QSizeF> pages;  ///< paper size of each page, points
    QList<PdfWord> words;

    /// The box of a phrase: its words in order on one line, each starting right after the one
    /// before. Nothing when the phrase is not on the page.
    std::optional<QRectF> find(const QString &phrase, int page = 0) const;
    /// Every place a phrase stands.
    QList<QRectF> findAll(const QString &phrase, int page = 0) const;
};

/// True when pdftotext can be run.
bool HavePdfToText();
/// Runs pdftotext -bbox on `path`; an empty result when it fails.
PdfText ReadPdfText(const QString &path);

/// Millimetres to PDF points.
inline double MmToPt(double mm) { return mm * 72.0 / 25.4; }
