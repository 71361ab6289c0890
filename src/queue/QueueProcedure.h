#pragma once

#include "queue/QueueConnection.h"

#include <QHash>
#include <QObject>
#include <QVariant>
#include <functional>

// The dataset over the queue procedure getNotaDespachoEtiqueta: its parameters and a static, client-side
// snapshot of its last result with a current row.
class QueueProcedure : public QObject {
    Q_OBJECT

public:
    explicit QueueProcedure(QueueConnection &connection, QObject *parent = nullptr);

    // Names ignore letter case. Unset parameters are NULL; @login comes from the deployment, never from here.
    void setParameter(QStringView name, const QString &value);
    QVariant parameter(QStringView name) const;

    // Runs the procedure with the parameters it holds and fetches the whole result. received, when given, sees
    // the result before the views hear of it.
    void open(const std::function<void()> &received = {});
    void close();
    bool isOpen() const { return m_open; }

    void first();
    void next();
    void moveTo(int row);
    bool eof() const { return m_eof; }
    int recordCount() const { return int(m_result.rows.size()); }
    int currentRow() const { return m_row; }

    // The current row's value as text; fails with "getNotaDespachoEtiqueta: Field 'X' not found".
    QString fieldText(const QString &column) const { return fieldText(m_row, column); }
    QString fieldText(int row, const QString &column) const;
    bool hasField(const QString &column) const { return fieldIndex(column) >= 0; }
    // Any row's value, for views: a missing column gives the empty text.
    QString text(int row, const QString &column) const;

signals:
    void opened();
    void closed();
    void rowMoved();

private:
    struct Parameter {
        QString name;
        qsizetype size;
        QString caption;
        QVariant value;
    };

    Parameter &parameterNamed(QStringView name);
    int fieldIndex(const QString &column) const;
    void setCurrent(int row);

    QueueConnection &m_connection;
    QList<Parameter> m_parameters;
    QueueConnection::Result m_result;
    QHash<QString, int> m_fieldIndex;
    bool m_open = false;
    bool m_eof = true;
    int m_row = -1;
};
