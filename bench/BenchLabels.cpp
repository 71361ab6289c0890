#include "BenchLabels.h"

#include "platform/Cp1252.h"

#include <QSqlError>
#include <QSqlQuery>

namespace BenchLabels {

namespace {

const QStringList columns { QStringLiteral("MAQUINA"), QStringLiteral("COD_GRUPOEMPRESA"), QStringLiteral("NUMERO_ND"),
    QStringLiteral("NF"), QStringLiteral("NR_VOL"), QStringLiteral("QT_VOL"), QStringLiteral("SIG_ORIGEM"),
    QStringLiteral("SIG_DESTINO"), QStringLiteral("REM"), QStringLiteral("DEST"), QStringLiteral("NFS"),
    QStringLiteral("DATA"), QStringLiteral("HORA"), QStringLiteral("CODBAR"),
    QStringLiteral("PORTA_IMPRESSAO_ETIQUETAS"), QStringLiteral("ZPL") };

// Rows per INSERT: one statement per row would make filling 10,000 labels over ODBC the slowest part of the run.
constexpr int rowsPerStatement = 50;

void exec(QSqlQuery &query, const QString &sql = {})
{
    if (!(sql.isEmpty() ? query.exec() : query.exec(sql)))
        qFatal(
            "bench: %s: %s", qPrintable(sql.isEmpty() ? query.lastQuery() : sql), qPrintable(query.lastError().text()));
}

QString insertFor(int rows)
{
    const QString row = QLatin1Char('(') + QStringList(columns.size(), QStringLiteral("?")).join(u',') + u')';
    return QStringLiteral("INSERT INTO FILA_ETIQUETAS (%1) VALUES %2")
        .arg(columns.join(u','), QStringList(rows, row).join(u','));
}

void bindLabel(QSqlQuery &query, int index, const QString &target)
{
    const QString nd = QString::number(1253000 + index / 3);
    const QString volume = QString::number(index % 3 + 1);
    for (const QString &value : { machine, branch, nd, QStringLiteral("4471") + nd, volume, QStringLiteral("3"),
             QStringLiteral("GRU"), QStringLiteral("BHZ"), QStringLiteral("LOJAS PAULISTANAS DE PEÇAS LTDA"),
             QStringLiteral("FARMÁCIA CENTRAL S/A ROTA: 042 BELO HORIZONTE"),
             QStringLiteral("Dt/Hr Limite: 12/12/26 18:00 SERVIÇO: AÉREO"), QStringLiteral("11/12/26"),
             QStringLiteral("14:30"), QStringLiteral("00013656") + nd + volume, target, zpl(index) })
        query.addBindValue(value);
}

}

QString zpl(int index)
{
    const QString nd = QString::number(1253000 + index / 3);
    QString text = QStringLiteral("^XA^CI27^PW800^LL1200^FO30,30^A0N,40,40^FDTROVESSA CARGAS AÉREAS^FS"
                                  "^FO30,80^A0N,60,60^FDGRU > BHZ^FS^FO30,150^A0N,30,30^FDND %1  VOL %2/3^FS"
                                  "^FO30,190^A0N,26,26^FDDest: FARMÁCIA CENTRAL S/A ROTA: 042 BELO HORIZONTE^FS"
                                  "^FO30,230^BCN,80,Y,N,N^FD00013656%1%2^FS")
                       .arg(nd)
                       .arg(index % 3 + 1);
    for (int line = 0; text.size() < 1480; ++line) {
        text += QStringLiteral("^FO30,%1^GB740,2,2^FS^FO30,%2^A0N,22,22^FDItem %3: CONFECÇÕES NORDESTE ME, "
                               "caixa %4 de 3^FS")
                    .arg(340 + line * 60)
                    .arg(350 + line * 60)
                    .arg(line + 1)
                    .arg(index % 3 + 1);
    }
    return text + QStringLiteral("^PQ1^XZ");
}

QByteArray written(int index)
{
    return platform::toCp1252(zpl(index)) + QByteArrayLiteral("\r\n");
}

void fill(QueueFixture &fixture, QueueFixture::Backend backend, int count, const QString &target)
{
    QSqlDatabase db = fixture.database();
    QSqlQuery query(db);
    exec(query,
        backend == QueueFixture::Backend::Embedded ? QStringLiteral("DELETE FROM FILA_ETIQUETAS")
                                                   : QStringLiteral("TRUNCATE fila_etiquetas RESTART IDENTITY"));
    if (!db.transaction())
        qFatal("bench: cannot begin the fill: %s", qPrintable(db.lastError().text()));
    QSqlQuery insert(db);
    int preparedRows = 0;
    for (int first = 0; first < count; first += rowsPerStatement) {
        const int rows = std::min(rowsPerStatement, count - first);
        if (rows != preparedRows) {
            if (!insert.prepare(insertFor(rows)))
                qFatal("bench: prepare the fill: %s", qPrintable(insert.lastError().text()));
            preparedRows = rows;
        }
        for (int index = first; index < first + rows; ++index)
            bindLabel(insert, index, target);
        exec(insert);
    }
    if (!db.commit())
        qFatal("bench: cannot commit the fill: %s", qPrintable(db.lastError().text()));
}

}
