#include "queue/QueueDataSource.h"

#include "queue/QueueProcedure.h"

QueueDataSource::QueueDataSource(QueueProcedure &dataset, QObject *parent)
    : QAbstractTableModel(parent)
    , m_dataset(dataset)
{
    setObjectName(QStringLiteral("ds"));
    connect(&m_dataset, &QueueProcedure::opened, this, [this] {
        beginResetModel();
        endResetModel();
        emit currentRowChanged(m_dataset.currentRow());
        emit dataChange();
    });
    connect(&m_dataset, &QueueProcedure::closed, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(&m_dataset, &QueueProcedure::rowMoved, this, [this] {
        emit currentRowChanged(m_dataset.currentRow());
        emit dataChange();
    });
}

void QueueDataSource::setColumns(QList<Column> columns)
{
    beginResetModel();
    m_columns = std::move(columns);
    endResetModel();
}

int QueueDataSource::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_dataset.isOpen() ? 0 : m_dataset.recordCount();
}

int QueueDataSource::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant QueueDataSource::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return m_dataset.text(index.row(), m_columns.at(index.column()).field);
}

QVariant QueueDataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return {};
    return m_columns.at(section).title;
}
