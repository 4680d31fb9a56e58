#pragma once

#include <QMainWindow>

#include <memory>
#include <utility>

class QAction;
class QPrinter;

namespace tqx {

// What the reference windows that show a data file share: a tool window that is deleted when
// closed, a menu bar with "Close" and "Print", a factory that leaves no window behind when the
// file cannot be used, and the messages for a file or a printer that fails.
class ReferenceWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Creates the window and loads its file. When the file cannot be loaded the user is told why
    // and nullptr is returned.
    template<class Window, class... Arguments>
    static Window *create(Arguments &&...arguments)
    {
        auto *window = new Window(std::forward<Arguments>(arguments)...);
        if (!static_cast<ReferenceWindow *>(window)->loadFile()) {
            delete window;
            return nullptr;
        }
        return window;
    }

protected:
    ReferenceWindow(const QString &title, Qt::WindowFlags extraFlags = {});

    QAction *closeAction() const { return m_close; }
    QAction *printAction() const { return m_print; }

    // Reads the window's file; false after telling the user why it could not.
    virtual bool loadFile() = 0;
    // Prints the window's content on the default printer.
    virtual void print() = 0;

    // Why a data file could not be used: the reason, a line break, the file's full path.
    static void reportFileFailure(const QString &errorText, const QString &path);
    // The default printer, or nullptr after telling the user why there is none.
    std::unique_ptr<QPrinter> openPrinterOrTell();
    void reportPrintRefused();

private:
    QAction *m_close = nullptr;
    QAction *m_print = nullptr;
};

} // namespace tqx
