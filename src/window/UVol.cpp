#include "window/UVol.h"

#include "platform/Cp1252.h"
#include "platform/TargetOutput.h"
#include "queue/LabelColumns.h"
#include "window/LerConfiguracao.h"
#include "window/PrintJournal.h"
#include "window/PrintTarget.h"
#include "window/UpperCaseValidator.h"

#include <QCoreApplication>
#include <QFont>
#include <QHeaderView>
#include <QMessageBox>
#include <QPalette>
#include <QScopeGuard>
#include <cerrno>

namespace {

const QString imprimindo = QStringLiteral("Imprimindo etiqueta em %1...");
const QString erroAoImprimir = QStringLiteral("Erro ao imprimir etiqueta em %1...");
const QString limpezaRecusada = QStringLiteral("Impressão em andamento: a fila não foi limpa...");

QFont pixelFont(const QString &family, int pixelSize, bool bold)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}

TFEtiquetaVolume::TFEtiquetaVolume(const QStringList &arguments, QWidget *parent)
    : QWidget(parent)
    , ADOConnection1(QStringLiteral("ADOConnection1-%1").arg(quintptr(this)), [this] { handlePendingEvents(); })
    , getNotaDespachoEtiqueta(ADOConnection1)
    , ds(getNotaDespachoEtiqueta)
    , Timer1(this)
    , m_journal(PrintJournal::defaultPath())
{
    Q_INIT_RESOURCE(assets);
    // Stations without the Windows fonts get the closest likeness that keeps every caption in its place.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans Narrow"));
    setupUi(this);
    move(710, 205); // where the window was designed to sit; uic only sizes a top-level window
    setupLook();
    setFixedSize(size());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    EdtFilial->setValidator(new UpperCaseValidator(3, EdtFilial));
    edtTotem->setValidator(new UpperCaseValidator(-1, edtTotem));
    setupGrid();

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(3000);
    Timer1.setTimerType(Qt::PreciseTimer);

    connect(&Timer1, &QTimer::timeout, this, &TFEtiquetaVolume::Timer1Timer);
    connect(btnImprimir, &QPushButton::clicked, this, &TFEtiquetaVolume::btnImprimirClick);
    connect(btnLimparFila, &QPushButton::clicked, this, &TFEtiquetaVolume::btnLimparFilaClick);
    connect(ckAtivo, &QCheckBox::clicked, this, &TFEtiquetaVolume::ckAtivoClick);
    connect(&ds, &QueueDataSource::dataChange, this, &TFEtiquetaVolume::dsDataChange);

    FormCreate(arguments);
    Timer1.start();
}

TFEtiquetaVolume::~TFEtiquetaVolume() = default;

void TFEtiquetaVolume::setupLook()
{
    const QString windowFamily = QStringLiteral("MS Sans Serif");
    setFont(pixelFont(windowFamily, 11, false));
    lblCaption->setFont(pixelFont(windowFamily, 11, true));
    Label6->setFont(pixelFont(windowFamily, 11, true));
    lblMsg->setFont(pixelFont(windowFamily, 9, false));

    const auto paint = [](QWidget *widget, QColor fill) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, fill);
        palette.setColor(QPalette::WindowText, Qt::black);
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
    };
    for (QFrame *frame : { Shape2, Shape3, Shape4 }) {
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        frame->setLineWidth(1);
        paint(frame, Qt::white);
    }
    paint(PnEtiqueta, Qt::yellow);
    paint(Shape1, Qt::black);

    const QString previewFamily = QStringLiteral("Arial");
    for (QLabel *label : { Label1, lblOrig, lblDest, lblVol, lblND, lblNrNf })
        label->setFont(pixelFont(previewFamily, 16, true));
    for (QLabel *label : { Label2, Label3, Label4, Label5, lblCodBar })
        label->setFont(pixelFont(previewFamily, 8, true));
    for (QLabel *label : { Label7, Label8, Label9, lblRem, lblDestinatario, lblNF, lblDt, lblHr })
        label->setFont(pixelFont(previewFamily, 9, true));
    for (QLabel *label : PnEtiqueta->findChildren<QLabel *>()) {
        if (label->property("autoSize").toBool())
            label->adjustSize();
    }
}

void TFEtiquetaVolume::setupGrid()
{
    using namespace LabelColumns;
    ds.setColumns({ { COD_GRUPOEMPRESA, QStringLiteral("Grp") }, { NUMERO_ND, QStringLiteral("ND") }, { NF, NF },
        { NR_VOL, QStringLiteral("Vol.") }, { SIG_DESTINO, QStringLiteral("Destino") } });
    DBGrid1->setModel(&ds);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->verticalHeader()->setDefaultSectionSize(17);
    QHeaderView *titles = DBGrid1->horizontalHeader();
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setHighlightSections(false);
    const int widths[] = { 33, 91, 64, 42, 91 };
    for (int column = 0; column < int(std::size(widths)); ++column)
        titles->resizeSection(column, widths[column]);

    connect(
        DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TFEtiquetaVolume::DBGrid1RowClick);
    connect(&ds, &QueueDataSource::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            DBGrid1->selectRow(row);
    });
}

void TFEtiquetaVolume::FormCreate(const QStringList &arguments)
{
    EdtFilial->setText(arguments.value(0).toUpper());
    FilialAtual = EdtFilial->text();
    edtTotem->setText(arguments.value(1).toUpper());
}

void TFEtiquetaVolume::Timer1Timer()
{
    if (!ckAtivo->isChecked() || m_busy)
        return;
    Timer1.stop();
    // Polling goes on whatever became of this run: the station is left unattended.
    const auto restart = qScopeGuard([this] { Timer1.start(); });
    runQueueWork([this] { ImprimirFila(); });
}

void TFEtiquetaVolume::btnImprimirClick()
{
    if (m_busy) {
        m_printRequested = true;
        return;
    }
    runQueueWork([this] { ImprimirFila(); });
}

void TFEtiquetaVolume::btnLimparFilaClick()
{
    // Reopening the queue under a run would drop the labels that run was handed and has yet to print.
    if (m_busy) {
        lblMsg->setText(limpezaRecusada);
        return;
    }
    runQueueWork([this] {
        getNotaDespachoEtiqueta.close();
        getNotaDespachoEtiqueta.open();
    });
}

void TFEtiquetaVolume::ckAtivoClick()
{
    const bool manual = !ckAtivo->isChecked();
    btnImprimir->setEnabled(manual);
    btnLimparFila->setEnabled(manual);
}

void TFEtiquetaVolume::dsDataChange()
{
    ExibirEtiqueta();
}

void TFEtiquetaVolume::DBGrid1RowClick(const QModelIndex &current)
{
    if (!current.isValid() || current.row() == getNotaDespachoEtiqueta.currentRow())
        return;
    // During a run the list follows the run, not the operator.
    if (m_busy) {
        DBGrid1->selectRow(getNotaDespachoEtiqueta.currentRow());
        return;
    }
    try {
        getNotaDespachoEtiqueta.moveTo(current.row());
    } catch (const std::exception &failure) {
        showFailure(QString::fromUtf8(failure.what()));
    }
}

void TFEtiquetaVolume::handlePendingEvents()
{
    // Painting the list and the preview for every label of a long queue would cost many times the label itself:
    // while queue work runs, every event is handled but the window is painted ten times a second.
    if (m_busy && m_sincePainted.elapsed() >= 100) {
        sizeLabelsToText();
        setUpdatesEnabled(true);
        QCoreApplication::processEvents();
        setUpdatesEnabled(false);
        m_sincePainted.restart();
        return;
    }
    QCoreApplication::processEvents();
}

void TFEtiquetaVolume::runQueueWork(const std::function<void()> &work)
{
    m_busy = true;
    m_sincePainted.start();
    setUpdatesEnabled(false);
    const auto idle = qScopeGuard([this] {
        m_busy = false;
        sizeLabelsToText();
        setUpdatesEnabled(true);
    });
    try {
        work();
        while (m_printRequested) {
            m_printRequested = false;
            ImprimirFila();
        }
    } catch (const std::exception &failure) {
        m_printRequested = false;
        showFailure(QString::fromUtf8(failure.what()));
    }
}

void TFEtiquetaVolume::showFailure(const QString &message)
{
    // One dialog at most, and nobody has to close it for the station to go on.
    if (!m_errorDialog) {
        m_errorDialog = new QMessageBox(
            QMessageBox::Critical, QCoreApplication::applicationName(), message, QMessageBox::Ok, this);
        m_errorDialog->setObjectName(QStringLiteral("errorDialog"));
        m_errorDialog->setWindowModality(Qt::NonModal);
    }
    m_errorDialog->setText(message);
    m_errorDialog->show();
}

void TFEtiquetaVolume::ImprimirFila()
{
    FilialAtual = EdtFilial->text();
    const QString machine = edtTotem->text();
    getNotaDespachoEtiqueta.close();
    getNotaDespachoEtiqueta.setParameter(u"@grupoempresa", FilialAtual);
    getNotaDespachoEtiqueta.setParameter(u"@maquina", machine);
    m_stalledTargets.clear();
    m_journalFailure.clear();
    const std::unique_ptr<QLockFile> runLock = m_journal.lockForRun([this] { handlePendingEvents(); });
    const auto reportJournal = qScopeGuard([&] { showPendingCount(); });

    // What earlier runs could not write goes first, in its order, even while the database is away.
    for (const PrintJournal::Label &label : withJournal([&] { return m_journal.pending(); })) {
        handlePendingEvents();
        if (imprimirEtiqueta(label.target, [&] { return label.zpl; }))
            forget(label.id);
    }

    QList<qint64> journalIds;
    getNotaDespachoEtiqueta.open([&] { journalIds = journalReceived(machine); });
    if (!getNotaDespachoEtiqueta.isOpen())
        return;

    for (getNotaDespachoEtiqueta.first(); !getNotaDespachoEtiqueta.eof(); getNotaDespachoEtiqueta.next()) {
        handlePendingEvents();
        const int row = getNotaDespachoEtiqueta.currentRow();
        const QString target = getNotaDespachoEtiqueta.fieldText(LabelColumns::PORTA_IMPRESSAO_ETIQUETAS);
        const bool written
            = imprimirEtiqueta(target, [&] { return getNotaDespachoEtiqueta.fieldText(row, LabelColumns::ZPL); });
        if (written && row < journalIds.size())
            forget(journalIds.at(row));
    }
}

bool TFEtiquetaVolume::imprimirEtiqueta(QString target, const std::function<QString()> &zpl)
{
    if (PrintTarget::isBlank(target))
        target = LerConfiguracao(QStringLiteral("ETIQUETAS"), QStringLiteral("PORTA_ND"), QString());
    // A target that just stalled for the whole wait would stall again: its labels wait for the next run.
    if (m_stalledTargets.contains(target))
        return false;

    const bool stamp = PrintTarget::needsStamp(target);
    const QList<std::pair<QString, QString>> map = LerSecao(QStringLiteral("IMPRESSORAS"));
    // Labels come faster than one a millisecond: each stamp is at least one past the last, so a burst does not
    // walk over every file the burst already made.
    QDateTime when = QDateTime::currentDateTime();
    if (stamp && when <= m_lastStamp)
        when = m_lastStamp.addMSecs(1);
    QByteArray text;
    for (;;) {
        const QString name = PrintTarget::mapped(stamp ? PrintTarget::stamped(target, when) : target, map);
        lblMsg->setText(imprimindo.arg(name));
        handlePendingEvents();
        try {
            // The text is read before the target is opened, so a broken row never empties a target.
            if (text.isNull())
                text = platform::toCp1252(zpl()) + QByteArrayLiteral("\r\n");
            platform::TargetOptions options;
            options.exclusive = stamp;
            options.idle = [this] { handlePendingEvents(); };
            platform::writeTarget(name, text, options);
            if (stamp)
                m_lastStamp = when;
            return true;
        } catch (const platform::TargetExists &) {
            // Another label already has this millisecond's file: each label keeps a file of its own.
            when = when.addMSecs(1);
        } catch (const std::exception &failure) {
            const auto *targetFailure = dynamic_cast<const platform::TargetError *>(&failure);
            if (targetFailure && targetFailure->errorNumber() == ETIMEDOUT)
                m_stalledTargets.insert(target);
            lblMsg->setText(erroAoImprimir.arg(name));
            handlePendingEvents();
            return false;
        }
    }
}

template<typename Work> auto TFEtiquetaVolume::withJournal(Work work) -> decltype(work())
{
    // A journal that fails must not stop the run: it goes on, and the failure is shown when it ends.
    try {
        return work();
    } catch (const PrintJournal::Failure &failure) {
        m_journalFailure = QString::fromUtf8(failure.what());
        return decltype(work())();
    }
}

QList<qint64> TFEtiquetaVolume::journalReceived(const QString &machine)
{
    using namespace LabelColumns;
    QueueProcedure &dataset = getNotaDespachoEtiqueta;
    // Without these columns there is nothing a later run could print; the run itself reports them.
    if (!dataset.hasField(PORTA_IMPRESSAO_ETIQUETAS) || !dataset.hasField(ZPL))
        return {};
    QList<PrintJournal::Label> labels;
    labels.reserve(dataset.recordCount());
    for (int row = 0; row < dataset.recordCount(); ++row)
        labels.append({ 0, dataset.fieldText(row, PORTA_IMPRESSAO_ETIQUETAS), dataset.fieldText(row, ZPL) });
    // Should recording fail, the labels are in memory only: they are printed all the same.
    return withJournal([&] { return m_journal.record(FilialAtual, machine, labels); });
}

void TFEtiquetaVolume::forget(qint64 id)
{
    withJournal([&] { m_journal.remove(id); });
}

void TFEtiquetaVolume::showPendingCount()
{
    const int waiting = withJournal([&] { return m_journal.count(); });
    if (waiting == 1)
        lblMsg->setText(lblMsg->text() + QStringLiteral(" 1 etiqueta aguardando nova tentativa."));
    else if (waiting > 1)
        lblMsg->setText(lblMsg->text() + QStringLiteral(" %1 etiquetas aguardando nova tentativa.").arg(waiting));
    if (!m_journalFailure.isEmpty())
        showFailure(m_journalFailure);
}

void TFEtiquetaVolume::ExibirEtiqueta()
{
    QueueProcedure &dataset = getNotaDespachoEtiqueta;
    if (!dataset.isOpen() || dataset.recordCount() == 0)
        return;

    using namespace LabelColumns;
    const auto show = [&](QLabel *label, const QString &text) {
        if (label->text() == text)
            return;
        label->setText(text);
        if (label->property("autoSize").toBool())
            m_unsized.insert(label);
    };
    show(lblOrig, dataset.fieldText(SIG_ORIGEM));
    show(lblDest, dataset.fieldText(SIG_DESTINO));
    const QString count = dataset.fieldText(QT_VOL);
    const QString volume = dataset.fieldText(NR_VOL);
    show(lblVol, count == QLatin1String("0") ? volume : volume + u'/' + count);
    show(lblND, dataset.fieldText(NUMERO_ND));
    show(lblNrNf, dataset.fieldText(NF));
    show(lblRem, dataset.fieldText(REM));
    show(lblDestinatario, dataset.fieldText(DEST));
    show(lblNF, dataset.fieldText(NFS));
    show(lblDt, dataset.fieldText(DATA));
    show(lblHr, dataset.fieldText(HORA));
    show(lblCodBar, dataset.fieldText(CODBAR));
    // Sizing a label to its text is most of the cost of a preview: during queue work it waits for the next paint.
    if (!m_busy)
        sizeLabelsToText();
}

void TFEtiquetaVolume::sizeLabelsToText()
{
    for (QLabel *label : std::as_const(m_unsized))
        label->adjustSize();
    m_unsized.clear();
}
