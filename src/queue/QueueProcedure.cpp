#include "queue/QueueProcedure.h"

#include "queue/QueueError.h"

namespace {

QVariant nullText()
{
    return QVariant(QMetaType::fromType<QString>());
}

}

QueueProcedure::QueueProcedure(QueueConnection &connection, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_parameters {
        { QStringLiteral("@login"), 10, QStringLiteral("Login"), nullText() },
        { QStringLiteral("@GRUPOEMPRESA"), 3, QStringLiteral("Filial"), nullText() },
        { QStringLiteral("@maquina"), 100, QStringLiteral("Máquina"), nullText() },
    }
{
    setObjectName(QStringLiteral("getNotaDespachoEtiqueta"));
}

QueueProcedure::Parameter &QueueProcedure::parameterNamed(QStringView name)
{
    for (Parameter &parameter : m_parameters) {
        if (parameter.name.compare(name, Qt::CaseInsensitive) == 0)
            return parameter;
    }
    throw QueueError(QStringLiteral("%1: Parameter '%2' not found").arg(objectName(), name));
}

void QueueProcedure::setParameter(QStringView name, const QString &value)
{
    parameterNamed(name).value = value;
}

QVariant QueueProcedure::parameter(QStringView name) const
{
    return const_cast<QueueProcedure *>(this)->parameterNamed(name).value;
}

void QueueProcedure::open(const std::function<void()> &received)
{
    if (m_open)
        return;

    parameterNamed(u"@login").value = m_connection.login();
    QVariantList arguments;
    for (const Parameter &parameter : std::as_const(m_parameters)) {
        // A value cut to the parameter's size could reach another branch's labels: refuse it instead.
        const QString text = parameter.value.toString();
        if (text.size() > parameter.size) {
            throw QueueError(QStringLiteral("%1 \"%2\" tem %3 caracteres; o máximo é %4")
                                 .arg(parameter.caption, text)
                                 .arg(text.size())
                                 .arg(parameter.size));
        }
        arguments << parameter.value;
    }

    m_result = m_connection.callQueueProcedure(arguments);
    m_fieldIndex.clear();
    for (int i = 0; i < m_result.fields.size(); ++i)
        m_fieldIndex.insert(m_result.fields.at(i).toUpper(), i);
    m_open = true;
    m_eof = m_result.rows.isEmpty();
    m_row = m_eof ? -1 : 0;
    if (received)
        received();
    emit opened();
}

void QueueProcedure::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_eof = true;
    m_row = -1;
    m_result = {};
    m_fieldIndex.clear();
    emit closed();
}

void QueueProcedure::first()
{
    if (!m_open)
        return;
    m_eof = m_result.rows.isEmpty();
    setCurrent(m_eof ? -1 : 0);
}

void QueueProcedure::next()
{
    if (!m_open || m_eof)
        return;
    if (m_row + 1 >= recordCount()) {
        m_eof = true; // stays on the last row, as a dataset does
        return;
    }
    setCurrent(m_row + 1);
}

void QueueProcedure::moveTo(int row)
{
    if (!m_open || row < 0 || row >= recordCount() || row == m_row)
        return;
    m_eof = false;
    setCurrent(row);
}

void QueueProcedure::setCurrent(int row)
{
    m_row = row;
    emit rowMoved();
}

int QueueProcedure::fieldIndex(const QString &column) const
{
    return m_fieldIndex.value(column.toUpper(), -1);
}

QString QueueProcedure::fieldText(int row, const QString &column) const
{
    const int index = fieldIndex(column);
    if (index < 0)
        throw QueueError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), column));
    return row < 0 || row >= recordCount() ? QString() : m_result.rows.at(row).at(index);
}

QString QueueProcedure::text(int row, const QString &column) const
{
    const int index = fieldIndex(column);
    if (index < 0 || row < 0 || row >= recordCount())
        return {};
    return m_result.rows.at(row).at(index);
}
