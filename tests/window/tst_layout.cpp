#include "QueueFixture.h"
#include "Station.h"

#include <QFontInfo>
#include <QHeaderView>

// The window as the operator sees it: every control in its place, the list, the focus order and typing.
class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void windowIsFixedAndTitled();
    void everyComponentInItsPlace_data();
    void everyComponentInItsPlace();
    void fonts_data();
    void fonts();
    void tabOrder();
    void queueListColumns();
    void listAndDatasetShareTheCurrentRow();
    void typingInTheStationFields();
};

void TestLayout::windowIsFixedAndTitled()
{
    Station station;
    QWidget *window = station.window.get();
    QCOMPARE(window->objectName(), "FEtiquetaVolume");
    QCOMPARE(window->windowTitle(), QString::fromUtf8("Trovessa - Impresssão de Etiquetas"));
    QCOMPARE(window->size(), QSize(329, 466));
    QCOMPARE(window->minimumSize(), QSize(329, 466));
    QCOMPARE(window->maximumSize(), QSize(329, 466));
    QVERIFY(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(window->windowFlags() & Qt::WindowSystemMenuHint);
    QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(window->pos(), QPoint(710, 205)); // the outer frame, as a Windows window is placed
    QCOMPARE(window->windowIcon().availableSizes(),
        QList<QSize>({ { 16, 16 }, { 24, 24 }, { 32, 32 }, { 48, 48 }, { 224, 216 } }));
    QVERIFY(!QFontInfo(window->font()).family().isEmpty()); // a real font, not boxes
}

void TestLayout::everyComponentInItsPlace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    const auto row = [](const char *name, const char *kind, QRect geometry, const char *text = "") {
        QTest::newRow(name) << QString(name) << QString(kind) << geometry << QString::fromUtf8(text);
    };
    row("lblCaption", "QLabel", { 6, 8, 27, 13 }, "Filial");
    row("Label6", "QLabel", { 66, 8, 49, 13 }, "Máquina");
    row("ckAtivo", "QCheckBox", { 167, 4, 154, 17 }, "Ativar impressão automática");
    row("Shape3", "QFrame", { 4, 23, 58, 22 });
    row("EdtFilial", "QLineEdit", { 8, 26, 50, 16 });
    row("Shape4", "QFrame", { 65, 23, 257, 22 });
    row("edtTotem", "QLineEdit", { 70, 26, 250, 16 });
    row("Shape2", "QFrame", { 6, 54, 316, 192 });
    row("DBGrid1", "QTableView", { 8, 56, 312, 188 });
    row("PnEtiqueta", "QFrame", { 24, 256, 289, 146 });
    row("lblMsg", "QLabel", { 7, 410, 322, 13 });
    row("Bevel1", "QFrame", { 51, 428, 236, 33 });
    row("btnImprimir", "QPushButton", { 54, 432, 113, 25 }, "Imprimir Etiqueta");
    row("btnLimparFila", "QPushButton", { 170, 432, 113, 25 }, "Limpar Fila");
}

void TestLayout::everyComponentInItsPlace()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    Station station(QStringList {});
    QWidget *widget = station.window->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), station.window.get());
    QVERIFY(widget->inherits(kind.toLatin1()));
    QCOMPARE(widget->geometry(), geometry);
    const QVariant shown = widget->property("text");
    if (shown.isValid())
        QCOMPARE(shown.toString(), text);

    if (auto *frame = qobject_cast<QFrame *>(widget); frame && name.startsWith("Shape")) {
        QCOMPARE(frame->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(frame->frameShape(), QFrame::Box);
        QCOMPARE(frame->lineWidth(), 1);
        // Beneath the control it frames.
        const QWidget *framed = station.window->childAt(geometry.center());
        QVERIFY(framed != frame);
    }
    if (name == "PnEtiqueta") {
        QCOMPARE(widget->palette().color(QPalette::Window), QColor(Qt::yellow));
        QCOMPARE(static_cast<QFrame *>(widget)->frameShadow(), QFrame::Raised);
        QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
    }
    if (name == "Bevel1")
        QCOMPARE(static_cast<QFrame *>(widget)->frameShadow(), QFrame::Sunken);
    if (name == "ckAtivo")
        QCOMPARE(widget->layoutDirection(), Qt::RightToLeft);
    if (name == "lblMsg")
        QCOMPARE(static_cast<QLabel *>(widget)->alignment(), Qt::AlignCenter);
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        QVERIFY(!edit->hasFrame());
}

void TestLayout::fonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("bold");
    QTest::newRow("window") << "FEtiquetaVolume" << 11 << false;
    QTest::newRow("lblCaption") << "lblCaption" << 11 << true;
    QTest::newRow("Label6") << "Label6" << 11 << true;
    QTest::newRow("ckAtivo") << "ckAtivo" << 11 << false;
    QTest::newRow("DBGrid1") << "DBGrid1" << 11 << false;
    QTest::newRow("lblMsg") << "lblMsg" << 9 << false;
}

void TestLayout::fonts()
{
    QFETCH(QString, name);
    QFETCH(int, pixelSize);
    QFETCH(bool, bold);
    Station station;
    QWidget *widget = name == "FEtiquetaVolume" ? station.window.get() : station.window->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->font().family(), "MS Sans Serif");
    QCOMPARE(widget->font().pixelSize(), pixelSize);
    QCOMPARE(widget->font().bold(), bold);
}

void TestLayout::tabOrder()
{
    Station station;
    QWidget *window = station.window.get();
    QStringList order;
    QWidget *widget = station.child<QWidget>("DBGrid1");
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != station.child<QWidget>("DBGrid1") && order.size() < 20);
    Q_UNUSED(window);
    QCOMPARE(order, QStringList({ "DBGrid1", "btnImprimir", "btnLimparFila", "ckAtivo", "EdtFilial", "edtTotem" }));
    QCOMPARE(station.child<QWidget>("PnEtiqueta")->focusPolicy(), Qt::NoFocus);
    QVERIFY(station.child<QTableView>("DBGrid1")->tabKeyNavigation());
}

void TestLayout::queueListColumns()
{
    Station station;
    auto *grid = station.child<QTableView>("DBGrid1");
    const QAbstractItemModel *model = grid->model();
    QStringList titles;
    QList<int> widths;
    for (int column = 0; column < model->columnCount(); ++column) {
        titles << model->headerData(column, Qt::Horizontal).toString();
        widths << grid->horizontalHeader()->sectionSize(column);
    }
    QCOMPARE(titles, QStringList({ "Grp", "ND", "NF", "Vol.", "Destino" }));
    QCOMPARE(widths, QList<int>({ 33, 91, 64, 42, 91 }));
    QVERIFY(grid->horizontalHeader()->isVisible());
    QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    QVERIFY(!grid->verticalHeader()->isVisible());
    QVERIFY(!grid->showGrid());
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(model->rowCount(), 0); // closed queue: empty list
}

void TestLayout::listAndDatasetShareTheCurrentRow()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    for (const char *nd : { "ND1", "ND2", "ND3" })
        fixture.enqueue("ABC", "M1", labelFor(fixture.path(QString(nd) + ".prn"), "^XA^XZ", nd));
    Station station;
    station.click("ckAtivo");
    auto *grid = station.child<QTableView>("DBGrid1");
    auto *nd = station.child<QLabel>("lblND");

    station.click("btnImprimir");
    QCOMPARE(grid->model()->rowCount(), 3);
    QCOMPARE(grid->currentIndex().row(), 2); // the run's walk moved the list
    QCOMPARE(grid->model()->index(0, 1).data().toString(), "ND1");

    // A click in the list moves the dataset, and the preview with it.
    const QModelIndex first = grid->model()->index(0, 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(first).center());
    QCOMPARE(grid->currentIndex().row(), 0);
    QCOMPARE(nd->text(), "ND1");
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(nd->text(), "ND2");
}

void TestLayout::typingInTheStationFields()
{
    Station station({ "ABCD", "" });
    auto *branch = station.child<QLineEdit>("EdtFilial");
    auto *machine = station.child<QLineEdit>("edtTotem");
    QCOMPARE(branch->text(), "ABCD"); // the command line's value goes in whole

    branch->clear();
    QTest::keyClicks(branch, "ab1x");
    QCOMPARE(branch->text(), "AB1");
    QTest::keyClick(branch, Qt::Key_Backspace);
    QTest::keyClicks(branch, "z");
    QCOMPARE(branch->text(), "ABZ");

    const QString longName = "balcao de expedicao numero 01 do galpao principal, doca 7";
    QTest::keyClicks(machine, longName);
    QTest::sendKeyEvent(QTest::Click, machine, Qt::Key_unknown, QString::fromUtf8("ç"), Qt::NoModifier);
    QCOMPARE(machine->text(), longName.toUpper() + QString::fromUtf8("Ç"));
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
