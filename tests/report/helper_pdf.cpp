#include "helper_pdf.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

QString unescape(QString s)
{
    s.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    s.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    s.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    s.replace(QStringLiteral("&apos;"), QStringLiteral("'"));
    s.replace(QStringLiteral("&#39;"), QStringLiteral("'"));
    s.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return s;
}

}  // namespace

bool HavePdfToText()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

PdfText ReadPdfText(const QString &path)
{
    PdfText out;
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                          path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return out;
    const QString html = QString::fromUtf8(p.readAllStandardOutput());

    static const QRegularExpression pageRe(QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)">)re"));
    static const QRegularExpression wordRe(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">(.*?)</word>)re"));
    QList<qsizetype> pageStarts;
    for (auto it = pageRe.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        out.pages.append(QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()));
        pageStarts.append(m.capturedStart());
    }
    for (auto it = wordRe.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        PdfWord w;
        w.page = int(std::upper_bound(pageStarts.begin(), pageStarts.end(), m.capturedStart()) -
                     pageStarts.begin()) - 1;
        w.box = QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                       QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
        w.text = unescape(m.captured(5));
        out.words.append(w);
    }
    return out;
}

QList<QRectF> PdfText::findAll(const QString &phrase, int page) const
{
    const QStringList parts = phrase.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QList<QRectF> found;
    if (parts.isEmpty())
        return found;
    for (const PdfWord &first : words) {
        if (first.page != page || first.text != parts.first())
            continue;
        QRectF box = first.box;
        bool complete = true;
        for (qsizetype i = 1; i < parts.size() && complete; ++i) {
            complete = false;
            for (const PdfWord &next : words) {
                if (next.page == page && next.text == parts[i] &&
                    qAbs(next.box.top() - box.top()) < 1.0 && next.box.left() > box.right() - 0.5 &&
                    next.box.left() < box.right() + 0.6 * next.box.height()) {
                    box = box.united(next.box);
                    complete = true;
                    break;
                }
            }
        }
        if (complete)
            found.append(box);
    }
    return found;
}

std::optional<QRectF> PdfText::find(const QString &phrase, int page) const
{
    const QList<QRectF> all = findAll(phrase, page);
    if (all.isEmpty())
        return std::nullopt;
    return all.first();
}
