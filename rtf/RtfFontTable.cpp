#include "rtf/RtfFontTable.h"

#include <QFont>
#include <QTextCharFormat>

namespace tqx {

namespace {

// Longer names only come from damaged files; real font names are well below this.
constexpr qsizetype longestName = 128;

QFont::StyleHint styleHint(RtfFontFamily family)
{
    switch (family) {
    case RtfFontFamily::Serif:
        return QFont::Serif;
    case RtfFontFamily::SansSerif:
        return QFont::SansSerif;
    case RtfFontFamily::Monospace:
        return QFont::TypeWriter;
    case RtfFontFamily::Script:
        return QFont::Cursive;
    case RtfFontFamily::Decorative:
        return QFont::Decorative;
    case RtfFontFamily::Any:
        break;
    }
    return QFont::AnyStyle;
}

} // namespace

void RtfFontTable::beginFont(int number)
{
    endFont();
    m_number = number;
}

void RtfFontTable::setFamily(RtfFontFamily family) { m_entry.family = family; }

void RtfFontTable::addCharacter(char32_t character)
{
    if (character == ';') {
        endFont();
        return;
    }
    if (m_entry.name.size() < longestName)
        m_entry.name.append(QString::fromUcs4(&character, 1));
}

void RtfFontTable::endFont()
{
    m_entry.name = m_entry.name.trimmed();
    if (!m_entry.name.isEmpty())
        m_fonts.insert(m_number, m_entry);
    m_entry = Font {};
}

void RtfFontTable::applyTo(int number, QTextCharFormat &format) const
{
    const auto font = m_fonts.constFind(number);
    if (font == m_fonts.constEnd())
        return;
    format.setFontFamilies(QStringList {font->name});
    format.setFontStyleHint(styleHint(font->family));
    if (font->family == RtfFontFamily::Monospace)
        format.setFontFixedPitch(true);
}

} // namespace tqx
