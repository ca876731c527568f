#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kalvora {

/**
 * The sheet "ImportFolder": how many IGC recordings a chosen folder holds,
 * before any of them is imported, with "Import" and "Cancel". A folder
 * without recordings says so and offers only "Ok". GUI thread.
 */
class ImportFolderSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ImportFolderSheet)

public:
    explicit ImportFolderSheet(QWidget* parent);

    /** Shows the sheet window-modal for COUNT recordings found in FOLDER. */
    void ask(const QString& folder, int count);
    [[nodiscard]] QString message() const;

signals:
    /** "Import" was pressed. */
    void importChosen();

private:
    QLabel* m_message = nullptr;
    QLabel* m_informative = nullptr;
    QPushButton* m_import = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace kalvora
