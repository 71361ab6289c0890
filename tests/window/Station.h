#pragma once

#include "window/UVol.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <memory>

// Watches the window's event handling: the longest time between two timer ticks it was given.
class ResponsivenessProbe {
public:
    ResponsivenessProbe()
    {
        QObject::connect(
            &m_tick, &QTimer::timeout, [this] { m_longestGap = std::max(m_longestGap, m_sinceLast.restart()); });
        m_sinceLast.start();
        m_tick.start(10);
    }
    qint64 longestGap() const { return m_longestGap; }

private:
    QTimer m_tick;
    QElapsedTimer m_sinceLast;
    qint64 m_longestGap = 0;
};

// One station window on the offscreen platform, reached the way an operator reaches it: by its controls' names.
class Station {
public:
    explicit Station(const QStringList &arguments = { QStringLiteral("ABC"), QStringLiteral("M1") })
        : window(std::make_unique<TFEtiquetaVolume>(arguments))
    {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("station window never exposed");
    }

    template<class T> T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no %s in the window", name);
        return found;
    }

    QString status() const { return child<QLabel>("lblMsg")->text(); }
    QTimer *timer() const { return child<QTimer>("Timer1"); }
    void click(const char *button) const { QTest::mouseClick(child<QAbstractButton>(button), Qt::LeftButton); }
    // Clicks print and measures the run: how long it took, and the longest the window went without handling events.
    struct Timing {
        qint64 elapsed;
        qint64 longestGap;
    };
    Timing timedPrint() const
    {
        ResponsivenessProbe probe;
        QElapsedTimer run;
        run.start();
        click("btnImprimir");
        return { run.elapsed(), probe.longestGap() };
    }

    QMessageBox *errorDialog() const { return window->findChild<QMessageBox *>(QStringLiteral("errorDialog")); }

    std::unique_ptr<TFEtiquetaVolume> window;
};

inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline QVariantMap labelFor(const QString &target, const QString &zpl, const QString &nd = {})
{
    return { { QStringLiteral("PORTA_IMPRESSAO_ETIQUETAS"), target }, { QStringLiteral("ZPL"), zpl },
        { QStringLiteral("NUMERO_ND"), nd } };
}

// Files in a folder whose names start with a prefix.
inline QStringList filesStartingWith(const QString &folder, const QString &prefix)
{
    return QDir(folder).entryList({ prefix + QLatin1Char('*') }, QDir::Files, QDir::Name);
}
