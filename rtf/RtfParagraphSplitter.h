#pragma once

#include <atomic>

class QTextDocument;

namespace tqx {

// Cuts every paragraph longer than `longest` characters into consecutive paragraphs of at most
// that many, after a space where there is one in the second half of a piece.
//
// A text view lays out a paragraph all at once, on the thread that shows it, in time that grows
// with its length (and faster than that with tabs and many format changes): one paragraph of a
// few megabytes holds that thread for minutes. Pieces are laid out one by one between events.
// The pieces look like the paragraph they come from, save that each ends its last line early:
// they keep its format, but only the first has the space before, the first-line indent and the
// page break, and only the last the space after.
//
// Returns false, leaving the document partly cut, when `*cancelled` is set meanwhile.
bool splitLongParagraphs(QTextDocument *document, int longest,
                         const std::atomic<bool> *cancelled = nullptr);

} // namespace tqx
