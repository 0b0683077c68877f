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
        for (const CaseSection &section : sections)
            if (section.kind == kind)
                return &section;
        return nullptr;
    }
    QByteArray text(const QByteArray &kind) const { return find(kind) ? find(kind)->text : ""; }
};

inline QList<TextCase> readCaseFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("%s cannot be read", qPrintable(path));
    QList<TextCase> cases;
    QList<QByteArray> lines, all = file.readAll().split('\n');
    if (all.last().isEmpty())
        all.removeLast();
    // The lines gathered become the text of the last section, decoded.
    auto close = [&](bool separator) {
        if (separator && !lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        QByteArray text;
        for (const QByteArray &line : lines) {
            bool feed = true;
            for (int i = 0; i < line.size(); ++i) {
                const char c = line[i] == '\\' && i + 1 < line.size() ? line[++i] : 0;
                if (!c)
                    text += line[i];
                else if (c == 'x')
                    text += char(line.mid(i + 1, 2).toInt(nullptr, 16)), i += 2;
                else if (c == 'c')
                    feed = false;
                else
                    text += c == 't' ? '\t' : c == 'r' ? '\r' : c == '0' ? '\0' : c;
            }
            if (feed)
                text += '\n';
        }
        if (!cases.isEmpty())
            cases.last().sections.last().text = text;
        lines.clear();
    };
    for (const QByteArray &line : all) {
        if (line.startsWith("=== ")) {
            close(true);
            cases.append({QString::fromUtf8(line.mid(4)), {CaseSection()}});
        } else if (line.startsWith("--- ") && !cases.isEmpty()) {
            close(false);
            const int blank = line.indexOf(' ', 4);
            cases.last().sections.append({line.mid(4, blank < 0 ? -1 : blank - 4),
                                          blank < 0 ? QByteArray() : line.mid(blank + 1),
                                          {}});
        } else if (!cases.isEmpty()) {
            lines.append(line);
        }
    }
    close(true);
    return cases;
}
