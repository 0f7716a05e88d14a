#pragma once

#include <QApplication>
#include <QMetaObject>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <functional>

// Calls slot on target once the running modal loop is back in control.
inline void Later(QObject* target, const char* slot)
{
    QMetaObject::invokeMethod(target, slot, Qt::QueuedConnection);
}

// Runs trigger and hands each modal widget that opens meanwhile to handle, once; handle must
// close it through Later, so that a box opened by the closing is seen as well.
inline void WithModals(const std::function<void()>& trigger,
                       const std::function<void(QWidget*)>& handle)
{
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&handle] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->property("seenByTest").toBool())
            return;
        modal->setProperty("seenByTest", true);
        handle(modal);
    });
    poll.start();
    trigger();
    poll.stop();
}
