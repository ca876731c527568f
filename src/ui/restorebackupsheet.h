#pragma once

#include <QDialog>
#include <QList>

#include "logbook/logbookbackups.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace kalvora {

/**
 * The sheet "RestoreBackup": a logbook's backup copies with their date and
 * flight count, newest first; "Open Copy" opens the chosen one as a new
 * logbook. Without copies it says so and offers only "Ok". GUI thread.
 */
class RestoreBackupSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RestoreBackupSheet)

public:
    explicit RestoreBackupSheet(QWidget* parent);

    /** Shows the sheet window-modal with COPIES of the logbook named LOGBOOKNAME. */
    void ask(const QString& logbookName, const QList<BackupCopy>& copies);
    [[nodiscard]] QTreeWidget* list() const { return m_list; }

signals:
    /** "Open Copy" was pressed on COPY. */
    void restoreChosen(const kalvora::BackupCopy& copy);

private:
    QLabel* m_message = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_restore = nullptr;
    QPushButton* m_cancel = nullptr;
    QList<BackupCopy> m_copies;
};

} // namespace kalvora
