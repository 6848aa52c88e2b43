// The documentation against the program: the monitor.ini keys the reader accepts, the message types
// the dispatcher handles, the menus and buttons of the main window, the pictures and links the guide
// points at, and the developer's map of layers and subsystems. A key, a message type, a menu or a
// subsystem added without its documentation, or documentation left behind by one that was removed or
// renamed, fails here.
#include "app/IniFile.h"
#include "common/Version.h"
#include "common/MainWindowModel.h"
#include "support/TestMonitor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>

using namespace corvane;

namespace {

QString sourcePath(const QString& relative) {
    return QDir(QStringLiteral(CORVANE_SOURCE_DIR)).filePath(relative);
}

QString readText(const QString& relative) {
    QFile file(sourcePath(relative));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// The lines of a Markdown file from the heading `heading` to the next heading of the same or a
// higher level.
QStringList markdownSection(const QString& text, const QString& heading) {
    const QStringList lines = text.split(u'\n');
    const qsizetype level = heading.indexOf(u' ');
    QStringList section;
    bool inside = false;
    for (const QString& line : lines) {
        if (line == heading) {
            inside = true;
            continue;
        }
        if (inside && line.startsWith(u'#')) {
            const qsizetype lineLevel = line.indexOf(u' ');
            if (lineLevel > 0 && lineLevel <= level && line.left(lineLevel).count(u'#') == lineLevel)
                break;
        }
        if (inside)
            section << line;
    }
    return section;
}

// The first column of a Markdown table's rows, when it is one `code` span.
QSet<QString> tableKeys(const QStringList& section) {
    static const QRegularExpression row(QStringLiteral("^\\| `([^`]+)` \\|"));
    QSet<QString> keys;
    for (const QString& line : section) {
        const auto m = row.match(line);
        if (m.hasMatch())
            keys.insert(m.captured(1));
    }
    return keys;
}

// The roff lines between a line starting with `from` and the next line starting with `to`.
QStringList roffSection(const QString& text, const QString& from, const QString& to) {
    QStringList section;
    bool inside = false;
    for (const QString& line : text.split(u'\n')) {
        if (!inside && line.startsWith(from)) {
            inside = true;
            continue;
        }
        if (inside && line.startsWith(to))
            break;
        if (inside)
            section << line;
    }
    return section;
}

// The tags of a roff list: the first word of the line after each ".TP", without font macros.
QStringList roffTags(const QStringList& section) {
    QStringList tags;
    for (qsizetype i = 0; i + 1 < section.size(); ++i) {
        if (section[i] != QLatin1String(".TP"))
            continue;
        QString tag = section[i + 1];
        for (const char* macro : {".BI ", ".BR ", ".B ", ".IR ", ".I "})
            if (tag.startsWith(QLatin1String(macro)))
                tag = tag.mid(static_cast<qsizetype>(qstrlen(macro)));
        tag.remove(QRegularExpression(QStringLiteral("\\\\f[BIR]")));
        tag.replace(QLatin1String("\\-"), QLatin1String("-"));
        tags << tag.section(u' ', 0, 0);
    }
    return tags;
}

QSet<QString> sorted(const QStringList& list) {
    return QSet<QString>(list.begin(), list.end());
}

// GitHub's anchor for a heading: lower case, punctuation other than hyphens dropped, blanks to hyphens.
QString anchorOf(const QString& heading) {
    QString a = heading.trimmed().toLower();
    a.remove(QRegularExpression(QStringLiteral("[^a-z0-9 _-]")));
    a.replace(u' ', u'-');
    return a;
}

QSet<QString> anchorsOf(const QString& markdown) {
    static const QRegularExpression heading(QStringLiteral("^#+ (.+)$"), QRegularExpression::MultilineOption);
    QSet<QString> anchors;
    for (auto it = heading.globalMatch(markdown); it.hasNext();)
        anchors.insert(anchorOf(it.next().captured(1)));
    return anchors;
}

// The folders of src/ from the bottom layer up, as the developer's map lists them: rows "| 1 | `common` |".
QStringList mapLayers() {
    static const QRegularExpression row(QStringLiteral("^\\| \\d+ \\| `([a-z]+)` \\|"));
    QStringList layers;
    for (const QString& line : markdownSection(readText(QStringLiteral("docs/architecture.md")),
                                               QStringLiteral("## Layers"))) {
        const auto m = row.match(line);
        if (m.hasMatch())
            layers << m.captured(1);
    }
    return layers;
}

// Every header and source file under a folder of src/, relative to the tree.
QStringList sourcesIn(const QString& folder) {
    QStringList files;
    QDirIterator it(sourcePath(QStringLiteral("src/") + folder), {QStringLiteral("*.h"), QStringLiteral("*.cpp")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(sourcePath(QString())).relativeFilePath(it.next());
    return files;
}

QString listed(const QSet<QString>& set) {
    QStringList list(set.begin(), set.end());
    list.sort();
    return list.join(QStringLiteral(", "));
}

} // namespace

// Names found on one side and not on the other, listed in the failure.
#define COMPARE_NAMES(actual, expected, what)                                                                \
    do {                                                                                                     \
        const QSet<QString> a_ = (actual), e_ = (expected);                                                  \
        QVERIFY2((a_ - e_).isEmpty(),                                                                        \
                 qPrintable(QStringLiteral(what " documented but unknown: ") + listed(a_ - e_)));            \
        QVERIFY2((e_ - a_).isEmpty(),                                                                        \
                 qPrintable(QStringLiteral(what " not documented: ") + listed(e_ - a_)));                    \
    } while (false)

class TestDocs : public QObject {
    Q_OBJECT
private slots:
    void dispatcherTellsWhichTypesHaveHandlers() {
        Dispatcher d;
        QVERIFY(!d.hasHandler('q'));
        d.setHandler('q', [](QStringView) {});
        QVERIFY(d.hasHandler('q'));
        QVERIFY(!d.hasHandler('Q'));
        QVERIFY(!d.hasHandler(static_cast<char>(0xE9)));
    }

    void everyIniKeyIsInTheReadmeTableAndTheManPage() {
        const QSet<QString> keys = sorted(ini::readKeys());
        QVERIFY(keys.size() >= 25);

        const QString readme = readText(QStringLiteral("README.md"));
        QVERIFY(!readme.isEmpty());
        const QSet<QString> inReadme = tableKeys(markdownSection(readme, QStringLiteral("### monitor.ini")));
        COMPARE_NAMES(inReadme, keys, "keys");

        const QString man = readText(QStringLiteral("docs/corvane-monitor.1"));
        QVERIFY(!man.isEmpty());
        const QSet<QString> inMan =
            sorted(roffTags(roffSection(man, QStringLiteral("The keys:"), QStringLiteral(".RE"))));
        COMPARE_NAMES(inMan, keys, "keys");
    }

    void everyMessageTypeIsDocumented() {
        test::TestMonitor t;
        QSet<QString> handled;
        for (int c = 1; c < 128; ++c)
            if (t.monitor.dispatcher().hasHandler(static_cast<char>(c)))
                handled.insert(QString(QChar(c)));
        QVERIFY(handled.size() >= 12);

        const QString readme = readText(QStringLiteral("README.md"));
        const QSet<QString> inReadme =
            tableKeys(markdownSection(readme, QStringLiteral("### Messages from the engine")));
        COMPARE_NAMES(inReadme, handled, "types");

        const QString man = readText(QStringLiteral("docs/corvane-monitor.1"));
        QSet<QString> inMan;
        for (const QString& tag : roffTags(
                 roffSection(man, QStringLiteral(".SH \"MESSAGES FROM THE ENGINE\""), QStringLiteral(".SH"))))
            inMan.insert(tag.left(1));
        COMPARE_NAMES(inMan, handled, "types");
    }

    void everyMenuItemAndButtonIsInTheGuide() {
        const QString guide = readText(QStringLiteral("docs/guide.md"));
        QVERIFY(!guide.isEmpty());
        const MainWindowModel model;
        QStringList missing;
        for (int i = 0; i < static_cast<int>(MenuItem::Count); ++i) {
            const QString caption = QString(model.menu(static_cast<MenuItem>(i)).caption).remove(u'&');
            if (!guide.contains(caption))
                missing << caption;
        }
        for (int i = 0; i < static_cast<int>(Element::Count); ++i) {
            const ElementState& s = model.element(static_cast<Element>(i));
            if (s.kind != ElementKind::Button && s.kind != ElementKind::CheckBox)
                continue;
            const QString caption = QString(s.caption).remove(u'&');
            if (!guide.contains(caption))
                missing << caption;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
    }

    void picturesAndLinksOfTheDocsExist() {
        static const QRegularExpression link(QStringLiteral("\\]\\(([^)#\\s]*)(#[^)\\s]*)?\\)"));
        QStringList broken;
        QSet<QString> pictures;
        for (const QString& doc : {QStringLiteral("README.md"), QStringLiteral("docs/guide.md")}) {
            const QString text = readText(doc);
            QVERIFY2(!text.isEmpty(), qPrintable(doc));
            const QDir base = QFileInfo(sourcePath(doc)).dir();
            for (auto it = link.globalMatch(text); it.hasNext();) {
                const auto m = it.next();
                const QString target = m.captured(1);
                const QString anchor = m.captured(2).mid(1);
                if (target.startsWith(QLatin1String("http")))
                    continue;
                const QString path = target.isEmpty() ? sourcePath(doc) : base.filePath(target);
                if (!QFileInfo::exists(path)) {
                    broken << doc + QStringLiteral(": ") + target;
                    continue;
                }
                if (path.endsWith(QLatin1String(".png"))) {
                    pictures.insert(QFileInfo(path).fileName());
                    const QImage image(path);
                    if (image.isNull() || image.width() < 200 || image.height() < 150)
                        broken << doc + QStringLiteral(": ") + target + QStringLiteral(" is no screenshot");
                }
                if (!anchor.isEmpty() && path.endsWith(QLatin1String(".md"))) {
                    QFile file(path);
                    QVERIFY(file.open(QIODevice::ReadOnly));
                    if (!anchorsOf(QString::fromUtf8(file.readAll())).contains(anchor))
                        broken << doc + QStringLiteral(": ") + target + u'#' + anchor;
                }
            }
        }
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QStringLiteral(", "))));
        for (const char* shot : {"main-window.png", "statistics.png", "call-detail.png", "chat.png"})
            QVERIFY2(pictures.contains(QString::fromLatin1(shot)), shot);
    }

    void theMapListsTheLayersThatTheBuildLinks() {
        const QStringList layers = mapLayers();
        static const QRegularExpression order(QStringLiteral("set\\(corvane_layers ([a-z ]+)\\)"));
        const auto m = order.match(readText(QStringLiteral("src/CMakeLists.txt")));
        QVERIFY(m.hasMatch());
        QCOMPARE(layers, m.captured(1).split(u' '));
        const QStringList folders = QDir(sourcePath(QStringLiteral("src"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        COMPARE_NAMES(sorted(layers), sorted(folders), "Source folders");
    }

    void everySubsystemOnTheMapExists() {
        static const QRegularExpression row(QStringLiteral("^\\| `([A-Za-z]+)` \\| `([a-z]+)` \\|"));
        int named = 0;
        QStringList missing;
        for (const QString& line : markdownSection(readText(QStringLiteral("docs/architecture.md")),
                                                   QStringLiteral("## Subsystems"))) {
            const auto m = row.match(line);
            if (!m.hasMatch())
                continue;
            ++named;
            const QRegularExpression declared(QStringLiteral("^(class|struct) %1\\b[^;\\n]*$").arg(m.captured(1)),
                                              QRegularExpression::MultilineOption);
            const QStringList headers = sourcesIn(m.captured(2)).filter(QRegularExpression(QStringLiteral("\\.h$")));
            if (std::none_of(headers.begin(), headers.end(),
                             [&](const QString& h) { return declared.match(readText(h)).hasMatch(); }))
                missing << m.captured(2) + u'/' + m.captured(1);
        }
        QVERIFY(named > 10);
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("Not in src/: ") + missing.join(u' ')));
    }

    void manPagesNameTheCurrentVersion() {
        const QString version = QStringLiteral("\"CorvaneMonitor %1.%2.%3\"")
                                    .arg(version::major)
                                    .arg(version::minor)
                                    .arg(version::revision);
        for (const char* page : {"docs/corvane-monitor.1", "docs/corvane-engine-sim.1"}) {
            const QString header = readText(QString::fromLatin1(page)).section(u'\n', 0, 0);
            QVERIFY2(header.startsWith(QLatin1String(".TH ")) && header.contains(version),
                     qPrintable(QString::fromLatin1(page) + QStringLiteral(": ") + header));
        }
    }

    void manPagesRenderWithoutWarnings() {
        const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
        if (groff.isEmpty())
            QSKIP("groff is not installed");
        for (const char* page : {"docs/corvane-monitor.1", "docs/corvane-engine-sim.1"}) {
            QProcess p;
            p.start(groff, {QStringLiteral("-man"), QStringLiteral("-Tutf8"), QStringLiteral("-ww"),
                            QStringLiteral("-z"), sourcePath(QString::fromLatin1(page))});
            QVERIFY(p.waitForFinished(20000));
            QCOMPARE(p.exitCode(), 0);
            QCOMPARE(QString::fromLocal8Bit(p.readAllStandardError()), QString());
        }
    }
};

QTEST_MAIN(TestDocs)
#include "test_docs.moc"
