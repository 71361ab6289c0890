#pragma once

#include <QAbstractTableModel>

class QueueProcedure;

// Links the queue dataset to its views: a table of the chosen columns for the list, and the data-change
// notification, fired when the result opens and whenever the current row moves. Closing empties the table
// and notifies nobody.
class QueueDataSource : public QAbstractTableModel {
    Q_OBJECT

public:
    struct Column {
        QString field;
        QString title;
    };

    explicit QueueDataSource(QueueProcedure &dataset, QObject *parent = nullptr);

    void setColumns(QList<Column> columns);
    QueueProcedure &dataset() const { return m_dataset; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void dataChange();
    void currentRowChanged(int row);

private:
    QueueProcedure &m_dataset;
    QList<Column> m_columns;
};
