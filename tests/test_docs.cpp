// The documentation against the program: the monitor.ini keys and message types both ways, the main
// window's captions, the guide's pictures and links, and the map of layers and subsystems.
#include "app/IniFile.h"
#include "common/MainWindowModel.h"
#include "common/Version.h"
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

// The lines after the first line that matches `from`, up to the next line that matches `to`.
QStringList linesBetween(const QString& text, const QString& from, const QString& to) {
    const QRegularExpression start(from), end(to);
    QStringList section;
    bool inside = false;
    for (const QString& line : text.split(u'\n')) {
        if (inside && end.match(line).hasMatch())
            break;
        if (inside)
            section << line;
        inside = inside || start.match(line).hasMatch();
    }
    return section;
}

// A Markdown section: from its heading to the next heading of the same or a higher level.
QStringList markdownSection(const QString& relative, const QString& heading) {
    return linesBetween(readText(relative), QStringLiteral("^") + QRegularExpression::escape(heading) + u'$',
                        QStringLiteral("^#{1,%1} ").arg(heading.indexOf(u' ')));
}

// The first captured group of every line that matches `row`.
QStringList captured(const QStringList& lines, const QString& row) {
    const QRegularExpression re(row);
    QStringList out;
    for (const QString& line : lines)
        if (const auto m = re.match(line); m.hasMatch())
            out << m.captured(1);
    return out;
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

// The names in the first column of a README table.
QStringList readmeTable(const QString& heading) {
    return captured(markdownSection(QStringLiteral("README.md"), heading),
                    QStringLiteral("^\\| `([^`]+)` \\|"));
}

QStringList manPageTags(const QString& from, const QString& to) {
    return roffTags(linesBetween(readText(QStringLiteral("docs/corvane-monitor.1")), from, to));
}

// GitHub's anchor for a heading: lower case, punctuation other than hyphens dropped, blanks to hyphens.
QSet<QString> anchorsOf(const QString& markdown) {
    static const QRegularExpression heading(QStringLiteral("^#+ (.+)$"), QRegularExpression::MultilineOption);
    QSet<QString> anchors;
    for (auto it = heading.globalMatch(markdown); it.hasNext();) {
        QString a = it.next().captured(1).trimmed().toLower();
        a.remove(QRegularExpression(QStringLiteral("[^a-z0-9 _-]")));
        anchors.insert(a.replace(u' ', u'-'));
    }
    return anchors;
}

QString listed(const QSet<QString>& set) {
    QStringList list(set.begin(), set.end());
    list.sort();
    return list.join(QStringLiteral(", "));
}

// Fails with the names found on one side and not on the other.
void compareNames(const QStringList& documented, const QStringList& known, const char* where) {
    const QSet<QString> d(documented.begin(), documented.end()), k(known.begin(), known.end());
    QVERIFY2(d == k, qPrintable(QStringLiteral("%1: documented but unknown: %2; not documented: %3")
                                    .arg(QLatin1String(where), listed(d - k), listed(k - d))));
}

} // namespace

class TestDocs : public QObject {
    Q_OBJECT
private slots:
    void everyIniKeyIsInTheReadmeTableAndTheManPage() {
        const QStringList keys = ini::readKeys();
        QVERIFY(keys.size() >= 25);
        compareNames(readmeTable(QStringLiteral("### monitor.ini")), keys, "README");
        compareNames(manPageTags(QStringLiteral("^The keys:"), QStringLiteral("^\\.RE")), keys,
                     "manual page");
    }

    void everyMessageTypeIsDocumented() {
        test::TestMonitor t;
        QStringList handled;
        for (int c = 1; c < 128; ++c)
            if (t.monitor.dispatcher().hasHandler(static_cast<char>(c)))
                handled << QString(QChar(c));
        QVERIFY(handled.size() >= 12);
        compareNames(readmeTable(QStringLiteral("### Messages from the engine")), handled, "README");
        QStringList inMan =
            manPageTags(QStringLiteral("^\\.SH \"MESSAGES FROM THE ENGINE\""), QStringLiteral("^\\.SH"));
        for (QString& tag : inMan)
            tag.truncate(1);
        compareNames(inMan, handled, "manual page");
    }

    void everyMenuItemAndButtonIsInTheGuide() {
        const QString guide = readText(QStringLiteral("docs/guide.md"));
        QVERIFY(!guide.isEmpty());
        const MainWindowModel model;
        QStringList captions;
        for (int i = 0; i < static_cast<int>(MenuItem::Count); ++i)
            captions << model.menu(static_cast<MenuItem>(i)).caption;
        for (int i = 0; i < static_cast<int>(Element::Count); ++i) {
            const ElementState& s = model.element(static_cast<Element>(i));
            if (s.kind == ElementKind::Button || s.kind == ElementKind::CheckBox)
                captions << s.caption;
        }
        QStringList missing;
        for (QString& caption : captions)
            if (!guide.contains(caption.remove(u'&')))
                missing << caption;
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
                if (!anchor.isEmpty() && path.endsWith(QLatin1String(".md")) &&
                    !anchorsOf(readText(QDir(sourcePath(QString())).relativeFilePath(path))).contains(anchor))
                    broken << doc + QStringLiteral(": ") + target + u'#' + anchor;
            }
        }
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QStringLiteral(", "))));
        for (const char* shot : {"main-window.png", "statistics.png", "call-detail.png", "chat.png"})
            QVERIFY2(pictures.contains(QString::fromLatin1(shot)), shot);
    }

    // The folders of src/ from the bottom layer up, in the map's rows "| 1 | `common` |".
    void theMapListsTheLayersThatTheBuildLinks() {
        const QStringList layers =
            captured(markdownSection(QStringLiteral("docs/architecture.md"), QStringLiteral("## Layers")),
                     QStringLiteral("^\\| \\d+ \\| `([a-z]+)` \\|"));
        static const QRegularExpression order(QStringLiteral("set\\(corvane_layers ([a-z ]+)\\)"));
        const auto m = order.match(readText(QStringLiteral("src/CMakeLists.txt")));
        QVERIFY(m.hasMatch());
        QCOMPARE(layers, m.captured(1).split(u' '));
        compareNames(layers,
                     QDir(sourcePath(QStringLiteral("src"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                     "source folders");
    }

    void everySubsystemOnTheMapExists() {
        static const QRegularExpression row(QStringLiteral("^\\| `([A-Za-z]+)` \\| `([a-z]+)` \\|"));
        int named = 0;
        QStringList missing;
        for (const QString& line :
             markdownSection(QStringLiteral("docs/architecture.md"), QStringLiteral("## Subsystems"))) {
            const auto m = row.match(line);
            if (!m.hasMatch())
                continue;
            ++named;
            const QRegularExpression declared(
                QStringLiteral("^(class|struct) %1\\b[^;\\n]*$").arg(m.captured(1)),
                QRegularExpression::MultilineOption);
            bool found = false;
            for (QDirIterator it(sourcePath(QStringLiteral("src/") + m.captured(2)), {QStringLiteral("*.h")},
                                 QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext() && !found;) {
                QFile header(it.next());
                found = header.open(QIODevice::ReadOnly) &&
                        declared.match(QString::fromUtf8(header.readAll())).hasMatch();
            }
            if (!found)
                missing << m.captured(2) + u'/' + m.captured(1);
        }
        QVERIFY(named > 10);
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("Not in src/: ") + missing.join(u' ')));
    }

    // Each page names the current version and renders without warnings.
    void manPagesAreCurrentAndClean() {
        const QString version = QStringLiteral("\"CorvaneMonitor %1.%2.%3\"")
                                    .arg(version::major)
                                    .arg(version::minor)
                                    .arg(version::revision);
        const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
        for (const char* page : {"docs/corvane-monitor.1", "docs/corvane-engine-sim.1"}) {
            const QString header = readText(QString::fromLatin1(page)).section(u'\n', 0, 0);
            QVERIFY2(header.startsWith(QLatin1String(".TH ")) && header.contains(version),
                     qPrintable(QString::fromLatin1(page) + QStringLiteral(": ") + header));
            if (groff.isEmpty())
                QSKIP("groff is not installed");
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
