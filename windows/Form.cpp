#include "windows/Form.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace Quillmere {

namespace {

// Each form's window is a plain top-level widget, which Qt reads out as a mere filler; screen
// readers expect a window (a frame) named by its caption.
QAccessibleInterface *formWindowAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1StringView("QWidget") && object->isWidgetType() && static_cast<QWidget *>(object)->isWindow())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

}  // namespace

Form::Form(QObject *parent)
    : QObject(parent)
{
    static const bool accessible = (QAccessible::installFactory(&formWindowAccessible), true);
    Q_UNUSED(accessible);
}

Form::~Form()
{
    delete m_window;
}

void Form::show()
{
    if (!m_window) {
        m_window = createWindow();
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        m_window->installEventFilter(this);
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect frame = m_window->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            m_window->move(frame.topLeft());
        }
        Form_Load();
    }
    if (m_window->isVisible()) {
        m_window->raise();
        m_window->activateWindow();
    } else {
        m_window->show();
    }
}

void Form::unload()
{
    if (m_window)
        m_window->close();
}

bool Form::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Close) {
        // From here on the form counts as unloaded, although Qt deletes the closing widget
        // (WA_DeleteOnClose) only once control returns to the event loop.
        m_window->removeEventFilter(this);
        m_window = nullptr;
        Form_Unload();
        Q_EMIT unloaded();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace Quillmere
