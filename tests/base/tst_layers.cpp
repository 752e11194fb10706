// The floors of the program: each folder includes only from its own floor and the floors
// below it, and only the window (app/) knows widgets, printers and the operator's dialogs.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTest>

namespace {

/// The floor of each folder of the program. A folder includes only from floors below its own;
/// folders on one floor stay independent of each other.
int FloorOf(const QString &folder)
{
    static const QHash<QString, int> floors = {
        {QStringLiteral("base"), 0},
        {QStringLiteral("serial"), 1},    {QStringLiteral("noise"), 1},
        {QStringLiteral("analyser"), 2},  {QStringLiteral("results"), 2},
        {QStringLiteral("run"), 3},       {QStringLiteral("cascade"), 3},
        {QStringLiteral("report"), 3},    {QStringLiteral("app"), 4},
    };
    return floors.value(folder, -1);
}

/// True for a Qt header of a module that only the window may use.
bool IsWindowOnlyQtHeader(const QString &header)
{
    static const QString headers = QLibraryInfo::path(QLibraryInfo::HeadersPath);
    const QString name = header.section(u'/', -1);
    if (header.startsWith(QLatin1String("QtWidgets/")) || header.startsWith(QLatin1String("QtPrintSupport/")))
        return true;
    return QFileInfo::exists(headers + QStringLiteral("/QtWidgets/") + name)
           || QFileInfo::exists(headers + QStringLiteral("/QtPrintSupport/") + name);
}

/// The include lines of `source` (a file of `folder`) that reach above its floor or into
/// another folder of the same floor, or that name a widget or printing header below app/.
QStringList LayerViolations(const QString &folder, const QString &source)
{
    static const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s*([<\"])([^>\"]+)[>\"]"),
                                            QRegularExpression::MultilineOption);
    const int floor = FloorOf(folder);
    QStringList found;
    for (auto it = include.globalMatch(source); it.hasNext();) {
        const auto m = it.next();
        const QString path = m.captured(2);
        if (m.captured(1) == u'"') {
            const QString target = path.section(u'/', 0, 0);
            const int targetFloor = FloorOf(target);
            if (path.contains(u'/') && targetFloor >= 0 && target != folder && targetFloor >= floor)
                found << m.captured(0).trimmed();
        } else if (floor < FloorOf(QStringLiteral("app")) && path.startsWith(u'Q') && IsWindowOnlyQtHeader(path)) {
            found << m.captured(0).trimmed();
        }
    }
    return found;
}

}  // namespace

class TestLayers : public QObject
{
    Q_OBJECT

private slots:
    void checkerFindsEveryKindOfViolation_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("violations");
        QTest::newRow("down") << "run" << "#include \"analyser/commands.h\"\n#include \"base/errors.h\"\n" << 0;
        QTest::newRow("up into app") << "analyser" << "#include \"app/core/dialogs.h\"\n" << 1;
        QTest::newRow("up one floor") << "noise" << "#include \"results/graph.h\"\n" << 1;
        QTest::newRow("sideways") << "serial" << "# include \"noise/yfactor.h\"\n" << 1;
        QTest::newRow("widget header") << "report" << "#include <QPrinter>\n#include <QWidget>\n" << 2;
        QTest::newRow("gui header") << "results" << "#include <QPainter>\n#include <QImage>\n" << 0;
        QTest::newRow("window may") << "app" << "#include <QWidget>\n#include \"run/sequencer.h\"\n" << 0;
    }
    void checkerFindsEveryKindOfViolation()
    {
        QFETCH(QString, folder);
        QFETCH(QString, source);
        QFETCH(int, violations);
        QCOMPARE(LayerViolations(folder, source).size(), violations);
    }

    void everyFolderLooksOnlyDown_data()
    {
        QTest::addColumn<QString>("folder");
        for (const char *f : {"base", "serial", "noise", "analyser", "results", "run", "cascade", "report"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }
    void everyFolderLooksOnlyDown()
    {
        QFETCH(QString, folder);
        const QString root = QStringLiteral(TESSARY_SOURCE_DIR "/") + folder;
        QVERIFY2(QDir(root).exists(), qPrintable(root));
        QStringList problems;
        int files = 0;
        QDirIterator it(root, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            ++files;
            for (const QString &line : LayerViolations(folder, QString::fromUtf8(f.readAll())))
                problems << QDir(QStringLiteral(TESSARY_SOURCE_DIR)).relativeFilePath(f.fileName()) + QStringLiteral(": ") + line;
        }
        QVERIFY(files > 0);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }
    /// The pages, the controller and the dialogs are built with their own controls and models:
    /// only the window's own files and the program's start know the window.
    void onlyTheWindowKnowsTheWindow()
    {
        static const QRegularExpression includesWindow(
            QStringLiteral("^\\s*#\\s*include\\s*\"app/main_window\\.h\""), QRegularExpression::MultilineOption);
        static const QRegularExpression windowsOwn(QStringLiteral("^(main_window[^/]*\\.(h|cpp)|main\\.cpp)$"));
        const QString root = QStringLiteral(TESSARY_SOURCE_DIR "/app");
        QStringList problems;
        int windowFiles = 0;
        QDirIterator it(root, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            if (!includesWindow.match(QString::fromUtf8(f.readAll())).hasMatch())
                continue;
            const QString relative = QDir(root).relativeFilePath(f.fileName());
            if (windowsOwn.match(relative).hasMatch())
                ++windowFiles;
            else
                problems << QStringLiteral("app/") + relative;
        }
        // The check sees the window's own files, so a moved header cannot make it pass vacuously.
        QVERIFY(windowFiles > 0);
        QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("includes main_window.h: ") + problems.join(u' ')));
    }
};

QTEST_GUILESS_MAIN(TestLayers)
#include "tst_layers.moc"
