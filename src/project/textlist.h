#pragma once

#include <QString>
#include <QStringList>

// The one text structure of the program: lines of name=value. A name is looked up
// without regard to letter case, the first match wins, and an absent name reads as the
// empty text. Used for the project file, session messages and the update answer.
class TextList {
public:
    TextList() = default;
    explicit TextList(QStringList lines)
        : m_lines(std::move(lines))
    {
    }

    // Value of the first line whose part before its first "=" equals name (letter case
    // ignored); everything after that "=". Empty when no line carries the name.
    QString value(const QString& name) const;
    // Index of that line, or -1.
    qsizetype indexOf(const QString& name) const;
    // Replaces the line of that name in place, or appends name=value as the last line.
    void setValue(const QString& name, const QString& value);
    void append(const QString& line) { m_lines.append(line); }
    void clear() { m_lines.clear(); }

    const QStringList& lines() const { return m_lines; }
    void setLines(QStringList lines) { m_lines = std::move(lines); }
    qsizetype count() const { return m_lines.size(); }

    bool load(const QString& path, QString* error = nullptr);
    bool save(const QString& path, QString* error = nullptr) const;

    // The text before the first "=" of a line (empty when there is none) and after it.
    static QString nameOf(const QString& line);
    static QString valueOf(const QString& line);

private:
    QStringList m_lines;
};
