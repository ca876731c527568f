#pragma once

#include <QDialog>

class QPushButton;

namespace kalvora {

/**
 * The sort sheet "SortFlightSheet": one button per sort type, its tag (0 to 5)
 * the type; pressing one closes the sheet and reports the type. GUI thread.
 */
class SortFlightSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SortFlightSheet)

public:
    explicit SortFlightSheet(QWidget* parent);

    /** The button carrying TAG (0 to 5); nullptr for other tags. */
    [[nodiscard]] QPushButton* button(int tag) const;

signals:
    void sortTypeChosen(int sortType);
};

} // namespace kalvora
