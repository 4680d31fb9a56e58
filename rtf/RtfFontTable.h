#pragma once

#include <QHash>
#include <QString>

class QTextCharFormat;

namespace tqx {

// The generic family an RTF font table gives each font (\froman, \fswiss, \fmodern...). It picks
// a similar font when the named one is not installed.
enum class RtfFontFamily { Any, Serif, SansSerif, Monospace, Script, Decorative };

// The fonts of a document's \fonttbl, by number. Entries arrive as "\fN \fswiss Name;", either
// each in its own group or one after the other.
class RtfFontTable
{
public:
    void beginFont(int number);
    void setFamily(RtfFontFamily family);
    // A character of the entry's name; ';' ends the entry.
    void addCharacter(char32_t character);
    // Stores the entry being read, if it has a name. Safe to call more than once.
    void endFont();

    // Sets the font family and fallbacks of font `number`; an unknown number leaves the format's
    // family unset, so the document's default applies.
    void applyTo(int number, QTextCharFormat &format) const;

    bool contains(int number) const { return m_fonts.contains(number); }

private:
    struct Font
    {
        QString name;
        RtfFontFamily family = RtfFontFamily::Any;
    };

    QHash<int, Font> m_fonts;
    int m_number = 0;
    Font m_entry;
};

} // namespace tqx
