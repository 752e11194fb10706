#include "noise/enr_store.h"

#include <algorithm>

bool operator==(const EnrTable &a, const EnrTable &b)
{
    return a.FileName == b.FileName && a.Rows == b.Rows;
}

bool operator==(const EnrTableStore &a, const EnrTableStore &b)
{
    return a.ShownTable == b.ShownTable && a.Tables == b.Tables;
}

EnrRows LimitEnrRows(const EnrRows &rows)
{
    EnrRows limited;
    for (size_t r = 0; r < rows.size(); ++r) {
        limited[r].FrequencyText = rows[r].FrequencyText.left(kEnrCellLimit);
        limited[r].EnrText = rows[r].EnrText.left(kEnrCellLimit);
    }
    return limited;
}

QString LimitEnrFileName(const QString &path)
{
    return path.left(kEnrFileNameLimit);
}

QString FileNameWithoutDirectories(const QString &path)
{
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(slash + 1);
}

QString EnrTableCaption(int number)
{
    return QStringLiteral("Table ") + QString::number(number);
}

QString NoiseSourceTextForConstant(const QString &enrAllText)
{
    return (QStringLiteral("const. (") + enrAllText + u')').left(kNoiseSourceTextLimit);
}

QString NoiseSourceTextForTable(int number, const QString &fileName)
{
    return (EnrTableCaption(number) + QStringLiteral(" (") + FileNameWithoutDirectories(fileName) + u')')
        .left(kNoiseSourceTextLimit);
}
