#include "project/markerlist.h"

#include <algorithm>

#include "project/markerentry.h"
#include "project/textfile.h"
#include "project/textlist.h"

MarkerList::MarkerList(QObject* parent)
    : QAbstractListModel(parent)
{
}

int MarkerList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant MarkerList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_lines[index.row()].left(1000);
    return {};
}

QString MarkerList::name(qsizetype i) const
{
    return TextList::nameOf(m_lines[i]);
}

QString MarkerList::value(qsizetype i) const
{
    return TextList::valueOf(m_lines[i]);
}

double MarkerList::time(qsizetype i) const
{
    const auto k = static_cast<size_t>(i);
    switch (m_state[k]) {
    case Cached::Number:
        return m_times[k];
    case Cached::Bad:
        return markerentry::timeOfName(name(i)); // throws the same error again
    case Cached::Unknown:
        break;
    }
    try {
        m_times[k] = markerentry::timeOfName(name(i));
        m_state[k] = Cached::Number;
        return m_times[k];
    } catch (const markerentry::ConversionError&) {
        m_state[k] = Cached::Bad;
        throw;
    }
}

qsizetype MarkerList::findByName(const QString& nameText) const
{
    if (!m_nameIndexValid) {
        m_nameIndex.clear();
        m_nameIndex.reserve(m_lines.size());
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            const QString key = name(i).toCaseFolded();
            if (!m_nameIndex.contains(key))
                m_nameIndex.insert(key, i);
        }
        m_nameIndexValid = true;
    }
    return m_nameIndex.value(nameText.toCaseFolded(), -1);
}

bool MarkerList::timesSorted() const
{
    if (m_sorted == Cached::Unknown) {
        m_sorted = Cached::Number;
        try {
            for (qsizetype i = 0; i < m_lines.size(); ++i) {
                if (i > 0 && time(i) < time(i - 1)) {
                    m_sorted = Cached::Bad;
                    break;
                }
                time(i);
            }
        } catch (const markerentry::ConversionError&) {
            m_sorted = Cached::Bad;
        }
    }
    return m_sorted == Cached::Number;
}

qsizetype MarkerList::firstAfterIfSorted(double t) const
{
    if (!timesSorted())
        return -1;
    const auto it = std::upper_bound(m_times.begin(), m_times.end(), t);
    return static_cast<qsizetype>(it - m_times.begin());
}

void MarkerList::listChanged()
{
    m_sorted = Cached::Unknown;
    m_nameIndexValid = false;
    emit changed();
}

void MarkerList::append(const QString& l, QObject* shape)
{
    insert(m_lines.size(), l, shape);
}

void MarkerList::insert(qsizetype i, const QString& l, QObject* shape)
{
    i = std::clamp<qsizetype>(i, 0, m_lines.size());
    beginInsertRows({}, static_cast<int>(i), static_cast<int>(i));
    m_lines.insert(i, l);
    m_shapes.insert(m_shapes.begin() + i, QPointer<QObject>(shape));
    m_times.insert(m_times.begin() + i, 0.0);
    m_state.insert(m_state.begin() + i, Cached::Unknown);
    endInsertRows();
    listChanged();
}

void MarkerList::replace(qsizetype i, const QString& l)
{
    m_lines[i] = l;
    m_state[static_cast<size_t>(i)] = Cached::Unknown;
    const QModelIndex idx = index(static_cast<int>(i));
    emit dataChanged(idx, idx);
    listChanged();
}

void MarkerList::remove(qsizetype i)
{
    beginRemoveRows({}, static_cast<int>(i), static_cast<int>(i));
    m_lines.removeAt(i);
    m_shapes.erase(m_shapes.begin() + i);
    m_times.erase(m_times.begin() + i);
    m_state.erase(m_state.begin() + i);
    endRemoveRows();
    listChanged();
}

void MarkerList::clear()
{
    setLines({});
}

void MarkerList::setLines(const QStringList& lines)
{
    beginResetModel();
    m_lines = lines;
    m_shapes.assign(static_cast<size_t>(m_lines.size()), QPointer<QObject>());
    resetCache();
    endResetModel();
    listChanged();
}

void MarkerList::resetCache()
{
    m_times.assign(static_cast<size_t>(m_lines.size()), 0.0);
    m_state.assign(static_cast<size_t>(m_lines.size()), Cached::Unknown);
}

QObject* MarkerList::object(qsizetype i) const
{
    if (i < 0 || i >= m_lines.size())
        return nullptr;
    return m_shapes[static_cast<size_t>(i)].data();
}

qsizetype MarkerList::indexOfObject(const QObject* shape) const
{
    if (!shape)
        return -1;
    for (size_t i = 0; i < m_shapes.size(); ++i)
        if (m_shapes[i].data() == shape)
            return static_cast<qsizetype>(i);
    return -1;
}

qsizetype MarkerList::insertInTimeOrder(const QString& l, double t)
{
    const qsizetype same = findByName(TextList::nameOf(l));
    if (same >= 0) {
        replace(same, l);
        return same;
    }
    qsizetype i = 0;
    while (i < m_lines.size() && time(i) <= t)
        ++i;
    insert(i, l);
    return i;
}

void MarkerList::setCaption(qsizetype index, const QString& caption)
{
    const QString n = name(index);
    qsizetype target = findByName(n);
    if (target < 0)
        target = index;
    replace(target, n + QLatin1Char('=') + markerentry::withCaption(value(target), caption));
}

bool MarkerList::load(const QString& path, QString* error)
{
    QStringList lines;
    if (!textfile::readLines(path, lines, error))
        return false;
    setLines(lines);
    return true;
}

bool MarkerList::save(const QString& path, QString* error) const
{
    return textfile::writeLines(path, m_lines, error);
}
