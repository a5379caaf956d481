#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <cstdio>

// Tells the benchmark that a window has painted for the first time, on standard output, and
// ends the program.
class ShownSignal : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_told) {
            m_told = true;
            std::puts("shown");
            std::fflush(stdout);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_told = false;
};
