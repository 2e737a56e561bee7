#pragma once

#include <QAbstractListModel>
#include <vector>

// The marker index list `ShowList`: items "1" to "n", one per marker entry, each with a
// check mark that the replay range sets on the entries inside it.
class MarkerIndexModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int count() const { return static_cast<int>(m_checked.size()); }
    void rebuild(int count);
    void uncheckAll();
    void setChecked(int row, bool checked);
    bool isChecked(int row) const;
    // Removes one item (the numbers of the others stay as they were until the next rebuild).
    void removeItem(int row);

private:
    std::vector<bool> m_checked;
    std::vector<int> m_numbers;
};
