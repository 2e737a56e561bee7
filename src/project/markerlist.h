#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <vector>

// The ordered marker entries of the open project (the notes data file in memory). It is
// the model behind the marker list view `NotesList`. Entry times are parsed once and
// cached until the entry changes; a name that is not a number raises the same
// ConversionError on every read, as an uncached read would.
class MarkerList : public QAbstractListModel {
    Q_OBJECT
public:
    explicit MarkerList(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    qsizetype count() const { return m_lines.size(); }
    bool isEmpty() const { return m_lines.isEmpty(); }
    const QString& line(qsizetype i) const { return m_lines[i]; }
    const QStringList& lines() const { return m_lines; }
    QString name(qsizetype i) const;
    QString value(qsizetype i) const;

    // The entry's name read as a number and rounded to hundredths; throws ConversionError.
    double time(qsizetype i) const;
    // Index of the first entry whose name equals name (letter case ignored), or -1.
    qsizetype findByName(const QString& name) const;

    // Index of the first entry whose time is greater than t, found by binary search when
    // every entry has a time and the times never go down; -1 when the list is not such a
    // list (the caller then scans it entry by entry).
    qsizetype firstAfterIfSorted(double t) const;

    void append(const QString& line, QObject* shape = nullptr);
    void insert(qsizetype i, const QString& line, QObject* shape = nullptr);
    // Keeps the entry's shape.
    void replace(qsizetype i, const QString& line);
    void remove(qsizetype i);
    void clear();
    void setLines(const QStringList& lines);

    QObject* object(qsizetype i) const;
    qsizetype indexOfObject(const QObject* shape) const;

    // Manual marking: replaces the first entry of the same name in place; otherwise
    // inserts before the first entry whose time is greater than t, or appends. Throws
    // ConversionError (leaving the list unchanged) when an entry time cannot be read.
    // Returns the index of the new or replaced entry.
    qsizetype insertInTimeOrder(const QString& line, double t);

    // The value of the entry at index rewritten with a caption; the entry is located by
    // name (the first entry whose name equals the name of the entry at index).
    void setCaption(qsizetype index, const QString& caption);

    bool load(const QString& path, QString* error = nullptr);
    bool save(const QString& path, QString* error = nullptr) const;

signals:
    // Emitted after every change of the entries.
    void changed();

private:
    enum class Cached : unsigned char { Unknown, Number, Bad };
    void resetCache();
    void listChanged();
    bool timesSorted() const;

    QStringList m_lines;
    std::vector<QPointer<QObject>> m_shapes;
    mutable std::vector<double> m_times;
    mutable std::vector<Cached> m_state;
    // Whole-list caches, dropped by every change: whether all times read and ascend, and
    // the first index of each name (case folded).
    mutable Cached m_sorted = Cached::Unknown;
    mutable QHash<QString, qsizetype> m_nameIndex;
    mutable bool m_nameIndexValid = false;
};
