// The documentation against the program: the monitor.ini keys and message types both ways, the main
// window's captions, the files the docs link to, and the manual pages' version.
#include "app/IniFile.h"
#include "common/MainWindowModel.h"
#include "common/Version.h"
#include "support/TestMonitor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace corvane;

namespace {

QString sourcePath(const QString& relative) {
    return QDir(QStringLiteral(CORVANE_SOURCE_DIR)).filePath(relative);
}

QString readText(const QString& path) {
    QFile file(sourcePath(path));
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

// The names in the first column of the table in a README section (up to the next heading as high).
QStringList readmeTable(const QString& heading) {
    static const QRegularExpression row(QStringLiteral("^\\| `([^`]+)` \\|"));
    QStringList names;
    for (const QString& line : linesBetween(readText(QStringLiteral("README.md")),
                                            QStringLiteral("^") + QRegularExpression::escape(heading) + u'$',
                                            QStringLiteral("^#{1,%1} ").arg(heading.indexOf(u' '))))
        if (const auto m = row.match(line); m.hasMatch())
            names << m.captured(1);
    return names;
}

QStringList manPageTags(const QString& from, const QString& to) {
    return roffTags(linesBetween(readText(QStringLiteral("docs/corvane-monitor.1")), from, to));
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

    // Every file a link of the README or the guide points at, pictures among them, is in the tree.
    void linksOfTheDocsLeadToFiles() {
        static const QRegularExpression link(QStringLiteral("\\]\\(([^)#\\s]*)(#[^)\\s]*)?\\)"));
        QStringList broken;
        for (const QString& doc : {QStringLiteral("README.md"), QStringLiteral("docs/guide.md")}) {
            const QString text = readText(doc);
            QVERIFY2(!text.isEmpty(), qPrintable(doc));
            const QDir base = QFileInfo(sourcePath(doc)).dir();
            for (auto it = link.globalMatch(text); it.hasNext();) {
                const QString target = it.next().captured(1);
                if (!target.startsWith(QLatin1String("http")) && !QFileInfo::exists(base.filePath(target)))
                    broken << doc + QStringLiteral(": ") + target;
            }
        }
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QStringLiteral(", "))));
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
};

QTEST_MAIN(TestDocs)
#include "test_docs.moc"
