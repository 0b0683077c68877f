#pragma once

// Test cases kept in text files. A case starts with "=== name"; its sections start with
// "--- kind [argument]" (the text before the first one is the section of kind ""). Section text
// is taken line by line with escapes: \t tab, \r carriage return, \0 NUL, \xHH any byte, \\ a
// backslash, and \c at the end of a line for no line feed after it. One empty line before
// "===" only separates cases. Lines starting with '#' before the first case are comments.

#include <QFile>
#include <QList>
#include <QString>

struct CaseSection
{
    QByteArray kind, argument, text;
};

struct TextCase
{
    QString name;
    QList<CaseSection> sections;

    const CaseSection *find(const QByteArray &kind) const
    {
        for (const CaseSection &section : sections) {
            if (section.kind == kind)
                return &section;
        }
        return nullptr;
    }
    QByteArray text(const QByteArray &kind) const
    {
        const CaseSection *section = find(kind);
        return section ? section->text : QByteArray();
    }
};

inline QByteArray decodeCaseLines(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines) {
        bool feed = true;
        for (int i = 0; i < line.size(); ++i) {
            if (line[i] != '\\' || i + 1 == line.size()) {
                out += line[i];
                continue;
            }
            const char c = line[++i];
            if (c == 't')
                out += '\t';
            else if (c == 'r')
                out += '\r';
            else if (c == '0')
                out += '\0';
            else if (c == 'c')
                feed = false;
            else if (c == 'x')
                out += char(line.mid(i + 1, 2).toInt(nullptr, 16)), i += 2;
            else
                out += c;
        }
        if (feed)
            out += '\n';
    }
    return out;
}

inline QList<TextCase> readCaseFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("%s cannot be read", qPrintable(path));
    QList<TextCase> cases;
    QList<QByteArray> lines;
    auto close = [&](bool separator) {
        if (separator && !lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        if (!cases.isEmpty())
            cases.last().sections.last().text = decodeCaseLines(lines);
        lines.clear();
    };
    QList<QByteArray> all = file.readAll().split('\n');
    if (!all.isEmpty() && all.last().isEmpty())
        all.removeLast();
    for (const QByteArray &line : all) {
        if (line.startsWith("=== ")) {
            close(true);
            cases.append({QString::fromUtf8(line.mid(4)), {CaseSection()}});
        } else if (line.startsWith("--- ") && !cases.isEmpty()) {
            close(false);
            const int blank = line.indexOf(' ', 4);
            cases.last().sections.append({line.mid(4, blank < 0 ? -1 : blank - 4),
                                          blank < 0 ? QByteArray() : line.mid(blank + 1),
                                          QByteArray()});
        } else if (!cases.isEmpty()) {
            lines.append(line);
        }
    }
    close(true);
    return cases;
}
