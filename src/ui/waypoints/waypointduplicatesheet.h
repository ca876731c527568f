#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;

namespace kalvora {

/**
 * The duplicate question of the waypoint import "WaypointDuplicate": names the
 * waypoint to import and the stored one it lies on, and offers import as
 * well, skip and cancel, with a check box to apply the choice to every further
 * duplicate. It reports the pressed button's tag (the importer's choices:
 * 1 import as well, 3 skip, 0 cancel) through answered() and closes itself.
 * Window-modal over its parent. GUI thread.
 */
class WaypointDuplicateSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaypointDuplicateSheet)

public:
    explicit WaypointDuplicateSheet(QWidget* parent);
    ~WaypointDuplicateSheet() override;

    /** Shows the sheet for the record named NEWNAME lying on the stored waypoint EXISTINGNAME. */
    void ask(const QString& newName, const QString& existingName);

    [[nodiscard]] QString newWaypointText() const;
    [[nodiscard]] QString existingWaypointText() const;

signals:
    void answered(int tag, bool applyToAll);

protected:
    void reject() override;

private:
    void press(int tag);

    QLabel* m_new = nullptr;
    QLabel* m_existing = nullptr;
    QCheckBox* m_applyToAll = nullptr;
};

} // namespace kalvora
