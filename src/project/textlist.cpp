#include "project/textlist.h"

#include "project/textfile.h"

QString TextList::nameOf(const QString& line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : line.left(eq);
}

QString TextList::valueOf(const QString& line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : line.mid(eq + 1);
}

qsizetype TextList::indexOf(const QString& name) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString& line = m_lines[i];
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq == name.size() && QStringView(line).left(eq).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString TextList::value(const QString& name) const
{
    const qsizetype i = indexOf(name);
    return i < 0 ? QString() : valueOf(m_lines[i]);
}

void TextList::setValue(const QString& name, const QString& value)
{
    const QString line = name + QLatin1Char('=') + value;
    const qsizetype i = indexOf(name);
    if (i < 0)
        m_lines.append(line);
    else
        m_lines[i] = line;
}

bool TextList::load(const QString& path, QString* error)
{
    return textfile::readLines(path, m_lines, error);
}

bool TextList::save(const QString& path, QString* error) const
{
    return textfile::writeLines(path, m_lines, error);
}
