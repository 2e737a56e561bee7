#include "playback/markerindexmodel.h"

int MarkerIndexModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant MarkerIndexModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    if (role == Qt::DisplayRole)
        return QString::number(m_numbers[static_cast<size_t>(index.row())]);
    if (role == Qt::CheckStateRole)
        return m_checked[static_cast<size_t>(index.row())] ? Qt::Checked : Qt::Unchecked;
    return {};
}

Qt::ItemFlags MarkerIndexModel::flags(const QModelIndex& index) const
{
    return QAbstractListModel::flags(index) | Qt::ItemIsUserCheckable;
}

void MarkerIndexModel::rebuild(int n)
{
    beginResetModel();
    m_checked.assign(static_cast<size_t>(std::max(n, 0)), false);
    m_numbers.resize(m_checked.size());
    for (size_t i = 0; i < m_numbers.size(); ++i)
        m_numbers[i] = static_cast<int>(i) + 1;
    endResetModel();
}

void MarkerIndexModel::uncheckAll()
{
    if (m_checked.empty())
        return;
    std::fill(m_checked.begin(), m_checked.end(), false);
    emit dataChanged(index(0), index(count() - 1), {Qt::CheckStateRole});
}

void MarkerIndexModel::setChecked(int row, bool checked)
{
    if (row < 0 || row >= count() || m_checked[static_cast<size_t>(row)] == checked)
        return;
    m_checked[static_cast<size_t>(row)] = checked;
    emit dataChanged(index(row), index(row), {Qt::CheckStateRole});
}

bool MarkerIndexModel::isChecked(int row) const
{
    return row >= 0 && row < count() && m_checked[static_cast<size_t>(row)];
}

void MarkerIndexModel::removeItem(int row)
{
    if (row < 0 || row >= count())
        return;
    beginRemoveRows({}, row, row);
    m_checked.erase(m_checked.begin() + row);
    m_numbers.erase(m_numbers.begin() + row);
    endRemoveRows();
}
