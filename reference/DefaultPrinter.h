#pragma once

#include <QString>

#include <functional>
#include <memory>

class QPrinter;
class QTextDocument;

namespace tqx {

// Where the reference windows print: the platform's default printer. Tests replace it with a
// printer that writes a PDF file, so the same printing code runs.
using PrinterFactory = std::function<std::unique_ptr<QPrinter>(QString *errorText)>;

// A printer set up for the default printer, or nullptr with a description when there is none.
std::unique_ptr<QPrinter> openDefaultPrinter(QString *errorText);
// Replaces the default printer; an empty factory restores it. Returns the factory in place.
PrinterFactory setPrinterFactory(PrinterFactory factory);

// Prints the document as it is formatted, page after page, with nothing added: no header,
// footer or page numbers. Returns false when the printer does not accept the job.
bool printDocument(const QTextDocument &document, QPrinter *printer);

} // namespace tqx
