#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tqx {

// Every message the program shows, and every dialog it opens, goes through here: a box with the
// text, a single OK button and the caption "TQX_Orbivo_Emulator". Tests replace the box so that
// none of them ever waits on it.
void showMessage(QWidget *parent, const QString &text);
// The same with a warning icon, for what went wrong rather than what is so; the sink gets it as
// any other message.
void showWarning(QWidget *parent, const QString &text);

using MessageSink = std::function<void(QWidget *parent, const QString &text)>;
// Replaces the box; an empty sink restores it. Returns the sink that was in place.
MessageSink setMessageSink(MessageSink sink);

inline constexpr const char *messageCaption = "TQX_Orbivo_Emulator";

// Asks the user where to save a file; an empty result means the user cancelled. Tests replace
// the dialog as they replace the message box.
QString askSaveFileName(QWidget *parent, const QString &caption, const QString &suggestedPath);

using SaveFileNameSink = std::function<QString(QWidget *parent, const QString &suggestedPath)>;
SaveFileNameSink setSaveFileNameSink(SaveFileNameSink sink);

} // namespace tqx
