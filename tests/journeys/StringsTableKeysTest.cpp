// Every strings-table key the program's sources ask for is in the shipped tables: a key
// missing there reaches the screen as itself ("PresetExistsTitle" on a sheet).
// The scan knows the helpers that take a key (their names and which arguments are keys);
// a new helper belongs in kCalls.

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <set>
#include <vector>

#include "support/Env.h"

namespace {

QString Source() { return QString::fromStdString(zymtest::SourceDir()); }

QString ReadText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool little = bytes.startsWith("\xFF\xFE");
        QString s;
        for (int i = 2; i + 1 < bytes.size(); i += 2)
            s += QChar(little ? ushort(uchar(bytes[i]) | uchar(bytes[i + 1]) << 8)
                              : ushort(uchar(bytes[i + 1]) | uchar(bytes[i]) << 8));
        return s;
    }
    return QString::fromUtf8(bytes);
}

// The keys of a strings table: `"key" = "text";` lines, comments aside.
QSet<QString> TableKeys(const QString& table) {
    static const QRegularExpression entry(QStringLiteral(R"re(^\s*"((?:[^"\\]|\\.)*)"\s*=)re"),
                                          QRegularExpression::MultilineOption);
    QSet<QString> keys;
    const QString text = ReadText(Source() + QStringLiteral("/resources/") + table + QStringLiteral(".strings"));
    for (auto it = entry.globalMatch(text); it.hasNext();)
        keys.insert(it.next().captured(1));
    return keys;
}

// A helper that looks a key up: its name, the table, and which arguments hold keys (-1: all).
struct Call {
    const char* name;
    const char* table;
    std::vector<int> keyArguments;
};

const Call kCalls[] = {
    {"localizedText", "Localizable", {0}},
    {"text", "Localizable", {0}},  // only literal arguments count: item->text(0) is no key
    {"format", "Localizable", {0}},
    {"Tr", "Localizable", {0}},  // the second argument is the English fallback
    {"localizedAlert", "Localizable", {1, 2, 3}},
    {"displayFailure", "Localizable", {0}},
    {"linkFormat", "MetadataLinks", {0}},
    {"link", "MetadataLinks", {0}},
};

// The source without its comments (string and character literals kept as they are, line
// breaks kept so that line numbers hold).
QString WithoutComments(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype start = i;
            for (++i; i < text.size() && text[i] != c; ++i)
                if (text[i] == QLatin1Char('\\')) ++i;
            out += text.mid(start, i - start + 1);
        } else if (c == QLatin1Char('/') && next == QLatin1Char('/')) {
            while (i < text.size() && text[i] != QLatin1Char('\n'))
                ++i;
            out += QLatin1Char('\n');
        } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            for (i += 2; i + 1 < text.size() && !(text[i] == QLatin1Char('*') && text[i + 1] == QLatin1Char('/')); ++i)
                if (text[i] == QLatin1Char('\n')) out += QLatin1Char('\n');
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// The call's arguments from the opening parenthesis at `open`, split at top-level commas.
QStringList Arguments(const QString& text, qsizetype open) {
    QStringList out;
    QString current;
    int depth = 0;
    bool quoted = false;
    for (qsizetype i = open; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            current += c;
            if (c == QLatin1Char('\\') && i + 1 < text.size())
                current += text[++i];
            else if (c == QLatin1Char('"'))
                quoted = false;
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            current += c;
            continue;
        }
        if (c == QLatin1Char('(') || c == QLatin1Char('{') || c == QLatin1Char('[')) {
            if (depth++ == 0) continue;
        } else if (c == QLatin1Char(')') || c == QLatin1Char('}') || c == QLatin1Char(']')) {
            if (--depth == 0) {
                out << current;
                return out;
            }
        } else if (c == QLatin1Char(',') && depth == 1) {
            out << current;
            current.clear();
            continue;
        }
        current += c;
    }
    return out;
}

QStringList Literals(const QString& argument) {
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    QStringList out;
    for (auto it = literal.globalMatch(argument); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

struct Use {
    QString table;
    QString key;
    QString where;
};

std::vector<Use> KeysAskedFor() {
    std::vector<Use> uses;
    QDirIterator files(Source() + QStringLiteral("/src/app"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                       QDir::Files, QDirIterator::Subdirectories);
    static const QRegularExpression stringKey(QStringLiteral(R"re(StringKey\s+\w+\s*\{\s*"([^"]+)")re"));
    // The preferences window's panes: {kPane, QStringLiteral("Label"), QStringLiteral("Tooltip"), ...}.
    static const QRegularExpression pane(
        QStringLiteral(R"re(\{\s*k\w+Pane\s*,\s*QStringLiteral\("([^"]+)"\)\s*,\s*QStringLiteral\("([^"]+)"\))re"));
    while (files.hasNext()) {
        const QString path = files.next();
        const QString text = WithoutComments(ReadText(path));
        // `text(...)` is the strings table's only in a file whose own helper of that name
        // takes a key, or called on the localizer itself.
        static const QRegularExpression textHelper(QStringLiteral(R"re(QString\s+(\w+::)?text\(const char\* key\))re"));
        const bool fileTextIsLocalized = textHelper.match(text).hasMatch();
        const QString file = path.mid(Source().size() + 1);
        auto where = [&](qsizetype at) {
            return file + QLatin1Char(':') + QString::number(text.left(at).count(QLatin1Char('\n')) + 1);
        };
        for (auto it = stringKey.globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            uses.push_back({QStringLiteral("Localizable"), m.captured(1), where(m.capturedStart())});
        }
        for (auto it = pane.globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            uses.push_back({QStringLiteral("Localizable"), m.captured(1), where(m.capturedStart())});
            uses.push_back({QStringLiteral("Localizable"), m.captured(2), where(m.capturedStart())});
        }
        for (const Call& call : kCalls) {
            const QRegularExpression name(QStringLiteral(R"re(\b%1\s*\()re").arg(QLatin1String(call.name)));
            for (auto it = name.globalMatch(text); it.hasNext();) {
                const auto m = it.next();
                if (QLatin1String(call.name) == QLatin1String("text") && !fileTextIsLocalized) {
                    static const QRegularExpression onLocalizer(
                        QStringLiteral(R"re((shared\(\)|localizer\(\)|localizer_?|Texts\(\w+\))\s*(\.|->)\s*$)re"));
                    if (!onLocalizer
                             .match(text.mid(std::max<qsizetype>(0, m.capturedStart() - 40),
                                             std::min<qsizetype>(40, m.capturedStart())))
                             .hasMatch())
                        continue;
                }
                const QStringList arguments = Arguments(text, m.capturedEnd() - 1);
                // A table named among the arguments is the one asked.
                QString table = QLatin1String(call.table);
                for (const QString& argument : arguments)
                    for (const QString& literal : Literals(argument))
                        if (literal == QLatin1String("MetadataLinks") || literal == QLatin1String("SoftwareUpdate"))
                            table = literal;
                for (const int index : call.keyArguments) {
                    if (index >= arguments.size()) continue;
                    for (const QString& key : Literals(arguments[index]))
                        uses.push_back({table, key, where(m.capturedStart())});
                }
            }
        }
    }
    return uses;
}

TEST(StringsTables, HoldEveryKeyTheSourcesAskFor) {
    std::map<QString, QSet<QString>> tables;
    for (const char* table : {"Localizable", "MetadataLinks", "SoftwareUpdate"})
        tables[QLatin1String(table)] = TableKeys(QLatin1String(table));
    ASSERT_GT(tables["Localizable"].size(), 50) << "the main strings table was not read";

    const std::vector<Use> uses = KeysAskedFor();
    // The scan sees the helpers: a handful of keys each, known ones among them.
    std::set<QString> seen;
    for (const Use& u : uses)
        seen.insert(u.key);
    for (const char* known : {"ConnectionSpeedTitle", "SignOnPanelTitle", "AllStationsItemName", "ColorsPaneLabel",
                              "RadioConnectivityFailureTitle", "PresetExistsTitle"})
        EXPECT_TRUE(seen.count(QLatin1String(known))) << "the scan missed " << known;

    std::set<QString> missing;
    for (const Use& u : uses)
        if (!tables[u.table].contains(u.key) && missing.insert(u.table + QLatin1Char('/') + u.key).second)
            ADD_FAILURE() << u.where.toStdString() << ": \"" << u.key.toStdString() << "\" is not in resources/"
                          << u.table.toStdString() << ".strings";
}

}  // namespace
