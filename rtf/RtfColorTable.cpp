#include "rtf/RtfColorTable.h"

#include <algorithm>

namespace tqx {

void RtfColorTable::setComponent(int &component, int value)
{
    component = std::clamp(value, 0, 255);
    m_hasComponent = true;
}

void RtfColorTable::addCharacter(char32_t character)
{
    if (character != ';')
        return;
    if (m_hasComponent)
        m_colors.push_back(QColor(m_red, m_green, m_blue));
    else
        m_colors.push_back(std::nullopt);
    m_red = m_green = m_blue = 0;
    m_hasComponent = false;
}

std::optional<QColor> RtfColorTable::color(int index) const
{
    if (index < 0 || std::size_t(index) >= m_colors.size())
        return std::nullopt;
    return m_colors[std::size_t(index)];
}

} // namespace tqx
