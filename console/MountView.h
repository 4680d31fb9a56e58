#pragma once

#include "emulation/MountReport.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <vector>

class QFormLayout;
class QScreen;
class QLineEdit;

namespace tqx {

class CommandInterpreter;
class SkyPicture;

// The "Show mount" window: what the emulated mount is doing, as labelled lines of text beside a
// picture of the sky. It reads the interpreter it is given, never changes it, and looks again
// once per frame of the display while it is shown; nothing is redrawn unless what it shows
// changed.
class MountView : public QWidget
{
    Q_OBJECT

public:
    // A window of its own; the parent (the console) closes it with itself.
    explicit MountView(const CommandInterpreter &interpreter, QWidget *parent = nullptr);

    // Reads the mount now and shows what changed since the last look.
    void refresh();

    // The text shown on the row with this label, or a null string without such a row.
    QString rowText(const QString &label) const;
    const SkyPicture &skyPicture() const { return *m_picture; }
    // Looks that found something changed.
    int changeCount() const { return m_changeCount; }
    // Looks once per frame of the display, while the window is shown.
    const QTimer &frameTimer() const { return m_frameTimer; }

    // Where a window of this size goes: to the right of the console's frame, or to its left when
    // there is no room on the right, and within the screen's free area.
    static QPoint besideWindow(const QRect &consoleFrame, const QSize &size,
                               const QRect &available);
    void placeBeside(QWidget *console);
    // One frame of the display, in milliseconds; 60 frames a second where it does not say.
    static int frameIntervalMs(const QScreen *display);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void rebuildRows(const MountReport &report);
    void updateRowTexts(const MountReport &report);
    void colourValuesAsText();

    const CommandInterpreter &m_interpreter;
    QFormLayout *m_rows = nullptr;
    std::vector<QLineEdit *> m_rowValues; // in the order of the report's rows
    SkyPicture *m_picture = nullptr;
    QTimer m_frameTimer;
    MountReport m_shown;
    bool m_hasShown = false;
    int m_changeCount = 0;
};

} // namespace tqx
