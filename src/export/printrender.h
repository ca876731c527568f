#pragma once

#include <QString>

#include "track/result.h"

class QPagedPaintDevice;

namespace kalvora {

struct PrintDocument;

/** The layout width of a printed page when the template gives none [px]. */
constexpr int kDefaultPrintWidth = 1000;

/**
 * Sets DEVICE to the logbook's page: landscape, margins of 10 points.
 * Main thread, or the thread that owns DEVICE.
 */
void setUpPrintPage(QPagedPaintDevice& device);

/**
 * Draws DOCUMENT onto DEVICE: each page group is laid out at the template's
 * width, scaled to the width of the printable area, and broken into further
 * pages where it is taller than one; every group starts on a new page.
 * @return the number of pages drawn, or why DEVICE could not be drawn on.
 */
[[nodiscard]] Result<int> renderPrintDocument(const PrintDocument& document, QPagedPaintDevice& device);

/** Writes DOCUMENT as a PDF file to PATH (replaced); the number of pages. Needs a QGuiApplication. */
[[nodiscard]] Result<int> writePrintPdf(const PrintDocument& document, const QString& path);

} // namespace kalvora
