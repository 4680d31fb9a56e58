#pragma once

#include <QColor>

#include <optional>
#include <vector>

namespace tqx {

// The colours of a document's \colortbl, by index. Each entry is "\redR\greenG\blueB;"; an entry
// without components (usually the first) means the automatic colour, and so does any index the
// table does not hold.
class RtfColorTable
{
public:
    void setRed(int value) { setComponent(m_red, value); }
    void setGreen(int value) { setComponent(m_green, value); }
    void setBlue(int value) { setComponent(m_blue, value); }
    // A character of the table's text; ';' ends the entry.
    void addCharacter(char32_t character);

    std::optional<QColor> color(int index) const;

private:
    void setComponent(int &component, int value);

    std::vector<std::optional<QColor>> m_colors;
    int m_red = 0;
    int m_green = 0;
    int m_blue = 0;
    bool m_hasComponent = false;
};

} // namespace tqx
