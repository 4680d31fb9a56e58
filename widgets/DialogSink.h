#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <utility>

class QWidget;

namespace tqx {

// A dialog that asks for a value, which tests replace with a function so that none of them ever
// waits on it.
template<class Value>
class DialogSink
{
public:
    using Function = std::function<std::optional<Value>(const Value &current)>;

    // Replaces the dialog; an empty function restores it. Returns the function that was in place.
    Function replace(Function function) { return std::exchange(m_function, std::move(function)); }

    // Asks through the function if one is in place, else through a `Dialog(current, parent)`
    // whose `result` gives the value; nothing when cancelled.
    template<class Dialog>
    std::optional<Value> ask(QWidget *parent, const Value &current,
                             Value (Dialog::*result)() const) const
    {
        if (m_function)
            return m_function(current);
        Dialog dialog(current, parent);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return (dialog.*result)();
    }

private:
    Function m_function;
};

} // namespace tqx
