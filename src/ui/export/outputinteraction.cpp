#include "ui/export/outputinteraction.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QUrl>

#include "export/printrender.h"

namespace kalvora {

void DesktopOutputInteraction::chooseExportFolder(QWidget* window, std::function<void(std::optional<QString>)> reply)
{
    auto* dialog = new QFileDialog(window, QObject::tr("Choose directory to export IGC file(s) to..."));
    dialog->setObjectName(QStringLiteral("exportFolderChooser"));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, QObject::tr("Choose"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    auto shared = std::make_shared<std::function<void(std::optional<QString>)>>(std::move(reply));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, shared](int result) {
        const QStringList files = dialog->selectedFiles();
        if (auto answer = std::exchange(*shared, nullptr))
            answer(result == QDialog::Accepted && !files.isEmpty() ? std::optional<QString>(files.first()) : std::nullopt);
    });
    dialog->open();
}

void DesktopOutputInteraction::choosePdfFile(QWidget* window, const QString& suggested,
                                             std::function<void(std::optional<QString>)> reply)
{
    auto* dialog = new QFileDialog(window, QObject::tr("Export PDF"));
    dialog->setObjectName(QStringLiteral("pdfFileChooser"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter(QObject::tr("PDF files (*.pdf)"));
    dialog->setDefaultSuffix(QStringLiteral("pdf"));
    dialog->selectFile(suggested);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    auto shared = std::make_shared<std::function<void(std::optional<QString>)>>(std::move(reply));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, shared](int result) {
        const QStringList files = dialog->selectedFiles();
        if (auto answer = std::exchange(*shared, nullptr))
            answer(result == QDialog::Accepted && !files.isEmpty() ? std::optional<QString>(files.first()) : std::nullopt);
    });
    dialog->open();
}

void DesktopOutputInteraction::showAlert(QWidget* window, const QString& message, const QString& informative,
                                         const QString& details)
{
    auto* alert = new QMessageBox(QMessageBox::Warning, message, message, QMessageBox::Ok, window);
    alert->setObjectName(QStringLiteral("outputAlert"));
    alert->setInformativeText(informative);
    if (!details.isEmpty())
        alert->setDetailedText(details);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->open();
}

void DesktopOutputInteraction::showPrintPreview(QWidget* window, std::function<void(QPrinter* printer)> paint)
{
    auto* printer = new QPrinter(QPrinter::HighResolution);
    setUpPrintPage(*printer);
    auto* preview = new QPrintPreviewDialog(printer, window);
    preview->setObjectName(QStringLiteral("printPreview"));
    preview->setWindowTitle(QObject::tr("Print Logbook"));
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setWindowModality(Qt::WindowModal);
    preview->resize(1100, 750);
    QObject::connect(preview, &QPrintPreviewDialog::paintRequested, preview, [paint](QPrinter* p) { paint(p); });
    QObject::connect(preview, &QObject::destroyed, [printer] { delete printer; });
    preview->open();
}

void DesktopOutputInteraction::openFile(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace kalvora
