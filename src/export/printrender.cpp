#include "export/printrender.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QObject>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include "export/printtemplate.h"

namespace kalvora {

void setUpPrintPage(QPagedPaintDevice& device)
{
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                                     QPageLayout::Point));
}

Result<int> renderPrintDocument(const PrintDocument& document, QPagedPaintDevice& device)
{
    QPainter painter;
    if (!painter.begin(&device))
        return Result<int>::failure(QObject::tr("The page cannot be drawn on.").toStdString());
    const double layoutWidth = document.pageWidth > 0 ? document.pageWidth : kDefaultPrintWidth;
    const double scale = double(device.width()) / layoutWidth;
    const double pageHeight = double(device.height()) / scale;
    int drawn = 0;
    for (const QString& html : document.pages) {
        QTextDocument text;
        text.setDocumentMargin(0);
        text.setHtml(html);
        // A page height makes the layout keep lines and table rows whole at page ends.
        text.setPageSize(QSizeF(layoutWidth, pageHeight));
        const int pages = text.pageCount();
        for (int page = 0; page < pages; ++page) {
            if (drawn > 0 && !device.newPage())
                return Result<int>::failure(QObject::tr("A new page cannot be started.").toStdString());
            ++drawn;
            painter.save();
            painter.scale(scale, scale);
            painter.translate(0, -page * pageHeight);
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = QRectF(0, page * pageHeight, layoutWidth, pageHeight);
            painter.setClipRect(context.clip);
            text.documentLayout()->draw(&painter, context);
            painter.restore();
        }
    }
    if (!painter.end())
        return Result<int>::failure(QObject::tr("The pages cannot be finished.").toStdString());
    return drawn;
}

Result<int> writePrintPdf(const PrintDocument& document, const QString& path)
{
    int pages = 0;
    {
        QPdfWriter writer(path);
        writer.setCreator(QStringLiteral("Kalvora"));
        writer.setTitle(QObject::tr("Flight logbook"));
        writer.setResolution(300);
        setUpPrintPage(writer);
        Result<int> drawn = renderPrintDocument(document, writer);
        if (!drawn)
            return drawn;
        pages = *drawn;
    }
    // QPdfWriter reports no write error of its own.
    if (QFile(path).size() <= 0)
        return Result<int>::failure(QObject::tr("The PDF file \"%1\" cannot be written.").arg(path).toStdString());
    return pages;
}

} // namespace kalvora
