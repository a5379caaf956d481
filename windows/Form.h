#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace Quillmere {

// A window of the program: one object for the whole run. Showing it loads it when needed
// (its controls are built anew in their design state, then Form_Load runs); closing it runs
// Form_Unload and destroys the controls, while the object and its own state stay for the next
// opening.
class Form : public QObject
{
    Q_OBJECT

public:
    explicit Form(QObject *parent = nullptr);
    ~Form() override;

    // Shows the window non-modally, centred on the screen, loading it first if it is not loaded.
    void show();
    // Closes the on-screen window, as the user's close button does.
    void unload();

    bool isLoaded() const { return !m_window.isNull(); }
    // The on-screen window while loaded, otherwise null.
    QWidget *window() const { return m_window; }

Q_SIGNALS:
    // Emitted while the window closes, before its controls are destroyed.
    void unloaded();

protected:
    // Builds the top-level window with every control in its design state.
    virtual QWidget *createWindow() = 0;
    virtual void Form_Load() { }
    virtual void Form_Unload() { }

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
};

}  // namespace Quillmere
