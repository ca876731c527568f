#pragma once

#include <QDialog>
#include <QStringList>

class QPushButton;
class QTableWidget;

namespace kalvora {

/**
 * The sheet "SelectLogBookSheet": the open logbooks by display name (column
 * "logbookName"), the first preselected; OK is enabled only while a row is
 * chosen. Reports the chosen row through chosen(); Cancel just closes. Main thread.
 */
class SelectLogBookSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SelectLogBookSheet)

public:
    explicit SelectLogBookSheet(QWidget* parent);
    ~SelectLogBookSheet() override;

    /** Shows the sheet window-modal over its parent with NAMES. */
    void ask(const QStringList& names);

    [[nodiscard]] QTableWidget* table() const { return m_table; }
    [[nodiscard]] QPushButton* okButton() const { return m_ok; }

signals:
    void chosen(int row);

private:
    QTableWidget* m_table = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace kalvora
