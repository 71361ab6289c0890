#pragma once

#include "queue/QueueConnection.h"
#include "queue/QueueDataSource.h"
#include "queue/QueueProcedure.h"
#include "ui_UVol.h"
#include "window/PrintJournal.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <functional>

class QMessageBox;

// The station's one window: its station fields, the automatic-printing switch, the queue list, the label
// preview and the status line; the poll, the operator's commands and the print run.
class TFEtiquetaVolume : public QWidget, private Ui::TFEtiquetaVolume {
    Q_OBJECT

public:
    // arguments: the branch code and the machine name, as the command line gives them.
    explicit TFEtiquetaVolume(const QStringList &arguments, QWidget *parent = nullptr);
    ~TFEtiquetaVolume() override;

private slots:
    void Timer1Timer();
    void btnImprimirClick();
    void btnLimparFilaClick();
    void ckAtivoClick();
    void dsDataChange();
    void DBGrid1RowClick(const QModelIndex &current);

private:
    void FormCreate(const QStringList &arguments);
    void ImprimirFila();
    void ExibirEtiqueta();
    void sizeLabelsToText();
    // Writes one label to its target; false when it failed (the status line says so) or had to wait.
    bool imprimirEtiqueta(QString target, const std::function<QString()> &zpl);
    template<typename Work> auto withJournal(Work work) -> decltype(work());
    QList<qint64> journalReceived(const QString &machine);
    void forget(qint64 id);
    void showPendingCount();

    // Runs one piece of queue work; a failure that escapes it goes to the error dialog. A print asked for
    // while work is under way runs once, right after it.
    void runQueueWork(const std::function<void()> &work);
    void handlePendingEvents();
    void showFailure(const QString &message);
    void setupLook();
    void setupGrid();

    QueueConnection ADOConnection1;
    QueueProcedure getNotaDespachoEtiqueta;
    QueueDataSource ds;
    QTimer Timer1;
    QString FilialAtual;

    PrintJournal m_journal;
    QSet<QString> m_stalledTargets;
    QDateTime m_lastStamp;
    QElapsedTimer m_sincePainted;
    QSet<QLabel *> m_unsized;
    QString m_journalFailure;
    bool m_busy = false;
    bool m_printRequested = false;
    QPointer<QMessageBox> m_errorDialog;
};
